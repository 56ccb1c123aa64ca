#pragma once

// Writes chosen filters into "Available FilterPlacement".

#include "db/db_error.h"

#include <QStringList>
#include <QVariant>
#include <vector>

class Database;

struct StoreResult {
    enum class Outcome { Stored, NoRows, Failed };
    Outcome outcome = Outcome::Stored;
    DbError error;
};

// One row of "Available FilterPlacement" as the stores need it.
struct PlacementRow {
    qint64 rowid;
    QString availableId;
    QVariant position;

    // A Null or non-numeric "Position" matches nothing.
    bool isPosition(int position) const;
};
// All rows in stored order.
bool readPlacementRows(const Database& db, std::vector<PlacementRow>* rows, DbError* error);
// Sets "ID Potential" of the given rows (rowid, text), all in one transaction.
StoreResult writePlacements(Database& db, const std::vector<std::pair<qint64, QString>>& writes);

// Writes texts[p] into the wheel's first row whose "Position" is p + 1; a position without a row
// is not written, and no other row is touched. NoRows when no row carries the wheel's ID.
StoreResult storeWheelPositions(Database& db, const QString& availableId, const QStringList& texts);

QString noRowsMessage(const QString& availableId);
