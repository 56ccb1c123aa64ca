// The check every write passes before its commit; see write_gate.h.

#include "core/gate/write_gate.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"

namespace gate {

namespace {

// The placed filters (empty positions aside) that are no catalogue row: one read of each table.
Result missingPlaced(const Database& db, QSet<QString>* missing) {
    Result error;
    auto placed =
        db.openQuery(QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %1 IS NOT NULL AND %1 <> ''")
                         .arg(sqlName(schema::field::IdPotential), sqlName(schema::table::FilterPlacement)),
                     {}, &error);
    if (!placed)
        return error;
    QStringList names;
    for (; !placed->atEnd(); placed->next())
        names << placed->textAt(0);
    if (placed->error().isError())
        return placed->error();
    QStringList lacking;
    if (!catalogue::missingFromCatalogue(db, names, &lacking, &error))
        return error;
    *missing = QSet<QString>(lacking.begin(), lacking.end());
    return {};
}

// "EF1 3, EF3 4": the rows that place the filter.
QString placesOf(const Database& db, const QString& filter) {
    Result error;
    auto rows =
        db.openQuery(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ? ORDER BY rowid")
                         .arg(sqlName(schema::field::IdAvailable), sqlName(schema::field::Position),
                              sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdPotential)),
                     {filter}, &error);
    QStringList places;
    for (; rows && !rows->atEnd(); rows->next())
        places << rows->textAt(0) + QLatin1Char(' ') + rows->textAt(1);
    return places.join(QStringLiteral(", "));
}

} // namespace

Result baseline(const Database& db, Baseline* before) {
    return missingPlaced(db, &before->missing);
}

Result check(const Database& db, const Baseline& before) {
    QSet<QString> after;
    const Result read = missingPlaced(db, &after);
    if (read.isError())
        return read;
    QStringList refusals;
    for (const QString& filter : std::as_const(after))
        if (!before.missing.contains(filter))
            refusals << QStringLiteral(
                            "'%1' (placed in %2) would no longer be in 'Potential Filters': the program "
                            "would not start.")
                            .arg(filter, placesOf(db, filter));
    refusals.sort();
    if (refusals.isEmpty())
        return {};
    return Result::make(dberr::Refused,
                        refusals.join(QLatin1Char('\n')) + QStringLiteral(" Nothing was written."));
}

} // namespace gate
