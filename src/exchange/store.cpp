#include "store.h"

#include "db/cursor.h"
#include "db/database.h"
#include "db/schema.h"

#include <QHash>

namespace {

// The first row of each position of the wheel, by its "Position" number.
struct WheelRows {
    bool any = false;
    QHash<int, qint64> rowOfPosition; // position -> rowid
};

bool findWheelRows(Database& db, const QString& availableId, WheelRows* rows, DbError* error) {
    auto cursor = db.openTable(schema::table::FilterPlacement, error);
    if (!cursor)
        return false;
    for (; !cursor->atEnd(); cursor->next()) {
        if (cursor->text(schema::field::IdAvailable) != availableId)
            continue;
        rows->any = true;
        const QVariant position = cursor->value(schema::field::Position);
        bool ok = false;
        const double number = position.toDouble(&ok);
        if (position.isNull() || !ok || number != int(number))
            continue;
        if (!rows->rowOfPosition.contains(int(number)))
            rows->rowOfPosition.insert(int(number), cursor->value(QStringLiteral("rowid")).toLongLong());
    }
    if (cursor->error().isError()) {
        if (error)
            *error = cursor->error();
        return false;
    }
    return true;
}

} // namespace

QString noRowsMessage(const QString& availableId) {
    return QStringLiteral("The wheel '%1' has no rows in 'Available FilterPlacement': nothing was stored.")
        .arg(availableId);
}

StoreResult storeWheelPositions(Database& db, const QString& availableId, const QStringList& texts) {
    StoreResult result;
    WheelRows rows;
    if (!findWheelRows(db, availableId, &rows, &result.error)) {
        result.outcome = StoreResult::Outcome::Failed;
        return result;
    }
    if (!rows.any) {
        result.outcome = StoreResult::Outcome::NoRows;
        return result;
    }
    Transaction transaction(db, &result.error);
    const QString update =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
            .arg(sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdPotential));
    for (int p = 0; p < texts.size(); ++p) {
        const auto row = rows.rowOfPosition.constFind(p + 1);
        if (row == rows.rowOfPosition.constEnd())
            continue;
        if (!db.exec(update, {texts[p], *row}, &result.error)) {
            result.outcome = StoreResult::Outcome::Failed;
            return result;
        }
        ++result.written;
    }
    if (!transaction.commit(&result.error))
        result.outcome = StoreResult::Outcome::Failed;
    return result;
}
