// Reads an .xls workbook with FreeXL into an XlsDump. Runs in the filter-xls-reader process (and
// in the fuzz target), never in the program itself.

#include "core/exchange/xls_dump.h"

#include <QFile>
#include <cerrno>
#include <freexl.h>

namespace {

QString freexlReason(int code) {
    switch (code) {
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("there is not enough memory to read it.");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral(
            "it holds no workbook; it may be encrypted with a password or be another Office document.");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("the file is severely damaged.");
    case FREEXL_UNSUPPORTED_CHARSET:
    case FREEXL_INVALID_CHARACTER:
        return QStringLiteral("its character set is not supported.");
    default:
        return QStringLiteral("the file is damaged or truncated (FreeXL error %1).").arg(code);
    }
}

QString cellText(const FreeXL_CellValue& cell) {
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return QString::number(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return QString::number(cell.value.double_value, 'g', 15);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return QString::fromUtf8(cell.value.text_value);
    default: // empty, and formulas, whose value FreeXL does not keep
        return QString();
    }
}

bool readSheet(const void* handle, unsigned short index, XlsDump::Sheet* sheet, QString* reason) {
    const char* name = nullptr;
    int result = freexl_get_worksheet_name(handle, index, &name);
    if (result == FREEXL_OK)
        result = freexl_select_active_worksheet(handle, index);
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (result == FREEXL_OK)
        result = freexl_worksheet_dimensions(handle, &rows, &columns);
    if (result != FREEXL_OK) {
        *reason = freexlReason(result);
        return false;
    }
    sheet->name = QString::fromUtf8(name ? name : "");
    for (unsigned int row = 0; row < qMin(rows, unsigned(XlsDump::MaxRows)); ++row)
        for (unsigned short column = 0; column < qMin(columns, (unsigned short)XlsDump::MaxColumns);
             ++column) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(handle, row, column, &cell) != FREEXL_OK)
                continue;
            const QString text = cellText(cell);
            if (text.size() > XlsDump::MaxTextLength) {
                *reason =
                    QStringLiteral("the cell in row %1, column %2 of sheet '%3' holds a text longer than "
                                   "%4 characters, more than Excel allows.")
                        .arg(row + 1)
                        .arg(column + 1)
                        .arg(sheet->name)
                        .arg(XlsDump::MaxTextLength);
                return false;
            }
            if (!text.isEmpty())
                sheet->cells.push_back({int(row) + 1, int(column) + 1, text});
        }
    return true;
}

} // namespace

XlsDump readXlsWithFreeXL(const QString& path) {
    XlsDump dump;
    const void* handle = nullptr;
    errno = 0;
    int result = freexl_open(QFile::encodeName(path).constData(), &handle);
    // FreeXL lays every sheet's cells out at once; a sheet that claims a far cell asks for more
    // memory than the reader may take, and FreeXL then reports a damaged file.
    const bool outOfMemory = errno == ENOMEM;
    if (result != FREEXL_OK) {
        dump.reason = freexlReason(result);
    } else {
        unsigned int protection = 0;
        unsigned int count = 0;
        if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK &&
            protection == FREEXL_BIFF_OBFUSCATED)
            dump.reason = QStringLiteral("it is protected with a password.");
        else if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0)
            dump.reason = QStringLiteral("it has no sheets; the file is damaged.");
        else if (count > XlsDump::MaxSheets)
            dump.reason = QStringLiteral("it has too many sheets (%1; a workbook may have %2).")
                              .arg(count)
                              .arg(XlsDump::MaxSheets);
        for (unsigned short i = 0; dump.reason.isEmpty() && i < count; ++i) {
            dump.sheets.emplace_back();
            readSheet(handle, i, &dump.sheets.back(), &dump.reason);
        }
    }
    if (handle)
        freexl_close(handle);
    if (!dump.reason.isEmpty() && outOfMemory)
        dump.reason =
            QStringLiteral("reading it needs more memory than the .xls reader may take (%1 MiB): a sheet "
                           "claims cells far beyond those a workbook of packages or filters uses.")
                .arg(XlsReaderMemory >> 20);
    dump.ok = dump.reason.isEmpty();
    return dump;
}
