// .xls workbooks through FreeXL.

#include "workbook.h"

#include <QFile>
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

QString numberText(double value) {
    return QString::number(value, 'g', 15);
}

class XlsWorkbook : public Workbook {
public:
    explicit XlsWorkbook(const void* handle) : m_handle(handle) {}
    ~XlsWorkbook() override { freexl_close(m_handle); }

    bool readSheetNames(QString* reason) {
        unsigned int count = 0;
        int result = freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &count);
        if (result != FREEXL_OK || count == 0) {
            *reason = QStringLiteral("it has no sheets; the file is damaged.");
            return false;
        }
        for (unsigned short i = 0; i < count; ++i) {
            const char* name = nullptr;
            if ((result = freexl_get_worksheet_name(m_handle, i, &name)) != FREEXL_OK) {
                *reason = freexlReason(result);
                return false;
            }
            m_names << QString::fromUtf8(name ? name : "");
        }
        return true;
    }

    int sheetCount() const override { return m_names.size(); }
    QString sheetName(int sheet) const override { return m_names.value(sheet - 1); }

    bool hasCells(int sheet) override {
        unsigned int rows = 0;
        unsigned short columns = 0;
        return select(sheet, &rows, &columns) && rows > 0 && columns > 0;
    }

    QString cellText(int sheet, int row, int column) override {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (row < 1 || column < 1 || !select(sheet, &rows, &columns) || unsigned(row) > rows ||
            unsigned(column) > columns)
            return QString();
        FreeXL_CellValue cell;
        if (freexl_get_cell_value(m_handle, row - 1, static_cast<unsigned short>(column - 1), &cell) !=
            FREEXL_OK)
            return QString();
        switch (cell.type) {
        case FREEXL_CELL_INT:
            return QString::number(cell.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return numberText(cell.value.double_value);
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

private:
    bool select(int sheet, unsigned int* rows, unsigned short* columns) {
        if (sheet < 1 || sheet > m_names.size())
            return false;
        if (m_selected != sheet) {
            if (freexl_select_active_worksheet(m_handle, static_cast<unsigned short>(sheet - 1)) != FREEXL_OK)
                return false;
            m_selected = sheet;
        }
        return freexl_worksheet_dimensions(m_handle, rows, columns) == FREEXL_OK;
    }

    const void* m_handle;
    QStringList m_names;
    int m_selected = 0;
};

} // namespace

std::unique_ptr<Workbook> openXlsWorkbook(const QString& path, QString* reason) {
    const void* handle = nullptr;
    const int result = freexl_open(QFile::encodeName(path).constData(), &handle);
    if (result != FREEXL_OK) {
        if (handle)
            freexl_close(handle);
        *reason = freexlReason(result);
        return nullptr;
    }
    auto workbook = std::make_unique<XlsWorkbook>(handle);
    unsigned int protection = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK &&
        protection == FREEXL_BIFF_OBFUSCATED) {
        *reason = QStringLiteral("it is protected with a password.");
        return nullptr;
    }
    if (!workbook->readSheetNames(reason))
        return nullptr;
    return workbook;
}
