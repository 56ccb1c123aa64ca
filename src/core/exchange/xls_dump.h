#pragma once

// What the .xls reader process hands back: the workbook's sheets with their non-empty cells.

#include <QDataStream>
#include <QString>
#include <vector>

// What the reader process may take: a package or data sheet needs a few MiB and well under a
// second; FreeXL lays out every cell a sheet claims, so a hostile sheet meets the memory first.
constexpr qint64 XlsReaderMemory = qint64(256) << 20;
constexpr int XlsReaderSeconds = 10;

struct XlsDump {
    // Cells beyond these are not read: packages and filter sheets use rows 1 to 19 and columns A to
    // M. A workbook with more sheets, or a cell with a longer text than Excel itself allows, is
    // refused by name.
    static constexpr int MaxRows = 19;
    static constexpr int MaxColumns = 13;
    static constexpr int MaxSheets = 4096;
    static constexpr int MaxTextLength = 32767;

    struct Cell {
        int row;
        int column;
        QString text;
    };
    struct Sheet {
        QString name;
        std::vector<Cell> cells;
    };
    bool ok = false;
    QString reason;
    std::vector<Sheet> sheets;
};

// Reads the workbook with FreeXL; only the reader process (and its fuzz target) calls this.
XlsDump readXlsWithFreeXL(const QString& path);

inline QDataStream& operator<<(QDataStream& out, const XlsDump& dump) {
    out << dump.ok << dump.reason << qint32(dump.sheets.size());
    for (const XlsDump::Sheet& sheet : dump.sheets) {
        out << sheet.name << qint32(sheet.cells.size());
        for (const XlsDump::Cell& cell : sheet.cells)
            out << qint32(cell.row) << qint32(cell.column) << cell.text;
    }
    return out;
}

inline QDataStream& operator>>(QDataStream& in, XlsDump& dump) {
    qint32 sheets = 0;
    in >> dump.ok >> dump.reason >> sheets;
    for (qint32 s = 0; s < sheets && in.status() == QDataStream::Ok; ++s) {
        XlsDump::Sheet sheet;
        qint32 cells = 0;
        in >> sheet.name >> cells;
        for (qint32 c = 0; c < cells && in.status() == QDataStream::Ok; ++c) {
            XlsDump::Cell cell{0, 0, {}};
            qint32 row = 0, column = 0;
            in >> row >> column >> cell.text;
            cell.row = row;
            cell.column = column;
            sheet.cells.push_back(std::move(cell));
        }
        dump.sheets.push_back(std::move(sheet));
    }
    return in;
}
