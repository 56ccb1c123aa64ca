#pragma once

// Brings an installation kept in a Microsoft Access (Jet or ACE) file over into a new SQLite file:
// every user table with its fields, rows in the file's stored order (so the new rowids follow
// it), and proof that nothing was lost. The Access file is only read, through the reader process.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace accessdb {

// An Access file, told by its content.
bool isAccessFile(const QString& path);

// A name beside `source` for its conversion that no file holds: "X.sqlite", else "X (2).sqlite" ...
QString convertedName(const QString& source);

struct TableCopy {
    QString name;
    int fields = 0;
    qint64 stored = 0;  // the row count the Access table's definition holds
    qint64 read = 0;    // the rows the reader passed on
    qint64 written = 0; // the rows the new table holds
    bool matches() const { return stored == read && read == written; }
};

struct ImportReport {
    QString error;  // empty once the new file is complete and in place
    QString format; // "JET3", "JET4", "ACE12" ...
    QString target;
    std::vector<TableCopy> tables;
    QStringList missingTables; // installation tables the file does not hold
    bool cancelled = false;
    bool ok() const { return error.isEmpty(); }
    qint64 rows() const;
    // Every table an installation needs is there ("Favourite Filters" the first load creates).
    bool holdsInstallation() const;
};

// Told now and then which table is read and how many of its rows are in; false cancels.
using ImportProgress = std::function<bool(const QString& table, qint64 rows)>;

// Converts `source` into the new file `target`, which must not exist. The file is written under a
// temporary name and renamed into place only when every table's counts agree; otherwise no file
// is left.
ImportReport importAccessFile(const QString& source, const QString& target,
                              const ImportProgress& progress = {});

// The outcome in words, one line a table, then the missing installation tables; the same for
// filterctl and the windows.
QStringList reportLines(const ImportReport& report);

} // namespace accessdb
