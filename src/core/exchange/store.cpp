#include "core/exchange/store.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/gate/write_gate.h"
#include "core/placement/wheels.h"
#include "core/vocabulary/vocabulary.h"

#include <algorithm>
#include <iterator>

bool matchesPosition(const QVariant& position, int wanted) {
    bool ok = false;
    const double number = position.toDouble(&ok);
    return !position.isNull() && ok && number == wanted;
}

QString positionMismatch(const QVariant& position) {
    bool number = false;
    position.toDouble(&number);
    if (position.isNull() || !number)
        return QStringLiteral("its row's \"Position\" is not a number");
    return QStringLiteral("its row holds \"Position\" %1").arg(position.toString());
}

namespace {

struct TableRow {
    QString availableId;
    PlacementRow row;
};

// The rows of "Available FilterPlacement" in stored order: all of them, or one wheel's.
bool readRows(const Database& db, const QString* availableId, std::vector<TableRow>* rows, Result* error) {
    QString sql = QStringLiteral("SELECT rowid AS [fc rowid], %1, %2, %3 FROM %4")
                      .arg(sqlName(schema::field::IdAvailable), sqlName(schema::field::Position),
                           sqlName(schema::field::IdPotential), sqlName(schema::table::FilterPlacement));
    QVariantList values;
    if (availableId) {
        // The engine picks the wheel's rows (an exact comparison, as the loader's).
        sql += QStringLiteral(" WHERE %1 = ?").arg(sqlName(schema::field::IdAvailable));
        values << *availableId;
    }
    auto cursor = db.openQuery(sql + QStringLiteral(" ORDER BY rowid"), values, error);
    if (!cursor)
        return false;
    for (; !cursor->atEnd(); cursor->next())
        rows->push_back(
            {cursor->textAt(1), {cursor->valueAt(0).toLongLong(), cursor->valueAt(2), cursor->textAt(3)}});
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

bool planShownWheelStore(const Database& db, const QString& availableId,
                         const std::vector<PlacementRow>& shown, const QStringList& chosen,
                         WheelStorePlan* plan, Result* error) {
    *plan = WheelStorePlan();
    plan->availableId = availableId;
    std::vector<TableRow> rows;
    if (!readRows(db, &availableId, &rows, error))
        return false;
    plan->hasRows = !rows.empty();
    for (int p = 0; p < chosen.size() && p < int(shown.size()); ++p) {
        const PlacementRow& was = shown[size_t(p)];
        const QString& filter = chosen[p];
        if (filter == was.filter)
            continue; // unchanged: the row keeps whatever it holds
        const auto now = std::find_if(rows.begin(), rows.end(),
                                      [&](const TableRow& row) { return row.row.rowid == was.rowid; });
        if (filter.isEmpty())
            plan->notWritten.emplace_back(p + 1, QStringLiteral("no filter is chosen"));
        else if (now == rows.end())
            plan->notWritten.emplace_back(p + 1, QStringLiteral("another program removed its row"));
        else if (!matchesPosition(now->row.position, p + 1))
            plan->notWritten.emplace_back(p + 1, positionMismatch(now->row.position));
        else {
            plan->writes.push_back({p + 1, was.rowid, now->row.filter, filter});
            // Another program's change of the row: its filter, or its "Position" (it stood elsewhere).
            const bool moved = now->row.position.toString() != was.position.toString();
            if ((now->row.filter != was.filter || moved) && now->row.filter != filter)
                plan->changedByOthers.push_back(p + 1);
        }
    }
    return true;
}

bool planPackageWheelStore(const Database& db, const QString& availableId, const QStringList& filters,
                           WheelStorePlan* plan, Result* error) {
    *plan = WheelStorePlan();
    plan->availableId = availableId;
    std::vector<TableRow> rows;
    if (!readRows(db, nullptr, &rows, error))
        return false;
    auto current = std::find_if(rows.begin(), rows.end(),
                                [&](const TableRow& row) { return row.availableId == availableId; });
    plan->hasRows = current != rows.end();
    QStringList named; // an empty cell places nothing
    for (const QString& filter : filters)
        if (!filter.isEmpty())
            named << filter;
    QStringList missing;
    if (!catalogue::missingFromCatalogue(db, named, &missing, error))
        return false;
    for (const QString& filter : std::as_const(missing)) {
        QStringList places;
        for (int q = 0; q < filters.size(); ++q)
            if (filters[q] == filter)
                places << QStringLiteral("%1 %2").arg(availableId).arg(q + 1);
        plan->refusals << gate::notInCatalogueText(filter, places.join(QStringLiteral(", ")));
    }
    if (!plan->hasRows)
        return true;
    for (int q = 0; q < filters.size(); ++q) {
        if (filters[q].isEmpty())
            continue;
        if (current == rows.end() || current->availableId != availableId)
            plan->notWritten.emplace_back(q + 1, QStringLiteral("no more rows of the wheel line up"));
        else if (!matchesPosition(current->row.position, q + 1))
            plan->notWritten.emplace_back(q + 1,
                                          QStringLiteral("the next row of the wheel is not its row: ") +
                                              positionMismatch(current->row.position));
        else {
            plan->writes.push_back({q + 1, current->row.rowid, current->row.filter, filters[q]});
            ++current;
        }
    }
    return true;
}

namespace {

// Why the planned row no longer is what the plan read (gone, moved, another filter), or the empty
// text when it still is. False on the engine's failure.
bool checkPlannedRow(const Database& db, const QString& availableId, const WheelStorePlan::Write& write,
                     QString* why, Result* error) {
    auto row =
        db.openQuery(QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE rowid = ?")
                         .arg(sqlName(schema::field::IdAvailable), sqlName(schema::field::Position),
                              sqlName(schema::field::IdPotential), sqlName(schema::table::FilterPlacement)),
                     {write.rowid}, error);
    if (!row)
        return false;
    const QString where = QStringLiteral("%1 %2").arg(availableId).arg(write.position);
    why->clear();
    if (row->atEnd() || row->textAt(0) != availableId)
        *why = QStringLiteral("%1: its row is gone").arg(where);
    else if (!matchesPosition(row->valueAt(1), write.position))
        *why = QStringLiteral("%1: %2").arg(where, positionMismatch(row->valueAt(1)));
    else if (row->textAt(2) != write.now)
        *why = QStringLiteral("%1 now holds '%2', the plan read '%3'").arg(where, row->textAt(2), write.now);
    if (row->error().isError()) {
        if (error)
            *error = row->error();
        return false;
    }
    return true;
}

// Inside the caller's transaction: the row must still be what the plan read.
StoreResult::Outcome writeChange(Database& db, const QString& availableId, const WheelStorePlan::Write& write,
                                 Result* error) {
    QString changed;
    if (!checkPlannedRow(db, availableId, write, &changed, error))
        return StoreResult::Outcome::Failed;
    if (!changed.isEmpty())
        return StoreResult::Outcome::Changed;
    const QString update =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
            .arg(sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdPotential));
    return db.exec(update, {write.chosen, write.rowid}, error) ? StoreResult::Outcome::Stored
                                                               : StoreResult::Outcome::Failed;
}

} // namespace

StoreResult executeStorePlans(Database& db, const std::vector<WheelStorePlan>& plans) {
    StoreResult result;
    Transaction transaction(db, &result.error);
    if (!transaction.isActive()) {
        result.outcome = StoreResult::Outcome::Failed;
        return result;
    }
    for (const WheelStorePlan& plan : plans) {
        if (!plan.hasRows) {
            result.outcome = StoreResult::Outcome::NoRows;
            return result;
        }
        for (const WheelStorePlan::Write& write : plan.changes()) {
            result.outcome = writeChange(db, plan.availableId, write, &result.error);
            if (result.outcome != StoreResult::Outcome::Stored)
                return result;
        }
    }
    // The commit passes the write gate, which refuses a filter the catalogue lacks.
    if (!transaction.commit(&result.error))
        result.outcome = result.error.code == dberr::Refused ? StoreResult::Outcome::Refused
                                                             : StoreResult::Outcome::Failed;
    return result;
}

StoreResult executeStorePlan(Database& db, const WheelStorePlan& plan) {
    return executeStorePlans(db, {plan});
}

bool changedSincePlanned(const Database& db, const std::vector<WheelStorePlan>& plans, QStringList* changed,
                         Result* error) {
    for (const WheelStorePlan& plan : plans)
        for (const WheelStorePlan::Write& write : plan.changes()) {
            QString why;
            if (!checkPlannedRow(db, plan.availableId, write, &why, error))
                return false;
            if (!why.isEmpty())
                *changed << why;
        }
    return true;
}

QString noRowsMessage(const QString& availableId) {
    return QStringLiteral("The wheel '%1' has no rows in 'Available FilterPlacement': nothing was stored.")
        .arg(availableId);
}

QString changedMeanwhileMessage(const QString& availableId) {
    return QStringLiteral(
               "Another program changed the wheel '%1' while it was being stored: nothing was stored. "
               "Press Store again to see the change.")
        .arg(availableId);
}

std::vector<WheelStorePlan::Write> WheelStorePlan::changes() const {
    std::vector<Write> changed;
    std::copy_if(writes.begin(), writes.end(), std::back_inserter(changed),
                 [](const Write& write) { return write.now != write.chosen; });
    return changed;
}

const WheelStorePlan::Write* WheelStorePlan::writeAt(int position) const {
    const auto write = std::find_if(writes.begin(), writes.end(),
                                    [position](const Write& w) { return w.position == position; });
    return write == writes.end() ? nullptr : &*write;
}

QString WheelStorePlan::notWrittenReason(int position) const {
    for (const auto& [where, why] : notWritten)
        if (where == position)
            return why;
    return QString();
}

QString WheelStorePlan::changeCountText(int chosen) const {
    if (!hasRows)
        return QStringLiteral("The database has no rows for the wheel '%1'.").arg(availableId);
    const int changing = int(changes().size());
    QString text = changing == 0 ? QStringLiteral("Nothing changes")
                                 : QStringLiteral("%1 of %2 positions change").arg(changing).arg(chosen);
    if (!notWritten.empty())
        text += QStringLiteral("; not written: position %1").arg(positionList([this] {
            std::vector<int> positions;
            for (const auto& [position, why] : notWritten)
                positions.push_back(position);
            return positions;
        }()));
    return text;
}

QString WheelStorePlan::positionText(int position) const {
    if (const Write* write = writeAt(position))
        return write->now == write->chosen ? QStringLiteral("stays %1").arg(write->now)
                                           : vocabulary::changeDescription(write->now, write->chosen);
    const QString why = notWrittenReason(position);
    return why.isEmpty() ? QString() : QStringLiteral("is not written: %1").arg(why);
}

QString WheelStorePlan::changedQuestion() const {
    if (changedByOthers.empty())
        return QString();
    QStringList lines;
    for (int position : changedByOthers)
        if (const Write* write = writeAt(position))
            lines << QStringLiteral("Position %1 now holds '%2'; storing puts '%3' there.")
                         .arg(position)
                         .arg(write->now, write->chosen);
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
