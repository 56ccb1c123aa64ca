#pragma once

// An installation as a facility keeps it: its identity, every installed wheel's rows by "Position",
// the catalogue and the favourites, in a stable order and without the file's path, so that two
// identical installations give identical snapshots and `git diff` of two snapshots reads as the
// change. Compared with another installation or snapshot, it says what differs.

#include "core/db/result.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

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
    // Each catalogue row's fields in UTF-8 joined by a unit separator (0x1F), the name first; in no
    // particular order (the canonical forms sort them). A million rows stay one block each.
    QByteArrayList catalogue;
    QByteArrayList favourites; // "name\x1Ftype"
};

// The session has loaded the installation (the service start-up's read).
bool readSnapshot(PlacementSession& session, Snapshot* snapshot, Result* error);

// The canonical forms: JSON (stable keys and order, one position an object), and text with one
// line a position ("EF1 2  BP 505-530  000000-1104-321").
QByteArray snapshotJson(const Snapshot& snapshot);
QString snapshotText(const Snapshot& snapshot);
bool parseSnapshotJson(const QByteArray& json, Snapshot* snapshot, Result* error);

struct Difference {
    QString where; // "EF1 2", "catalogue 'LP 650' Veltrano Code No", "favourite 'X'", "installation stand"
    std::optional<QString> a; // none: only in B
    std::optional<QString> b; // none: only in A
    QString text() const;     // "EF1 2: BP 505-530 -> LP 560", "favourite 'X': only in B"
};
std::vector<Difference> diffSnapshots(const Snapshot& a, const Snapshot& b);
