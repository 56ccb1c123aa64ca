#include "core/exchange/store.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/placement/wheels.h"

#include <QHash>
#include <algorithm>
#include <iterator>

bool matchesPosition(const QVariant& position, int wanted) {
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

namespace {

// Inside the caller's transaction.
bool updateRows(Database& db, const std::vector<std::pair<qint64, QString>>& writes, DbError* error) {
    const QString update =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
            .arg(sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdPotential));
    for (const auto& [rowid, text] : writes)
        if (!db.exec(update, {text, rowid}, error))
            return false;
    return true;
}

} // namespace

StoreResult writePlacements(Database& db, const std::vector<std::pair<qint64, QString>>& writes) {
    StoreResult result;
    Transaction transaction(db, &result.error);
    if (!updateRows(db, writes, &result.error) || !transaction.commit(&result.error))
        result.outcome = StoreResult::Outcome::Failed;
    return result;
}

QString noRowsMessage(const QString& availableId) {
    return QStringLiteral("The wheel '%1' has no rows in 'Available FilterPlacement': nothing was stored.")
        .arg(availableId);
}

namespace {

struct WheelRow {
    qint64 rowid;
    QVariant position;
    QString filter;
};

// The wheel's rows in stored order.
bool readWheelRows(const Database& db, const QString& availableId, std::vector<WheelRow>* rows, bool* any,
                   DbError* error) {
    // The engine picks the wheel's rows (an exact comparison, as the loader's).
    auto cursor =
        db.openQuery(QStringLiteral("SELECT rowid AS [fc rowid], %1, %2 FROM %3 WHERE %4 = ? ORDER BY rowid")
                         .arg(sqlName(schema::field::Position), sqlName(schema::field::IdPotential),
                              sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdAvailable)),
                     {availableId}, error);
    if (!cursor)
        return false;
    *any = false;
    for (; !cursor->atEnd(); cursor->next()) {
        *any = true;
        rows->push_back({cursor->valueAt(0).toLongLong(), cursor->valueAt(1), cursor->textAt(2)});
    }
    if (cursor->error().isError()) {
        if (error)
            *error = cursor->error();
        return false;
    }
    return true;
}

QString positionList(const std::vector<int>& positions) {
    QStringList numbers;
    for (int position : positions)
        numbers << QString::number(position);
    return numbers.join(QStringLiteral(", "));
}

} // namespace

bool planWheelStore(const Database& db, const QString& availableId, const QStringList& chosen,
                    const QStringList* known, WheelStorePlan* plan, DbError* error) {
    *plan = WheelStorePlan();
    plan->availableId = availableId;
    std::vector<WheelRow> rows;
    if (!readWheelRows(db, availableId, &rows, &plan->hasRows, error))
        return false;
    const bool oddPositions = std::any_of(rows.begin(), rows.end(), [](const WheelRow& row) {
        bool number = false;
        row.position.toDouble(&number);
        return row.position.isNull() || !number;
    });
    for (int p = 1; p <= chosen.size(); ++p) {
        const QString& filter = chosen[p - 1];
        const auto row = std::find_if(rows.begin(), rows.end(), [p](const WheelRow& candidate) {
            return matchesPosition(candidate.position, p);
        });
        if (filter.isEmpty()) {
            plan->notWritten.emplace_back(p, QStringLiteral("no filter is chosen"));
        } else if (row == rows.end()) {
            plan->notWritten.emplace_back(p, oddPositions
                                                 ? QStringLiteral("a row's \"Position\" is not a number")
                                                 : QStringLiteral("no row has that \"Position\""));
        } else {
            plan->writes.push_back({p, row->rowid, row->filter, filter});
            const int index = int(row - rows.begin());
            if (known && index < known->size() && row->filter != known->at(index) && filter != row->filter)
                plan->changedByOthers.push_back(p);
        }
    }
    for (int index = 0; index < int(rows.size()) && index < wheels::PositionsPerWheel; ++index) {
        const auto write =
            std::find_if(plan->writes.begin(), plan->writes.end(),
                         [&](const WheelStorePlan::Write& w) { return w.rowid == rows[index].rowid; });
        plan->rowsAfter << (write != plan->writes.end() ? write->chosen : rows[index].filter);
    }
    return true;
}

namespace {

// The plan's rows, checked inside the caller's transaction: what the user was shown must still be
// what is replaced.
StoreResult::Outcome writePlanRows(Database& db, const WheelStorePlan& plan, DbError* error) {
    if (!plan.hasRows)
        return StoreResult::Outcome::NoRows;
    QStringList chosen;
    for (int p = 1; p <= (plan.writes.empty() ? 0 : plan.writes.back().position); ++p)
        chosen << QString();
    for (const WheelStorePlan::Write& write : plan.writes)
        chosen[write.position - 1] = write.chosen;
    WheelStorePlan now;
    if (!planWheelStore(db, plan.availableId, chosen, nullptr, &now, error))
        return StoreResult::Outcome::Failed;
    std::vector<std::pair<qint64, QString>> writes;
    for (const WheelStorePlan::Write& write : plan.writes) {
        const auto same =
            std::find_if(now.writes.begin(), now.writes.end(), [&](const WheelStorePlan::Write& w) {
                return w.position == write.position && w.rowid == write.rowid && w.now == write.now;
            });
        if (same == now.writes.end())
            return StoreResult::Outcome::Changed;
        writes.emplace_back(write.rowid, write.chosen);
    }
    return updateRows(db, writes, error) ? StoreResult::Outcome::Stored : StoreResult::Outcome::Failed;
}

} // namespace

StoreResult executeStorePlans(Database& db, const std::vector<WheelStorePlan>& plans) {
    StoreResult result;
    Transaction transaction(db, &result.error);
    for (const WheelStorePlan& plan : plans) {
        result.outcome = writePlanRows(db, plan, &result.error);
        if (result.outcome != StoreResult::Outcome::Stored)
            return result;
    }
    if (!transaction.commit(&result.error))
        result.outcome = StoreResult::Outcome::Failed;
    return result;
}

StoreResult executeStorePlan(Database& db, const WheelStorePlan& plan) {
    return executeStorePlans(db, {plan});
}

QString changedMeanwhileMessage(const QString& availableId) {
    return QStringLiteral(
               "Another program changed the wheel '%1' while it was being stored: nothing was stored. "
               "Press Store again to see the change.")
        .arg(availableId);
}

StoreResult storeWheelPositions(Database& db, const QString& availableId, const QStringList& texts) {
    WheelStorePlan plan;
    StoreResult result;
    if (!planWheelStore(db, availableId, texts, nullptr, &plan, &result.error)) {
        result.outcome = StoreResult::Outcome::Failed;
        return result;
    }
    return executeStorePlan(db, plan);
}

std::vector<WheelStorePlan::Write> WheelStorePlan::changes() const {
    std::vector<Write> changed;
    std::copy_if(writes.begin(), writes.end(), std::back_inserter(changed),
                 [](const Write& write) { return write.now != write.chosen; });
    return changed;
}

QString WheelStorePlan::changeCountText(int chosen) const {
    if (!hasRows)
        return QStringLiteral("The database has no rows for the wheel '%1'.").arg(availableId);
    const int changing = int(changes().size());
    if (changing == 0)
        return QStringLiteral("Nothing changes");
    return QStringLiteral("%1 of %2 positions change").arg(changing).arg(chosen);
}

QString WheelStorePlan::positionText(int position) const {
    for (const Write& write : writes)
        if (write.position == position)
            return write.now == write.chosen
                       ? QStringLiteral("stays %1").arg(write.now)
                       : QStringLiteral("changes from %1 to %2").arg(write.now, write.chosen);
    return hasRows ? QStringLiteral("has no row") : QString();
}

QString WheelStorePlan::changedQuestion() const {
    if (changedByOthers.empty())
        return QString();
    QStringList lines;
    for (int position : changedByOthers)
        for (const Write& write : writes)
            if (write.position == position)
                lines << QStringLiteral("Position %1 now holds '%2'; storing puts '%3' there.")
                             .arg(position)
                             .arg(write.now, write.chosen);
    return QStringLiteral(
               "Another program changed position %1 of the wheel '%2' after it was loaded.\n\n%3\n\n"
               "Overwrite the other program's change?")
        .arg(positionList(changedByOthers), availableId, lines.join(QLatin1Char('\n')));
}

QString WheelStorePlan::notWrittenNote() const {
    QStringList parts;
    for (const auto& [position, why] : notWritten)
        parts << QStringLiteral("position %1 (%2)").arg(position).arg(why);
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("Stored the wheel '%1' except %2.")
        .arg(availableId, parts.join(QStringLiteral(", ")));
}
