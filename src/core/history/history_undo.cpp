// Reading the history of changes and putting a record's rows back.

#include "core/history/history.h"
#include "core/history/history_file.h"
#include "core/history/record_lines.h"
#include "core/history/side_files.h"
#include "core/vocabulary/vocabulary.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/schema.h"

#include <QDir>
#include <QFileInfo>

namespace history {

namespace {

const QString ActionFields =
    QStringLiteral("id, at, user, host, program, configuration, stand, scan_unit, summary, undoes");

Record recordAt(const Cursor& row) {
    Record record;
    record.id = row.valueAt(0).toLongLong();
    record.at = row.textAt(1);
    record.user = row.textAt(2);
    record.host = row.textAt(3);
    record.program = row.textAt(4);
    record.configuration = row.textAt(5);
    record.stand = row.textAt(6);
    record.scanUnit = row.textAt(7);
    record.summary = row.textAt(8);
    record.undoes = row.valueAt(9).toLongLong();
    return record;
}

// A field's value as the record holds it, by name.
const QVariant* field(const std::vector<std::pair<QString, QVariant>>& row, const QString& name) {
    for (const auto& [column, value] : row)
        if (column == name)
            return &value;
    return nullptr;
}

QString shown(const QVariant& value) {
    return value.isNull() ? QStringLiteral("Null") : value.toString();
}

// The engine's values compare by type and bytes: 2 and '2' differ, as they would for the program.
bool same(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.typeId() == b.typeId() && a == b;
}

// The row as it stands now, in the fields the record holds; nothing when there is no such row.
bool currentRow(const Database& db, const RowChange& change,
                const std::vector<std::pair<QString, QVariant>>& like,
                std::optional<std::vector<std::pair<QString, QVariant>>>* row, Result* error) {
    row->reset();
    QStringList names;
    for (const auto& [column, value] : like)
        names << sqlName(column);
    auto cursor = db.openQuery(QStringLiteral("SELECT rowid AS [fc rowid]%1 FROM %2 WHERE rowid = ?")
                                   .arg(names.isEmpty() ? QString() : QStringLiteral(", ") + names.join(", "),
                                        statementName(change.table)),
                               {change.rowid}, error);
    if (!cursor)
        return false;
    if (cursor->atEnd())
        return !cursor->error().isError();
    std::vector<std::pair<QString, QVariant>> values;
    for (size_t i = 0; i < like.size(); ++i)
        values.emplace_back(like[i].first, cursor->valueAt(int(i) + 1));
    *row = values;
    return true;
}

bool sameRow(const std::vector<std::pair<QString, QVariant>>& a,
             const std::vector<std::pair<QString, QVariant>>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].first != b[i].first || !same(a[i].second, b[i].second))
            return false;
    return true;
}

QString stepText(const RowChange& change) {
    switch (change.kind) {
    case RowChange::Kind::Insert:
        return QStringLiteral("removes '%1' from '%2' again").arg(change.place, change.table);
    case RowChange::Kind::Delete:
        return QStringLiteral("puts '%1' back into '%2'").arg(change.place, change.table);
    case RowChange::Kind::CreateTable:
        return QStringLiteral("drops the table '%1' again if it holds nothing else").arg(change.table);
    case RowChange::Kind::Update:
        break;
    }
    const QVariant* before = field(change.before, schema::field::IdPotential);
    const QVariant* after = field(change.after, schema::field::IdPotential);
    if (change.table == schema::table::FilterPlacement && before && after)
        return vocabulary::changeLine(change.place, shown(*after), shown(*before));
    return QStringLiteral("puts back the fields of '%1' in '%2'").arg(change.place, change.table);
}

// Whether a later change touched the row the step puts back, and whether that change removed it
// (an undo has nothing left to put back there: the step writes nothing).
bool conflicts(const Database& db, const RowChange& change, const Record& record, bool* conflict, bool* gone,
               Result* error) {
    *conflict = false;
    *gone = false;
    if (change.kind == RowChange::Kind::CreateTable) {
        auto count = db.openQuery(QStringLiteral("SELECT count(*) FROM %1").arg(statementName(change.table)),
                                  {}, error);
        if (!count)
            return false;
        const auto inserted =
            std::count_if(record.rows.begin(), record.rows.end(), [&](const RowChange& row) {
                return row.table == change.table && row.kind == RowChange::Kind::Insert;
            });
        *conflict = count->valueAt(0).toLongLong() > inserted;
        return true;
    }
    std::optional<std::vector<std::pair<QString, QVariant>>> now;
    const auto& expected = change.kind == RowChange::Kind::Delete ? change.before : change.after;
    if (!currentRow(db, change, expected, &now, error))
        return false;
    *conflict =
        change.kind == RowChange::Kind::Delete ? now.has_value() : !now || !sameRow(*now, change.after);
    // A side table's row taken out and put in again under another rowid holds its key: putting the
    // old one back would repeat it.
    if (change.kind == RowChange::Kind::Delete && !*conflict && sideTableNamed(change.table))
        if (const QVariant* key = field(change.before, schema::field::IdPotential)) {
            auto again =
                db.openQuery(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?")
                                 .arg(statementName(change.table), sqlName(schema::field::IdPotential)),
                             {*key}, error);
            if (!again)
                return false;
            *conflict = !again->atEnd();
        }
    *gone = change.kind != RowChange::Kind::Delete && !now;
    return true;
}

} // namespace

bool readRecords(const QString& historyPath, const Filter& filter, std::vector<Record>* records,
                 Result* error) {
    records->clear();
    Database db;
    if (!openForReading(historyPath, &db, error))
        return !error || !error->isError();
    QStringList where;
    QStringList values;
    if (filter.since.isValid()) {
        where << QStringLiteral("at >= ?");
        values << filter.since.toUTC().toString(Qt::ISODateWithMs);
    }
    if (!filter.wheel.isEmpty()) {
        where << QStringLiteral("id IN (SELECT action FROM changes WHERE wheel = ?)");
        values << filter.wheel;
    }
    if (const QString complete = completeRecords(db); !complete.isEmpty())
        where << complete;
    // A search is the history window's, made in the program: the engine's lower() knows ASCII only.
    const bool searching = !filter.text.isEmpty();
    if (filter.newest > 0 && !searching) { // the engine finds them by the key, however long the history
        where << QStringLiteral("id IN (SELECT id FROM actions WHERE %1 ORDER BY id DESC LIMIT %2)")
                     .arg(where.isEmpty() ? QStringLiteral("1") : where.join(QStringLiteral(" AND ")))
                     .arg(filter.newest);
        values += values; // the conditions stand twice, outside and in
    }
    // A long history is read through the engine's own interface, in two halves at once.
    std::vector<Record> parts[2];
    const int read = ColumnReader::readInParts(
        db, QStringLiteral("actions"),
        {QStringLiteral("id"), QStringLiteral("at"), QStringLiteral("user"), QStringLiteral("host"),
         QStringLiteral("program"), QStringLiteral("configuration"), QStringLiteral("stand"),
         QStringLiteral("scan_unit"), QStringLiteral("summary"), QStringLiteral("undoes")},
        [&](ColumnReader& rows, int part) {
            while (rows.next()) {
                Record record{rows.text(0).toLongLong(),
                              rows.text(1),
                              rows.text(2),
                              rows.text(3),
                              rows.text(4),
                              rows.text(5),
                              rows.text(6),
                              rows.text(7),
                              rows.text(8),
                              rows.text(9).toLongLong(),
                              {}};
                if (!searching || RecordLines::holds(record, filter.text))
                    parts[part].push_back(std::move(record));
            }
        },
        error, where.join(QStringLiteral(" AND ")), values);
    if (read == 0)
        return false;
    records->reserve(parts[0].size() + parts[1].size());
    for (int part = 1; part >= 0; --part) // newest first
        records->insert(records->end(), std::make_move_iterator(parts[part].rbegin()),
                        std::make_move_iterator(parts[part].rend()));
    if (searching && filter.newest > 0 && records->size() > size_t(filter.newest))
        records->resize(size_t(filter.newest));
    return true;
}

bool checkReadable(const QString& historyPath, Result* error) {
    Database db;
    if (!openForReading(historyPath, &db, error))
        return !error->isError();
    auto newest =
        db.openQuery(QStringLiteral("SELECT id, summary FROM actions ORDER BY id DESC LIMIT 1"), {}, error);
    return newest && !newest->error().isError();
}

namespace {

bool readRecordOf(const QString& historyPath, qint64 id, bool pendingToo, Record* record, Result* error) {
    Database db;
    if (!openForReading(historyPath, &db, error)) {
        // No history yet has no record; one that cannot be opened says why.
        if (!error || !error->isError())
            fail(error, dberr::QueryFailed, QStringLiteral("The history has no record %1.").arg(id));
        return false;
    }
    const QString complete = pendingToo ? QString() : completeRecords(db);
    auto action = db.openQuery(QStringLiteral("SELECT %1 FROM actions WHERE id = ?%2")
                                   .arg(ActionFields, complete.isEmpty() ? QString() : " AND " + complete),
                               {id}, error);
    if (!action)
        return false;
    if (action->atEnd())
        return fail(error, dberr::QueryFailed, QStringLiteral("The history has no record %1.").arg(id));
    *record = recordAt(*action);
    auto changes = db.openQuery(
        QStringLiteral("SELECT id, tbl, row, kind, place FROM changes WHERE action = ? ORDER BY id"), {id},
        error);
    if (!changes)
        return false;
    for (; !changes->atEnd(); changes->next()) {
        RowChange change;
        change.id = changes->valueAt(0).toLongLong();
        change.table = changes->textAt(1);
        change.rowid = changes->valueAt(2).toLongLong();
        change.kind = static_cast<RowChange::Kind>(changes->valueAt(3).toInt());
        change.place = changes->textAt(4);
        auto cells =
            db.openQuery(QStringLiteral("SELECT side, col, value FROM cells WHERE change = ? ORDER BY rowid"),
                         {change.id}, error);
        if (!cells)
            return false;
        for (; !cells->atEnd(); cells->next())
            (cells->valueAt(0).toInt() == 0 ? change.before : change.after)
                .emplace_back(cells->textAt(1), cells->valueAt(2));
        record->rows.push_back(std::move(change));
    }
    return true;
}

} // namespace

bool readRecord(const QString& historyPath, qint64 id, Record* record, Result* error) {
    return readRecordOf(historyPath, id, false, record, error);
}

bool readPendingRecord(const QString& historyPath, qint64 id, Record* record, Result* error) {
    return readRecordOf(historyPath, id, true, record, error);
}

namespace {

// Whether the installation has the table, or (a side table) its file beside it has.
bool hasTable(const Database& installation, const QString& table, Result* error) {
    const SideTable* side = sideTableNamed(table);
    if (!side)
        return installation.hasTable(table);
    if (!attachSide(installation, *side, Database::Access::ReadOnly, error))
        return false;
    auto found = installation.openQuery(
        QStringLiteral("SELECT 1 FROM %1.sqlite_master WHERE type = 'table' AND name = ?").arg(side->schema),
        {table}, error);
    return found && !found->atEnd();
}

} // namespace

bool isInInstallation(const Database& installation, const Record& record, bool* holds, Result* error) {
    *holds = true;
    for (const RowChange& change : record.rows) {
        if (!*holds)
            break;
        // A table the write created (or wrote into) that is not there: the write is not either.
        if (!hasTable(installation, change.table, error)) {
            if (error && error->isError())
                return false;
            *holds = false;
            break;
        }
        if (change.kind == RowChange::Kind::CreateTable)
            continue;
        std::optional<std::vector<std::pair<QString, QVariant>>> now;
        const auto& wrote = change.kind == RowChange::Kind::Delete ? change.before : change.after;
        if (!currentRow(installation, change, wrote, &now, error))
            return false;
        *holds = change.kind == RowChange::Kind::Delete ? !now : now && sameRow(*now, change.after);
    }
    return true;
}

int UndoPlan::rowsWritten() const {
    return int(std::count_if(steps.begin(), steps.end(), [this](const Step& step) {
        return !step.gone && !(step.conflict && changeOf(step).kind == RowChange::Kind::CreateTable);
    }));
}

bool UndoPlan::hasConflicts() const {
    return std::any_of(steps.begin(), steps.end(), [](const Step& step) { return step.conflict; });
}

QString UndoPlan::conflictText() const {
    QStringList rows;
    for (const Step& step : steps)
        if (step.conflict)
            rows << (changeOf(step).place.isEmpty() ? changeOf(step).table : changeOf(step).place);
    if (rows.isEmpty())
        return QString();
    return QStringLiteral(
               "A later change touched %1 since record %2: undoing it would overwrite that change.")
        .arg(rows.join(QStringLiteral(", ")))
        .arg(record.id);
}

bool planUndo(Database& db, qint64 id, UndoPlan* plan, Result* error) {
    *plan = UndoPlan();
    if (!readRecord(pathFor(db.path()), id, &plan->record, error))
        return false;
    for (const RowChange& change : plan->record.rows)
        if (const SideTable* side = sideTableNamed(change.table);
            side &&
            !attachSide(db, *side, db.isWritable() ? Database::Access::ReadWrite : Database::Access::ReadOnly,
                        error, false)) {
            if (error && !error->isError())
                fail(error, dberr::FileNotFound,
                     QStringLiteral("'%1' is missing: record %2's measured spectra cannot be put back.")
                         .arg(QDir::toNativeSeparators(sidePath(db.path(), *side)))
                         .arg(id));
            return false;
        }
    // Rows first, newest change first; a table the record created goes last.
    for (size_t row = plan->record.rows.size(); row-- > 0;) {
        const RowChange& change = plan->record.rows[row];
        bool conflict = false;
        bool gone = false;
        if (!conflicts(db, change, plan->record, &conflict, &gone, error))
            return false;
        plan->steps.push_back(
            {row,
             gone ? QStringLiteral("%1: not restored, the row no longer exists").arg(change.place)
                  : stepText(change),
             conflict, gone});
    }
    std::stable_partition(plan->steps.begin(), plan->steps.end(), [&](const UndoPlan::Step& step) {
        return plan->changeOf(step).kind != RowChange::Kind::CreateTable;
    });
    return true;
}

namespace {

bool putBack(Database& db, const RowChange& change, bool force, const Record& record, Result* error) {
    bool conflict = false;
    bool gone = false;
    if (!conflicts(db, change, record, &conflict, &gone, error))
        return false;
    if (gone && force)
        return true; // named as not restored
    if (conflict && !force)
        return fail(
            error, dberr::QueryFailed,
            QStringLiteral("Another change touched '%1' meanwhile: nothing was undone.").arg(change.place));
    const QString table = statementName(change.table);
    switch (change.kind) {
    case RowChange::Kind::CreateTable:
        return conflict || db.exec(QStringLiteral("DROP TABLE %1").arg(table), {}, error);
    case RowChange::Kind::Insert:
        return db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(table), {change.rowid}, error);
    case RowChange::Kind::Delete:
        if (!conflict) {
            QStringList names;
            QStringList marks{QStringLiteral("?")};
            QVariantList values{change.rowid};
            for (const auto& [column, value] : change.before) {
                names << sqlName(column);
                marks << QStringLiteral("?");
                values << value;
            }
            return db.exec(
                QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3)")
                    .arg(table, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                values, error);
        }
        break; // forced over a row that took its place: that row gets the values back
    case RowChange::Kind::Update:
        break;
    }
    QStringList sets;
    QVariantList values;
    for (const auto& [column, value] : change.before) {
        sets << sqlName(column) + QStringLiteral(" = ?");
        values << value;
    }
    values << change.rowid;
    return sets.isEmpty() ||
           db.exec(
               QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(table, sets.join(QStringLiteral(", "))),
               values, error);
}

} // namespace

bool executeUndo(Database& db, const UndoPlan& plan, bool force, Result* error) {
    if (plan.hasConflicts() && !force)
        return fail(error, dberr::QueryFailed, plan.conflictText());
    Transaction transaction(db, error);
    if (!transaction.isActive())
        return false;
    for (const UndoPlan::Step& step : plan.steps)
        if (!putBack(db, plan.changeOf(step), force, plan.record, error))
            return false;
    // The commit passes the write gate: an undo that would leave the installation unable to load
    // (a filter placed since taken out of the catalogue) is refused, forced or not.
    setNextUndoes(plan.record.id);
    const bool committed = transaction.commit(error);
    setNextUndoes(0);
    return committed;
}

} // namespace history
