#pragma once

// A spreadsheet workbook read as a spreadsheet shows it: sheet names in workbook order and each
// cell's value as text ("500" for 500, "2.05" for 2.05, empty for an empty or missing cell).
// Two readers stand behind it, chosen by the file's content: .xls (FreeXL) and .xlsx (QuaZip).

#include "core/db/result.h"

#include <QString>
#include <functional>
#include <memory>

class Workbook {
public:
    virtual ~Workbook() = default;

    virtual int sheetCount() const = 0;
    // Sheets and cells are counted from 1.
    virtual QString sheetName(int sheet) const = 0;
    virtual QString cellText(int sheet, int row, int column) = 0;
    // False for a sheet without cells, such as a chart.
    virtual bool hasCells(int sheet) = 0;
};

// Opens the workbook; on failure *error (BadFile) says why, naming the file. Damaged, truncated, empty,
// password-protected, oversized and non-spreadsheet files are refused, never crashed on.
// `cancelled`, asked now and then while a helper process reads, ends the read when it says so.
std::unique_ptr<Workbook> openWorkbook(const QString& path, Result* error,
                                       const std::function<bool()>& cancelled = {});

// The readers, for callers that know the format (the fuzz targets).
std::unique_ptr<Workbook> openXlsWorkbook(const QString& path, QString* reason,
                                          const std::function<bool()>& cancelled = {});
std::unique_ptr<Workbook> openXlsxWorkbook(const QString& path, QString* reason);

namespace workbook_limits {
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;
constexpr qint64 MaxPartSize = 32 * 1024 * 1024;      // one inflated part of an .xlsx
constexpr qint64 MaxInflatedSize = 128 * 1024 * 1024; // all parts of an .xlsx together
} // namespace workbook_limits
