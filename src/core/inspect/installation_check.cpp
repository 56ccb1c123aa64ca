#include "core/inspect/installation_check.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/exchange/store.h"
#include "core/placement/wheels.h"
#include "core/vocabulary/vocabulary.h"

#include <QHash>
#include <QSet>

namespace {

using namespace schema;

struct Checker {
    Database& db;
    std::vector<Finding> findings;

    void problem(const QString& table, const QString& where, const QString& text) {
        findings.push_back({true, table, where, text});
    }
    void note(const QString& table, const QString& where, const QString& text) {
        findings.push_back({false, table, where, text});
    }
    void stop(const QString& table, const QString& where, const QString& text) {
        findings.push_back({true, table, where, text, true});
    }
    // The table's rows, or a problem saying why they cannot be read.
    std::unique_ptr<Cursor> rowsOf(const QString& table) {
        Result error;
        auto cursor = db.openTable(table, &error);
        if (!cursor)
            problem(table, QString(), QStringLiteral("the table cannot be read: ") + error.description);
        return cursor;
    }

    // Every table and field the program reads; false when one is missing.
    bool layout() {
        const std::vector<std::pair<QString, QStringList>> needed{
            {table::SystemVersions, {field::VersionName}},
            {table::AvailableSystems,
             {field::IdConfiguration, field::IdStand, field::IdScanUnit, field::IdFcsUnit}},
            {table::FilterSets, {field::IdAvailable, field::Status}},
            {table::FilterPlacement, {field::IdAvailable, field::Position, field::IdPotential}},
            {table::PotentialFilters, {field::IdPotential, field::Type, field::Summary, field::CodeNo}},
        };
        bool complete = true;
        for (const auto& [name, fields] : needed) {
            if (!db.hasTable(name)) {
                stop(name, QString(), QStringLiteral("the table is missing: the program cannot load"));
                complete = false;
                continue;
            }
            const QStringList present = db.fieldNames(name);
            for (const QString& wanted : fields)
                if (!present.contains(wanted, Qt::CaseInsensitive)) {
                    stop(name, wanted, QStringLiteral("the field is missing: the program cannot load"));
                    complete = false;
                }
        }
        if (!db.hasTable(table::FavouriteFilters))
            note(table::FavouriteFilters, QString(),
                 QStringLiteral("the table is missing: the first load creates it"));
        return complete;
    }

    void integrity() {
        Result error;
        auto cursor = db.openQuery(QStringLiteral("PRAGMA integrity_check"), {}, &error);
        const QString verdict = cursor && !cursor->atEnd()
                                    ? cursor->textAt(0)
                                    : QStringLiteral("no answer (%1)").arg(error.description);
        if (verdict != QLatin1String("ok"))
            stop(QString(), QString(), QStringLiteral("the engine's integrity check says: %1").arg(verdict));
    }

    // Sets the loader leaves out: no wheel number, or a number beyond its kind's buttons.
    void sets() {
        auto cursor = rowsOf(table::FilterSets);
        if (!cursor)
            return;
        if (cursor->atEnd())
            stop(table::FilterSets, QString(),
                 QStringLiteral("the table is empty: the load ends before any wheel"));
        for (; !cursor->atEnd(); cursor->next()) {
            if (!isUsableStatus(cursor->value(field::Status)))
                continue;
            const QString id = cursor->text(field::IdAvailable);
            const bool numbered = (id.contains(wheel::Emission) || id.contains(wheel::FilterWheel) ||
                                   id.contains(wheel::SecondarySplitter)) &&
                                  id != wheel::MainSplitter;
            if (!numbered)
                continue;
            const auto number = wheels::wheelNumber(id);
            if (!number)
                problem(table::FilterSets, id,
                        QStringLiteral("the ID has no wheel number: the load leaves it out"));
            else if (!fitsAButton(id, *number))
                problem(table::FilterSets, id,
                        QStringLiteral("wheel number %1 has no button: the load leaves it out").arg(*number));
        }
    }
    static bool fitsAButton(const QString& id, int number) {
        using wheels::SetKind;
        const bool fcs = id.contains(wheel::Fcs) && id.contains(wheel::Emission);
        for (SetKind kind :
             {SetKind::Emission, SetKind::FcsEmission, SetKind::Cube, SetKind::SecondarySplitter}) {
            const bool applies =
                (kind == SetKind::Emission && id.contains(wheel::Emission)) ||
                (kind == SetKind::FcsEmission && fcs) ||
                (kind == SetKind::Cube && id.contains(wheel::FilterWheel)) ||
                (kind == SetKind::SecondarySplitter && id.contains(wheel::SecondarySplitter));
            if (applies && (wheels::buttonOf(kind, number, false) || wheels::buttonOf(kind, number, true)))
                return true;
        }
        return false;
    }

    // Rows the windows show at another position than their "Position" says: Store never writes them.
    void positions(const std::vector<Installation::Wheel>& installed) {
        auto cursor = rowsOf(table::FilterPlacement);
        if (cursor && cursor->atEnd())
            stop(table::FilterPlacement, QString(),
                 QStringLiteral("the table is empty: the load ends there"));
        QHash<QString, int> rowsOf;
        QHash<QString, QStringList> beyond; // each wheel's rows after its eighth: the load stops at eight
        for (; cursor && !cursor->atEnd(); cursor->next()) {
            const QString id = cursor->text(field::IdAvailable);
            if (++rowsOf[id] > wheels::PositionsPerWheel)
                beyond[id] << QStringLiteral("row %1 with \"Position\" %2 '%3'")
                                  .arg(rowsOf[id])
                                  .arg(cursor->value(field::Position).isNull()
                                           ? QStringLiteral("Null")
                                           : cursor->text(field::Position),
                                       vocabulary::visible(cursor->text(field::IdPotential)));
        }
        for (const Installation::Wheel& wheel : installed) {
            if (!rowsOf.contains(wheel.availableId))
                note(table::FilterPlacement, wheel.availableId,
                     QStringLiteral("the wheel has no rows: it shows no positions"));
            for (const QString& row : beyond.value(wheel.availableId))
                problem(
                    table::FilterPlacement, wheel.availableId,
                    QStringLiteral("the %1 comes after the wheel's eighth: the windows never show it, Store "
                                   "never writes it")
                        .arg(row));
            QSet<QString> seen;
            for (int p = 0; p < int(wheel.rows.size()); ++p) {
                const QVariant& position = wheel.rows[size_t(p)].position;
                const QString where = QStringLiteral("%1 position %2").arg(wheel.availableId).arg(p + 1);
                const QString shown = QStringLiteral("the windows show the row %1 at position %2, ")
                                          .arg(rowName(position))
                                          .arg(p + 1);
                if (matchesPosition(position, p + 1))
                    seen.insert(position.toString());
                else if (position.isNull() || !isNumber(position))
                    problem(table::FilterPlacement, where,
                            shown +
                                QStringLiteral("whose \"Position\" is not a number: Store never writes it"));
                else if (seen.contains(position.toString()))
                    problem(table::FilterPlacement, where,
                            shown + QStringLiteral("which repeats a position: Store never writes it"));
                else
                    problem(table::FilterPlacement, where,
                            shown +
                                QStringLiteral("out of order: Store never writes it; put the wheel's rows in "
                                               "ascending \"Position\" from 1"));
            }
        }
    }
    static bool isNumber(const QVariant& position) {
        bool number = false;
        position.toDouble(&number);
        return number;
    }
    static QString rowName(const QVariant& position) {
        return position.isNull() ? QStringLiteral("with a Null \"Position\"")
                                 : QStringLiteral("with \"Position\" %1").arg(position.toString());
    }

    // Catalogue names, repeated names, and favourites against them.
    void catalogue(const std::vector<Installation::Wheel>& installed) {
        QHash<QString, QString> typeOf;
        if (auto cursor = rowsOf(table::PotentialFilters)) {
            if (cursor->atEnd())
                stop(table::PotentialFilters, QString(),
                     QStringLiteral("the table is empty: the load ends there"));
            for (; !cursor->atEnd(); cursor->next()) {
                const QString id = cursor->text(field::IdPotential);
                if (typeOf.contains(id))
                    problem(table::PotentialFilters, id,
                            QStringLiteral("the name is repeated: every window uses the first row"));
                else
                    typeOf.insert(id, cursor->text(field::Type));
            }
        }
        for (const Installation::Wheel& wheel : installed)
            for (int p = 0; p < wheel.filters.size(); ++p)
                if (!typeOf.contains(wheel.filters[p]))
                    stop(table::FilterPlacement,
                         QStringLiteral("%1 position %2").arg(wheel.availableId).arg(p + 1),
                         QStringLiteral("'%1' is not in 'Potential Filters': the program ends at start-up")
                             .arg(wheel.filters[p]));
        auto favourites = db.hasTable(table::FavouriteFilters) ? rowsOf(table::FavouriteFilters) : nullptr;
        if (favourites && favourites->atEnd())
            stop(table::FavouriteFilters, QString(),
                 QStringLiteral("the table is empty: the load ends there"));
        for (; favourites && !favourites->atEnd(); favourites->next()) {
            const QString id = favourites->text(field::IdPotential);
            if (id == NoFilter)
                continue;
            if (!typeOf.contains(id))
                problem(table::FavouriteFilters, id,
                        QStringLiteral(
                            "the favourite is not in 'Potential Filters': users are offered it without a "
                            "code number"));
            else if (typeOf.value(id) != favourites->text(field::Type))
                note(table::FavouriteFilters, id,
                     QStringLiteral(
                         "its \"Type\" '%1' differs from the catalogue's '%2': it is offered by its own type")
                         .arg(favourites->text(field::Type), typeOf.value(id)));
        }
    }
};

} // namespace

std::vector<Finding> checkInstallation(PlacementSession& session,
                                       const PlacementSession::LoadReport& report) {
    Checker checker{session.database(), {}};
    checker.integrity();
    if (!checker.layout())
        return checker.findings;
    if (report.error.isError()) {
        checker.stop(QString(), QString(), report.error.description);
        return checker.findings;
    }
    if (!report.versionAccepted)
        checker.stop(table::SystemVersions, report.version,
                     QStringLiteral("the version is below %1: the program refuses the database")
                         .arg(startup::MinVersionText));
    checker.sets();
    const std::vector<Installation::Wheel> installed =
        report.result ? session.installation().installedWheels() : std::vector<Installation::Wheel>();
    checker.positions(installed);
    checker.catalogue(installed);
    return checker.findings;
}

QString findingLine(const Finding& finding) {
    QStringList place;
    if (!finding.table.isEmpty())
        place << QLatin1Char('"') + finding.table + QLatin1Char('"');
    if (!finding.where.isEmpty())
        place << finding.where;
    return (finding.problem ? QStringLiteral("problem: ") : QStringLiteral("note: ")) +
           place.join(QStringLiteral(", ")) + (place.isEmpty() ? QString() : QStringLiteral(": ")) +
           finding.text;
}

bool checkFile(const QString& path, std::vector<Finding>* findings, Result* error) {
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false); // checking never writes
    const PlacementSession::LoadReport report = session.start(path, Database::Access::ReadOnly);
    if (!session.database().isOpen() || report.error.code == dberr::Locked) {
        *error = report.error;
        return false;
    }
    *findings = checkInstallation(session, report);
    return true;
}

QStringList checkFileLines(const QString& path) {
    std::vector<Finding> findings;
    Result error;
    if (!checkFile(path, &findings, &error))
        return {error.description};
    QStringList lines;
    for (const Finding& finding : findings)
        lines << findingLine(finding);
    if (lines.isEmpty())
        lines << QStringLiteral("no findings");
    return lines;
}
