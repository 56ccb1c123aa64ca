#include "core/inspect/installation_check.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/inspect/installation_read.h"
#include "core/placement/wheels.h"

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
                problem(name, QString(), QStringLiteral("the table is missing: the program cannot load"));
                complete = false;
                continue;
            }
            const QStringList present = db.fieldNames(name);
            for (const QString& wanted : fields)
                if (!present.contains(wanted, Qt::CaseInsensitive)) {
                    problem(name, wanted, QStringLiteral("the field is missing: the program cannot load"));
                    complete = false;
                }
        }
        if (!db.hasTable(table::FavouriteFilters))
            note(table::FavouriteFilters, QString(),
                 QStringLiteral("the table is missing: the first load creates it"));
        return complete;
    }

    void integrity() {
        auto cursor = db.openQuery(QStringLiteral("PRAGMA integrity_check"), {});
        const QString verdict = cursor && !cursor->atEnd() ? cursor->textAt(0) : QStringLiteral("no answer");
        if (verdict != QLatin1String("ok"))
            problem(QString(), QString(),
                    QStringLiteral("the engine's integrity check says: %1").arg(verdict));
    }

    // Sets the loader leaves out: no wheel number, or a number beyond its kind's buttons.
    void sets() {
        auto cursor = db.openTable(table::FilterSets);
        if (!cursor)
            return;
        if (cursor->atEnd())
            problem(table::FilterSets, QString(),
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

    // Positions the store cannot find: Null, repeated, or outside 1 to 8.
    void positions(const QSet<QString>& installed) {
        auto cursor = db.openTable(table::FilterPlacement);
        if (!cursor)
            return;
        if (cursor->atEnd())
            problem(table::FilterPlacement, QString(),
                    QStringLiteral("the table is empty: the load ends there"));
        QHash<QString, QSet<int>> seen;
        for (; !cursor->atEnd(); cursor->next()) {
            const QString id = cursor->text(field::IdAvailable);
            const QVariant position = cursor->value(field::Position);
            bool number = false;
            const double value = position.toDouble(&number);
            const QString where = QStringLiteral("%1 position %2").arg(id, position.toString());
            if (position.isNull() || !number || value != int(value) || value < 1 ||
                value > wheels::PositionsPerWheel)
                problem(table::FilterPlacement, where,
                        QStringLiteral("the \"Position\" is not 1 to 8: Store never writes this row"));
            else if (seen[id].contains(int(value)))
                problem(
                    table::FilterPlacement, where,
                    QStringLiteral("the position is repeated: Store writes only the first of these rows"));
            else
                seen[id].insert(int(value));
        }
        for (const QString& id : installed)
            if (!seen.contains(id))
                note(table::FilterPlacement, id,
                     QStringLiteral("the wheel has no rows: it shows no positions"));
    }

    // Catalogue names, repeated names, and favourites against them.
    void catalogue(const InstallationRead& read) {
        QHash<QString, QString> typeOf;
        if (auto cursor = db.openTable(table::PotentialFilters)) {
            if (cursor->atEnd())
                problem(table::PotentialFilters, QString(),
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
        for (const Installation::Wheel& wheel : read.installation.installedWheels())
            for (int p = 0; p < wheel.filters.size(); ++p)
                if (!typeOf.contains(wheel.filters[p]))
                    problem(table::FilterPlacement,
                            QStringLiteral("%1 position %2").arg(wheel.availableId).arg(p + 1),
                            QStringLiteral("'%1' is not in 'Potential Filters': the program ends at start-up")
                                .arg(wheel.filters[p]));
        auto favourites =
            db.hasTable(table::FavouriteFilters) ? db.openTable(table::FavouriteFilters) : nullptr;
        if (favourites && favourites->atEnd())
            problem(table::FavouriteFilters, QString(),
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

std::vector<Finding> checkInstallation(Database& db) {
    Checker checker{db, {}};
    checker.integrity();
    if (!checker.layout())
        return checker.findings;
    InstallationRead read;
    DbError error;
    if (!readInstallation(db, &read, &error)) {
        checker.problem(QString(), QString(), error.description);
        return checker.findings;
    }
    if (!read.versionAccepted)
        checker.problem(table::SystemVersions, read.version,
                        QStringLiteral("the version is below 2.05: refused"));
    checker.sets();
    QSet<QString> installed;
    for (const Installation::Wheel& wheel : read.installation.installedWheels())
        installed.insert(wheel.availableId);
    checker.positions(installed);
    checker.catalogue(read);
    return checker.findings;
}
