#pragma once

// An installation as a facility keeps it: its identity, every installed wheel's rows by "Position",
// the catalogue and the favourites, in a stable order and without the file's path, so that two
// identical installations give identical snapshots and `git diff` of two snapshots reads as the
// change. Compared with another installation or snapshot, it says what differs.

#include "core/db/result.h"
#include "core/inspect/canonical_rows.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Database;
class PlacementSession;

struct Snapshot {
    // A snapshot file larger than this is not read: a million catalogue rows take about 85 MB.
    static constexpr qint64 MaxFileBytes = qint64(256) << 20;
    struct Identity {
        QString configuration, stand, scanUnit, fcsUnit;
    } identity;
    struct Row {
        QString position; // as the table holds it ("" for Null)
        QString filter;
        QString code;
    };
    struct Wheel {
        QString id;
        QString kind;            // "emission filter wheel 1", "main beam splitter changer", ...
        QString mode;            // the mode's caption
        std::vector<Row> rows;   // in stored order, as the windows show them
        std::vector<Row> beyond; // the wheel's rows after its eighth: never shown, never written
    };
    std::vector<Wheel> wheels;
    QStringList catalogueFields; // the catalogue's fields, "ID Potential" first
    // The catalogue's and the favourites' rows are read one at a time when they are written or
    // compared, never held: from the database (which must stay open meanwhile) or from the file.
    const Database* rowsIn = nullptr;
    QString rowsFile;
    qint64 catalogueAt = -1; // where each list's rows begin in the file, and on which line
    qint64 favouritesAt = -1;
    int catalogueLine = 0;
    int favouritesLine = 0;
    // A file's catalogue rows already being read (readCatalogueAhead); the first to read the
    // catalogue takes them, later readers read the file again.
    mutable std::unique_ptr<RowReader> catalogueAhead;
};

// The session has loaded the installation (the service start-up's read); the session must outlive
// the snapshot, whose rows are read from its database.
bool readSnapshot(PlacementSession& session, Snapshot* snapshot, Result* error);

// The canonical forms: JSON (stable keys and order, one position an object, one catalogue row a
// line), and text with one line a position ("EF1 2  BP 505-530  000000-1104-321"). The JSON is
// handed to `write` in pieces as it is made, the rows read one at a time.
bool writeSnapshotJson(const Snapshot& snapshot, const std::function<bool(const QByteArray&)>& write,
                       Result* error);
// The same into a file, whole or not at all.
[[nodiscard]] Result writeSnapshotFile(const Snapshot& snapshot, const QString& path);
QString snapshotText(const Snapshot& snapshot);
// A snapshot file as 'show --format json' writes it: its identity and wheels read, its rows left
// where they stand. A fault is named with its line.
bool readSnapshotFile(const QString& path, Snapshot* snapshot, Result* error);
// Begins reading a snapshot file's catalogue rows on a thread of their own, up to a quarter of a
// million ahead of their reader: a diff has them split while the other side loads.
void readCatalogueAhead(Snapshot* snapshot);
// Whether a file is a snapshot (JSON) rather than an installation, told by its content.
bool isSnapshotFile(const QString& path);

// The given fields of the catalogue's rows of the named filters, by name (a field the catalogue lacks
// reads as empty), in one walk of the rows; a name repeated stands for its first row.
bool catalogueValuesOf(const Snapshot& snapshot, const QStringList& names, const QStringList& fields,
                       QHash<QString, QStringList>* values, Result* error);

struct Difference {
    QString where; // "EF1 2", "catalogue 'LP 650' Veltrano Code No", "favourite 'X'", "installation stand"
    std::optional<QString> a; // none: only in B
    std::optional<QString> b; // none: only in A
    QString text() const;     // "EF1 2: BP 505-530 -> LP 560", "favourite 'X': only in B"
};
// Rows keyed by name are compared in the canonical order, side by side; a name repeated stands for
// its first row in that order.
bool diffSnapshots(const Snapshot& a, const Snapshot& b, std::vector<Difference>* differences, Result* error);
