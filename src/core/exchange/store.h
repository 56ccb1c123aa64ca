#pragma once

// Writes chosen filters into "Available FilterPlacement".

#include "core/db/db_error.h"

#include <QStringList>
#include <QVariant>
#include <vector>

class Database;

struct StoreResult {
    // Changed: another program changed a planned row after it was read; nothing was written.
    enum class Outcome { Stored, NoRows, Failed, Changed };
    Outcome outcome = Outcome::Stored;
    DbError error;
};

// A Null or non-numeric "Position" matches nothing.
bool matchesPosition(const QVariant& position, int wanted);

// One row of "Available FilterPlacement" as the stores need it.
struct PlacementRow {
    qint64 rowid;
    QString availableId;
    QVariant position;

    bool isPosition(int wanted) const { return matchesPosition(position, wanted); }
};
// All rows in stored order.
bool readPlacementRows(const Database& db, std::vector<PlacementRow>* rows, DbError* error);
// Sets "ID Potential" of the given rows (rowid, text), all in one transaction.
StoreResult writePlacements(Database& db, const std::vector<std::pair<qint64, QString>>& writes);

// What storing one wheel will do, read before anything is written: chosen[p] goes into the
// wheel's first row whose "Position" is p + 1; no other row is touched.
struct WheelStorePlan {
    struct Write {
        int position; // from 1
        qint64 rowid;
        QString now; // what the row holds now
        QString chosen;
    };
    QString availableId;
    bool hasRows = false; // any row carries the wheel's ID
    std::vector<Write> writes;
    std::vector<int> changedByOthers;                // rows that no longer hold what was loaded
    std::vector<std::pair<int, QString>> notWritten; // position and why
    QStringList rowsAfter; // the wheel's first eight rows in stored order once the plan is written

    // The positions whose row holds another filter than the one chosen: what storing changes.
    std::vector<Write> changes() const;
    // "3 of 8 positions change", "Nothing changes", or that the wheel has no rows; `chosen` is how
    // many positions the caller offers a filter for.
    QString changeCountText(int chosen) const;
    // How one position fares: "changes from LP 560 to BP 505-530", "stays BP 505-530", "has no row".
    QString positionText(int position) const;

    // The question that names the changed positions, or the empty text when there are none.
    QString changedQuestion() const;
    // One line naming the positions that are not written, or the empty text.
    QString notWrittenNote() const;
};

// Plans the store of a wheel. `known` is what the program last read or wrote in the wheel's first
// eight rows (stored order); a row that now holds something else, and whose chosen filter differs
// from that, was changed by another program. Positions without a filter name are never written.
bool planWheelStore(const Database& db, const QString& availableId, const QStringList& chosen,
                    const QStringList* known, WheelStorePlan* plan, DbError* error);
// Writes the plan in one transaction, after checking that no planned row changed since it was read.
StoreResult executeStorePlan(Database& db, const WheelStorePlan& plan);
// The same for several wheels, all in one transaction: all are written or none.
StoreResult executeStorePlans(Database& db, const std::vector<WheelStorePlan>& plans);

// Plans and writes at once, overwriting whatever the rows hold (for callers without a loaded state).
StoreResult storeWheelPositions(Database& db, const QString& availableId, const QStringList& texts);

QString noRowsMessage(const QString& availableId);
QString changedMeanwhileMessage(const QString& availableId);
