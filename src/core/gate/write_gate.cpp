// The check every write passes before its commit; see write_gate.h.

#include "core/gate/write_gate.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/vocabulary/vocabulary.h"

#include <QHash>

namespace gate {

namespace {

using namespace schema;

// The tables the start reads; "Favourite Filters" is created by the first load when it is missing.
const QStringList& neededTables() {
    static const QStringList tables{table::SystemVersions, table::AvailableSystems, table::FilterSets,
                                    table::FilterPlacement, table::PotentialFilters};
    return tables;
}

Result tableFaults(const Database& db, std::vector<Fault>* faults) {
    QStringList read = neededTables();
    read << table::FavouriteFilters;
    for (const QString& name : std::as_const(read)) {
        if (!db.hasTable(name)) {
            if (name != table::FavouriteFilters)
                faults->push_back(
                    {QStringLiteral("missing:") + name,
                     QStringLiteral("'%1' would be missing: the program could not load.").arg(name)});
            continue;
        }
        Result error;
        auto first = db.openQuery(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(sqlName(name)), {}, &error);
        if (!first)
            return error;
        if (first->atEnd())
            faults->push_back({QStringLiteral("empty:") + name,
                               QStringLiteral("'%1' would be empty: the load would end there.").arg(name)});
    }
    return {};
}

// Each placed filter with the rows that place it: one read of the table. An empty or Null name is
// a name the catalogue lacks too ("None" is the empty position).
Result placedFilters(const Database& db, QStringList* names, QHash<QString, QStringList>* places) {
    Result error;
    auto rows = db.openQuery(QStringLiteral("SELECT IFNULL(%1, ''), %2, %3 FROM %4 ORDER BY rowid")
                                 .arg(sqlName(field::IdPotential), sqlName(field::IdAvailable),
                                      sqlName(field::Position), sqlName(table::FilterPlacement)),
                             {}, &error);
    if (!rows)
        return error;
    for (; !rows->atEnd(); rows->next()) {
        const QString name = rows->textAt(0);
        QStringList& where = (*places)[name];
        if (where.isEmpty())
            *names << name;
        where << rows->textAt(1) + QLatin1Char(' ') + rows->textAt(2);
    }
    return rows->error();
}

Result placementFaults(const Database& db, std::vector<Fault>* faults) {
    if (!db.hasTable(table::FilterPlacement) || !db.hasTable(table::PotentialFilters))
        return {}; // already a fault of its own
    QStringList names;
    QHash<QString, QStringList> places;
    if (Result read = placedFilters(db, &names, &places); read.isError())
        return read;
    QStringList lacking;
    Result error;
    if (!catalogue::missingFromCatalogue(db, names, &lacking, &error))
        return error;
    for (const QString& filter : std::as_const(lacking))
        faults->push_back({QStringLiteral("placed:") + filter,
                           notInCatalogueText(filter, places.value(filter).join(QStringLiteral(", ")))});
    return {};
}

} // namespace

QString notInCatalogueText(const QString& filter, const QString& places) {
    return QStringLiteral("The filter '%1' (%2) is not in 'Potential Filters': the program would not start "
                          "with it.")
        .arg(vocabulary::visible(filter), places);
}

Result loadFaults(const Database& db, std::vector<Fault>* faults) {
    faults->clear();
    if (Result read = tableFaults(db, faults); read.isError())
        return read;
    return placementFaults(db, faults);
}

Result baseline(const Database& db, Baseline* before) {
    std::vector<Fault> faults;
    const Result read = loadFaults(db, &faults);
    before->keys.clear();
    for (const Fault& fault : faults)
        before->keys.insert(fault.key);
    return read;
}

Result check(const Database& db, const Baseline& before) {
    std::vector<Fault> faults;
    if (Result read = loadFaults(db, &faults); read.isError())
        return read;
    QStringList refusals;
    for (const Fault& fault : faults)
        if (!before.keys.contains(fault.key))
            refusals << fault.text;
    if (refusals.isEmpty())
        return {};
    refusals.sort();
    return Result::make(dberr::Refused,
                        refusals.join(QLatin1Char('\n')) + QStringLiteral(" Nothing was written."));
}

} // namespace gate
