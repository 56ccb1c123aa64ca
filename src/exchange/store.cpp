#include "store.h"

#include "db/cursor.h"
#include "db/database.h"
#include "db/schema.h"

#include <QHash>

bool PlacementRow::isPosition(int wanted) const {
    bool ok = false;
    const double number = position.toDouble(&ok);
    return !position.isNull() && ok && number == wanted;
}

bool readPlacementRows(const Database& db, std::vector<PlacementRow>* rows, DbError* error) {
    auto cursor = db.openTable(schema::table::FilterPlacement, error);
    if (!cursor)
        return false;
    for (; !cursor->atEnd(); cursor->next())
        rows->push_back({cursor->rowid(), cursor->text(schema::field::IdAvailable),
                         cursor->value(schema::field::Position)});
    if (cursor->error().isError()) {
        if (error)
            *error = cursor->error();
        return false;
    }
    return true;
}

StoreResult writePlacements(Database& db, const std::vector<std::pair<qint64, QString>>& writes) {
    StoreResult result;
    Transaction transaction(db, &result.error);
    const QString update =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
            .arg(sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdPotential));
    for (const auto& [rowid, text] : writes) {
        if (!db.exec(update, {text, rowid}, &result.error)) {
            result.outcome = StoreResult::Outcome::Failed;
            return result;
        }
    }
    if (!transaction.commit(&result.error))
        result.outcome = StoreResult::Outcome::Failed;
    return result;
}

QString noRowsMessage(const QString& availableId) {
    return QStringLiteral("The wheel '%1' has no rows in 'Available FilterPlacement': nothing was stored.")
        .arg(availableId);
}

StoreResult storeWheelPositions(Database& db, const QString& availableId, const QStringList& texts) {
    StoreResult result;
    std::vector<PlacementRow> rows;
    if (!readPlacementRows(db, &rows, &result.error)) {
        result.outcome = StoreResult::Outcome::Failed;
        return result;
    }
    bool any = false;
    QHash<int, qint64> rowOfPosition; // the wheel's first row of each position
    for (const PlacementRow& row : rows) {
        if (row.availableId != availableId)
            continue;
        any = true;
        for (int p = 1; p <= texts.size(); ++p)
            if (row.isPosition(p) && !rowOfPosition.contains(p))
                rowOfPosition.insert(p, row.rowid);
    }
    if (!any) {
        result.outcome = StoreResult::Outcome::NoRows;
        return result;
    }
    std::vector<std::pair<qint64, QString>> writes;
    for (int p = 0; p < texts.size(); ++p)
        if (rowOfPosition.contains(p + 1))
            writes.emplace_back(rowOfPosition.value(p + 1), texts[p]);
    return writePlacements(db, writes);
}
