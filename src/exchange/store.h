#pragma once

// Writes a wheel's chosen filters into "Available FilterPlacement".

#include "db/db_error.h"

#include <QStringList>

class Database;

struct StoreResult {
    enum class Outcome { Stored, NoRows, Failed };
    Outcome outcome = Outcome::Stored;
    int written = 0;
    DbError error;
};

// Writes texts[p] into the row of the wheel whose "Position" is p + 1; a position without a row
// (or whose "Position" is Null) is not written, and no other row is touched. All rows of one call
// are written in one transaction.
StoreResult storeWheelPositions(Database& db, const QString& availableId, const QStringList& texts);

QString noRowsMessage(const QString& availableId);
