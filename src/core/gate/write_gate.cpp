// The check every write passes before its commit; see write_gate.h.

#include "core/gate/write_gate.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/vocabulary/vocabulary.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <sqlite3.h>

namespace gate {

namespace {

using namespace schema;

// The tables the start reads; "Favourite Filters", last, is created by the first load when it is
// missing.
const QStringList& startTables() {
    static const QStringList tables{table::SystemVersions,  table::AvailableSystems, table::FilterSets,
                                    table::FilterPlacement, table::PotentialFilters, table::FavouriteFilters};
    return tables;
}

// Which of the tables the start reads stand there as tables (views and virtual tables are not
// read), and which of those hold no row: two statements for them all, as a write passes the gate
// twice.
struct Tables {
    QSet<QString> present; // as the program names them
    QSet<QString> empty;
    bool has(const QString& name) const { return present.contains(name); }
};

Result readTables(const Database& db, Tables* tables) {
    const QStringList& read = startTables();
    Result error;
    auto kinds =
        db.openQuery(QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'table' AND NOT "
                                    "IFNULL(sql LIKE 'CREATE VIRTUAL TABLE%', 0)"),
                     {}, &error);
    if (!kinds)
        return error;
    QSet<QString> standing; // names folded as the engine folds them, ASCII only
    for (; !kinds->atEnd(); kinds->next())
        standing.insert(kinds->textAt(0));
    if (kinds->error().isError())
        return kinds->error();
    QStringList exists;
    for (const QString& name : read)
        if (standing.contains(name.toLower())) {
            tables->present.insert(name);
            exists << QStringLiteral("EXISTS (SELECT 1 FROM %1)").arg(sqlName(name));
        }
    if (exists.isEmpty())
        return {};
    auto rows = db.openQuery(QStringLiteral("SELECT ") + exists.join(QStringLiteral(", ")), {}, &error);
    if (!rows)
        return error;
    int column = 0;
    for (const QString& name : read)
        if (tables->has(name) && !rows->atEnd() && rows->valueAt(column++).toInt() == 0)
            tables->empty.insert(name);
    return rows->error();
}

void tableFaults(const Tables& tables, std::vector<Fault>* faults) {
    for (const QString& name : startTables()) {
        if (!tables.has(name)) {
            if (name != table::FavouriteFilters)
                faults->push_back(
                    {QStringLiteral("missing:") + name,
                     QStringLiteral("'%1' would be missing: the program could not load.").arg(name),
                     {},
                     {}});
            continue;
        }
        if (tables.empty.contains(name))
            faults->push_back({QStringLiteral("empty:") + name,
                               QStringLiteral("'%1' would be empty: the load would end there.").arg(name),
                               {},
                               {}});
    }
}

// Each row that places a filter, with its place; an empty or Null name is a name the catalogue lacks
// too ("None" is the empty position).
Result placedRows(const Database& db, std::vector<Fault>* placed) {
    Result error;
    auto rows = db.openQuery(QStringLiteral("SELECT rowid, IFNULL(%1, ''), %2, %3 FROM %4 ORDER BY rowid")
                                 .arg(sqlName(field::IdPotential), sqlName(field::IdAvailable),
                                      sqlName(field::Position), sqlName(table::FilterPlacement)),
                             {}, &error);
    if (!rows)
        return error;
    for (; !rows->atEnd(); rows->next()) {
        const QString name = rows->textAt(1);
        placed->push_back({QStringLiteral("placed:%1:").arg(rows->textAt(0)) + name, QString(), name,
                           rows->textAt(2) + QLatin1Char(' ') + rows->textAt(3)});
    }
    return rows->error();
}

qint64 pragmaValue(const Database& db, const char* pragma) {
    auto* engine = static_cast<sqlite3*>(db.engineHandle());
    sqlite3_stmt* statement = nullptr;
    qint64 value = -1;
    if (engine && sqlite3_prepare_v2(engine, pragma, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

// 64 bits on every platform, seeded afresh in each process: a file cannot be made to collide.
quint64 nameHash(QByteArrayView utf8) {
    static const size_t seeds[] = {size_t(QRandomGenerator::system()->generate64()),
                                   size_t(QRandomGenerator::system()->generate64())};
    if constexpr (sizeof(size_t) >= sizeof(quint64))
        return qHash(utf8, seeds[0]);
    else
        return (quint64(qHash(utf8, seeds[0])) << 32) | qHash(utf8, seeds[1]);
}

// The catalogue's names, walked again only when the file or its catalogue changed since. Where
// the names known could answer otherwise than the engine (a name that is no text, a collation, a
// table walked otherwise), none are kept and the engine is asked.
void knowCatalogue(const Database& db, CatalogueNames* names) {
    const qint64 dataVersion = pragmaValue(db, "PRAGMA main.data_version");
    const qint64 schemaVersion = pragmaValue(db, "PRAGMA main.schema_version");
    if (names->valid && names->dataVersion == dataVersion && names->schemaVersion == schemaVersion)
        return;
    *names = CatalogueNames();
    if (dataVersion < 0 || schemaVersion < 0 || !catalogue::namesCompareAsBytes(db))
        return;
    std::vector<quint64> hashes;
    ColumnReader rows(db, table::PotentialFilters, {field::IdPotential});
    while (rows.next()) {
        if (!rows.isText(0))
            return;
        hashes.push_back(nameHash(rows.utf8(0)));
    }
    if (rows.error().isError())
        return;
    std::sort(hashes.begin(), hashes.end());
    *names = {true, dataVersion, schemaVersion, std::move(hashes)};
}

// Each row that places a filter the catalogue lacks, as a fault of its own: a write that places
// such a filter in one more row adds a fault, even when another row placed it before. Looked up
// in the names known, or (while a write has changed the catalogue) asked of the engine.
Result placementFaults(const Database& db, const Tables& tables, const CatalogueNames* known,
                       std::vector<Fault>* faults) {
    if (!tables.has(table::FilterPlacement) || !tables.has(table::PotentialFilters))
        return {}; // already a fault of its own
    std::vector<Fault> placed;
    if (Result read = placedRows(db, &placed); read.isError())
        return read;
    QSet<QString> missing;
    if (known) {
        for (const Fault& row : placed)
            if (!std::binary_search(known->hashes.begin(), known->hashes.end(),
                                    nameHash(row.filter.toUtf8())))
                missing.insert(row.filter);
    } else {
        QStringList names;
        for (const Fault& row : placed)
            names << row.filter;
        QStringList lacking;
        Result error;
        if (!catalogue::missingFromCatalogue(db, names, &lacking, &error))
            return error;
        missing = QSet<QString>(lacking.begin(), lacking.end());
    }
    for (Fault& row : placed)
        if (missing.contains(row.filter))
            faults->push_back(std::move(row));
    return {};
}

Result loadFaults(const Database& db, const Tables& tables, const CatalogueNames* known,
                  std::vector<Fault>* faults) {
    faults->clear();
    tableFaults(tables, faults);
    return placementFaults(db, tables, known, faults);
}

} // namespace

QString notInCatalogueText(const QString& filter, const QString& places) {
    return QStringLiteral("The filter '%1' (%2) is not in 'Potential Filters': the program would not start "
                          "with it.")
        .arg(vocabulary::visible(filter), places);
}

Result loadFaults(const Database& db, std::vector<Fault>* faults) {
    Tables tables;
    if (Result read = readTables(db, &tables); read.isError())
        return read;
    return loadFaults(db, tables, nullptr, faults);
}

void rowWritten(void* baseline, int, const char* schema, const char* table, qint64) {
    auto* before = static_cast<Baseline*>(baseline);
    ++before->rowsReported; // every file's: the engine counts them all
    static const QByteArray catalogue = table::PotentialFilters.toUtf8();
    if (qstrcmp(schema, "main") == 0 && qstricmp(table, catalogue.constData()) == 0) {
        before->catalogueTouched = true;
        before->names.valid = false;
    }
}

Result foreignTriggers(const Database& db, std::vector<Trigger>* triggers) {
    triggers->clear();
    const QStringList& tables = startTables();
    QStringList marks;
    QVariantList values;
    for (const QString& name : tables) {
        marks << QStringLiteral("?");
        values << name.toLower();
    }
    Result error;
    auto rows =
        db.openQuery(QStringLiteral("SELECT name, tbl_name FROM sqlite_master WHERE type = 'trigger' AND "
                                    "lower(tbl_name) IN (%1) ORDER BY tbl_name, name")
                         .arg(marks.join(QStringLiteral(", "))),
                     values, &error);
    if (!rows)
        return error;
    for (; !rows->atEnd(); rows->next())
        triggers->push_back({rows->textAt(0), rows->textAt(1)});
    return rows->error();
}

Result baseline(const Database& db, Baseline* before) {
    std::vector<Trigger> triggers;
    if (Result read = foreignTriggers(db, &triggers); read.isError())
        return read;
    if (!triggers.empty()) {
        QStringList named;
        for (const Trigger& trigger : triggers)
            named << QStringLiteral("'%1' on '%2'").arg(vocabulary::visible(trigger.name), trigger.table);
        return Result::make(
            dberr::Refused,
            QStringLiteral("The installation '%1' holds %2 %3: another program's code that would run inside "
                           "this write. Nothing was written; remove %4 to write here ('filterctl check' "
                           "names every one).")
                .arg(db.fileName(),
                     triggers.size() == 1 ? QStringLiteral("the trigger") : QStringLiteral("the triggers"),
                     named.join(QStringLiteral(", ")),
                     triggers.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    }
    auto* engine = static_cast<sqlite3*>(db.engineHandle());
    before->changesAtBegin = engine ? sqlite3_total_changes64(engine) : 0;
    before->rowsReported = 0;
    before->catalogueTouched = false;
    before->keys.clear();
    Tables tables;
    if (Result read = readTables(db, &tables); read.isError())
        return read;
    std::vector<Fault> faults;
    if (tables.has(table::PotentialFilters))
        knowCatalogue(db, &before->names);
    const Result read = loadFaults(db, tables, before->names.valid ? &before->names : nullptr, &faults);
    for (const Fault& fault : faults)
        before->keys.insert(fault.key);
    return read;
}

Result check(const Database& db, const Baseline& before) {
    // The names known at the write's start still hold when the engine reported every row written
    // (a catalogue emptied whole is not reported row by row, but counted) and none was the
    // catalogue's, and the tables' layout is the same.
    auto* engine = static_cast<sqlite3*>(db.engineHandle());
    const bool catalogueAsBefore =
        before.names.valid && !before.catalogueTouched && engine &&
        sqlite3_total_changes64(engine) - before.changesAtBegin == before.rowsReported &&
        pragmaValue(db, "PRAGMA main.schema_version") == before.names.schemaVersion;
    Tables tables;
    if (Result read = readTables(db, &tables); read.isError())
        return read;
    std::vector<Fault> faults;
    if (Result read = loadFaults(db, tables, catalogueAsBefore ? &before.names : nullptr, &faults);
        read.isError())
        return read;
    QStringList refusals;
    QStringList filters; // the new placements, a sentence a filter naming each row
    QHash<QString, QStringList> places;
    for (const Fault& fault : faults) {
        if (before.keys.contains(fault.key))
            continue;
        if (fault.place.isEmpty()) { // not a placement
            refusals << fault.text;
            continue;
        }
        if (!places.contains(fault.filter))
            filters << fault.filter;
        places[fault.filter] << fault.place;
    }
    for (const QString& filter : std::as_const(filters))
        refusals << notInCatalogueText(filter, places.value(filter).join(QStringLiteral(", ")));
    if (refusals.isEmpty())
        return {};
    refusals.sort();
    return Result::make(dberr::Refused,
                        refusals.join(QLatin1Char('\n')) + QStringLiteral(" Nothing was written."));
}

} // namespace gate
