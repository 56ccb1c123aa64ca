#include "core/inspect/installation_check.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/engine_guard.h"
#include "core/db/schema.h"
#include "core/exchange/store.h"
#include "core/gate/write_gate.h"
#include "core/placement/wheels.h"
#include "core/vocabulary/vocabulary.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <functional>
#include <future>
#include <optional>
#include <sqlite3.h>
#include <unordered_map>
#include <unordered_set>

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
                stop(name, QString(), missingText(name));
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
        const QString favourites = db.tableKind(table::FavouriteFilters);
        if (favourites.isEmpty()) {
            note(table::FavouriteFilters, QString(),
                 QStringLiteral("the table is missing: the first load creates it"));
        } else if (favourites != QLatin1String("table")) {
            stop(table::FavouriteFilters, QString(), missingText(table::FavouriteFilters));
            complete = false;
        }
        return complete;
    }
    QString missingText(const QString& table) const {
        const QString kind = db.tableKind(table);
        if (kind.isEmpty())
            return QStringLiteral("the table is missing: the program cannot load");
        return QStringLiteral("a %1 stands in place of the table: the program reads tables only and cannot "
                              "load")
            .arg(kind);
    }

    // Another program's triggers: the program writes nothing while one is there.
    void triggers() {
        std::vector<gate::Trigger> found;
        if (const Result read = gate::foreignTriggers(db, &found); read.isError()) {
            problem(QString(), QString(), QStringLiteral("the triggers cannot be read: ") + read.description);
            return;
        }
        for (const gate::Trigger& trigger : found)
            problem(trigger.table, vocabulary::visible(trigger.name),
                    QStringLiteral("a trigger: another program's code that would run inside every write to "
                                   "this table; the program writes nothing to the installation while it is "
                                   "there"));
    }

    void integrity(std::optional<QString> verdict) {
        if (!verdict) { // no connection of its own: asked on the database's
            Result error;
            auto cursor = db.openQuery(QStringLiteral("PRAGMA integrity_check"), {}, &error);
            verdict = cursor && !cursor->atEnd() ? cursor->textAt(0)
                                                 : QStringLiteral("no answer (%1)").arg(error.description);
        }
        if (*verdict != QLatin1String("ok"))
            stop(QString(), QString(), QStringLiteral("the engine's integrity check says: %1").arg(*verdict));
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

    // Catalogue names, repeated names, and favourites against them. A catalogue of a million rows
    // is walked through the engine's own interface and kept as hashes of its names: only the names
    // another check asks about, and those whose hash comes twice, are made texts.
    void catalogue(const std::vector<Installation::Wheel>& installed) {
        std::vector<std::pair<QString, QString>> favourites; // name and type, in row order
        bool favouritesRead = !db.hasTable(table::FavouriteFilters);
        if (!favouritesRead) {
            ColumnReader rows(db, table::FavouriteFilters, {field::IdPotential, field::Type});
            while (rows.next())
                favourites.emplace_back(rows.text(0), rows.text(1));
            favouritesRead = !rows.error().isError();
            if (!favouritesRead)
                problem(table::FavouriteFilters, QString(),
                        QStringLiteral("the table cannot be read: ") + rows.error().description);
            else if (favourites.empty())
                stop(table::FavouriteFilters, QString(),
                     QStringLiteral("the table is empty: the load ends there"));
        }
        // The names asked about, by the hash of their bytes; their catalogue types once found.
        QHash<QString, std::optional<QString>> typeOf;
        for (const Installation::Wheel& wheel : installed)
            for (const QString& name : wheel.filters)
                typeOf.insert(name, std::nullopt);
        for (const auto& favourite : favourites)
            typeOf.insert(favourite.first, std::nullopt);
        // A bit per hash in a table of 8 million (1 MB, held in the cache) passes over almost every
        // name no check asks about before the map is looked into.
        constexpr size_t FilterBits = size_t(1) << 23;
        std::vector<quint64> asked(FilterBits / 64);
        std::unordered_multimap<size_t, QString> askedByHash;
        for (auto name = typeOf.cbegin(); name != typeOf.cend(); ++name) {
            const size_t hash = qHash(QByteArrayView(name.key().toUtf8()));
            asked[(hash % FilterBits) / 64] |= quint64(1) << (hash % 64);
            askedByHash.emplace(hash, name.key());
        }
        // Read in two halves at once; each half keeps, in row order, the types of the names asked
        // about, and the first half's come first.
        std::vector<size_t> hashes[2];
        std::vector<std::pair<QString, QString>> typed[2];
        if (!walkNamesInParts([&](int part, QByteArrayView id, const ColumnReader& rows) {
                const size_t hash = qHash(id);
                hashes[part].push_back(hash);
                if (!(asked[(hash % FilterBits) / 64] & (quint64(1) << (hash % 64))))
                    return;
                for (auto [at, end] = askedByHash.equal_range(hash); at != end; ++at)
                    if (QString::fromUtf8(id) == at->second)
                        typed[part].emplace_back(at->second, rows.text(1));
            }))
            return;
        for (const auto& part : typed)
            for (const auto& [name, type] : part)
                if (std::optional<QString>& known = typeOf[name]; !known)
                    known = type;
        hashes[0].insert(hashes[0].end(), hashes[1].begin(), hashes[1].end());
        hashes[1] = {};
        if (hashes[0].empty())
            stop(table::PotentialFilters, QString(),
                 QStringLiteral("the table is empty: the load ends there"));
        repeatedNames(std::move(hashes[0]));
        for (const Installation::Wheel& wheel : installed)
            for (int p = 0; p < wheel.filters.size(); ++p)
                if (!typeOf.value(wheel.filters[p]))
                    stop(table::FilterPlacement,
                         QStringLiteral("%1 position %2").arg(wheel.availableId).arg(p + 1),
                         QStringLiteral("'%1' is not in 'Potential Filters': the program ends at start-up")
                             .arg(wheel.filters[p]));
        for (const auto& [id, type] : favourites) {
            if (id == NoFilter)
                continue;
            const std::optional<QString> catalogueType = typeOf.value(id);
            if (!catalogueType)
                problem(table::FavouriteFilters, id,
                        QStringLiteral(
                            "the favourite is not in 'Potential Filters': users are offered it without a "
                            "code number"));
            else if (*catalogueType != type)
                note(table::FavouriteFilters, id,
                     QStringLiteral(
                         "its \"Type\" '%1' differs from the catalogue's '%2': it is offered by its own type")
                         .arg(type, *catalogueType));
        }
    }

    // Each catalogue row's name and type, in stored order; false (and a problem) when it cannot be read.
    bool walkNames(const std::function<void(QByteArrayView, const ColumnReader&)>& visit) {
        return walkNamesInParts([&](int, QByteArrayView id, const ColumnReader& rows) { visit(id, rows); },
                                false);
    }
    // The same in two halves at once (each in stored order), `visit` called from both threads.
    bool walkNamesInParts(const std::function<void(int, QByteArrayView, const ColumnReader&)>& visit,
                          bool inParts = true) {
        Result error;
        Result partErrors[2];
        const auto walk = [&](ColumnReader& rows, int part) {
            while (rows.next())
                visit(part, rows.utf8(0), rows);
            partErrors[part] = rows.error();
        };
        const QStringList fields{field::IdPotential, field::Type};
        if (inParts) {
            ColumnReader::readInParts(db, table::PotentialFilters, fields, walk, &error);
        } else {
            ColumnReader rows(db, table::PotentialFilters, fields);
            walk(rows, 0);
        }
        for (const Result& partError : partErrors)
            if (partError.isError())
                error = partError;
        if (!error.isError())
            return true;
        problem(table::PotentialFilters, QString(),
                QStringLiteral("the table cannot be read: ") + error.description);
        return false;
    }

    // Every row whose name an earlier row has, in row order: only names whose hash comes twice are
    // compared as texts, on a second walk.
    void repeatedNames(std::vector<size_t> hashes) {
        std::sort(hashes.begin(), hashes.end());
        std::unordered_set<size_t> twice;
        for (size_t i = 1; i < hashes.size(); ++i)
            if (hashes[i] == hashes[i - 1])
                twice.insert(hashes[i]);
        if (twice.empty())
            return;
        QSet<QString> seen;
        walkNames([&](QByteArrayView id, const ColumnReader&) {
            if (!twice.count(qHash(id)))
                return;
            const QString name = QString::fromUtf8(id);
            if (seen.contains(name))
                problem(table::PotentialFilters, name,
                        QStringLiteral("the name is repeated: every window uses the first row"));
            seen.insert(name);
        });
    }
};

// The engine's integrity check on a connection of its own, so that it walks the file's pages while
// the other checks read (150 ms alone at a million rows); none when that connection cannot be had
// (a write-ahead log whose shared memory is out of reach, say). It waits for another program's
// lock as the database's own connection does, and a check that fails is answered, not asked again.
std::optional<QString> integrityAside(const QByteArray& file) {
    sqlite3* aside = engine_guard::openReadOnly(file.constData());
    if (!aside)
        return std::nullopt;
    sqlite3_busy_timeout(aside, Database::BusyTimeoutMs);
    sqlite3_stmt* check = nullptr;
    std::optional<QString> verdict;
    if (sqlite3_prepare_v2(aside, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK)
        verdict = sqlite3_step(check) == SQLITE_ROW
                      ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)))
                      : QStringLiteral("no answer (%1)").arg(QString::fromUtf8(sqlite3_errmsg(aside)));
    sqlite3_finalize(check);
    sqlite3_close(aside);
    return verdict;
}

void runChecks(Checker& checker, PlacementSession& session, const PlacementSession::LoadReport& report) {
    checker.triggers();
    if (!checker.layout())
        return;
    if (report.error.isError()) {
        checker.stop(QString(), QString(), report.error.description);
        return;
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
}

} // namespace

std::vector<Finding> checkInstallation(PlacementSession& session,
                                       const PlacementSession::LoadReport& report) {
    auto* engine = static_cast<sqlite3*>(session.database().engineHandle());
    const char* file = engine ? sqlite3_db_filename(engine, "main") : nullptr;
    std::future<std::optional<QString>> verdict =
        std::async(std::launch::async, integrityAside, QByteArray(file ? file : ""));
    Checker others{session.database(), {}};
    runChecks(others, session, report);
    Checker checker{session.database(), {}};
    checker.integrity(verdict.get()); // its finding comes first
    checker.findings.insert(checker.findings.end(), others.findings.begin(), others.findings.end());
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
    session.setCandidates(false);
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
