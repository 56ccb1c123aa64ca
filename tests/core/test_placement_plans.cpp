#include "support/filterctl_run.h"
#include "support/test_support.h"

#include "cli/filterctl.h"
#include "core/catalogue/catalogue_tables.h"
#include "core/db/schema.h"
#include "core/exchange/package.h"
#include "core/exchange/workbook.h"
#include "core/exchange/xlsx_writer.h"
#include "core/history/history.h"
#include "core/inspect/installation_check.h"
#include "core/inspect/package_apply.h"
#include "core/inspect/placement_export.h"
#include "core/session/placement_session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <array>

// The rules of every write, checked over generated wheel layouts (rows in order, out of order,
// with gaps, repeated, Null and text "Position", other wheels' rows in between): a store writes
// only what changed, only into the rows shown, and a plan announced is exactly what is written;
// and no write, by any path, stops an installation from loading.
class TestPlacementPlans : public QObject {
    Q_OBJECT
private slots:
    void holdsForGeneratedLayouts();
    void noWriteStopsTheLoad();
    void checkNamesEveryCatalogueFault();
};

using namespace testing;

namespace {

constexpr quint32 Seed = 20261206;
constexpr int Layouts = 200;
constexpr int OmeLayouts = 20;

struct WheelKind {
    const char* id;
    QStringList filters; // what its positions may hold
};

const std::vector<WheelKind>& kinds() {
    static const std::vector<WheelKind> list{
        {"EF1", {"None", "BP 1", "BP 2", "LP 1", "KP 1"}},
        {"EF2", {"None", "BP 1", "BP 3", "LP 2", "KP 1"}},
        {"HT", {"None", "HFT 1", "HFT 2", "NT 1"}},
        {"NT1", {"None", "NFT 1", "NFT 2", "NFT 3"}},
        {"FW1", {"None", "Cube 1", "Cube 2"}},
    };
    return list;
}

QString typeOf(const QString& name) {
    if (name == QLatin1String("None"))
        return QString();
    if (name.startsWith(QLatin1String("Cube")))
        return QStringLiteral("FW1");
    return name.section(QLatin1Char(' '), 0, 0);
}

// The "Position" values of a wheel's rows, by one of the patterns a database meets.
QVariantList positions(QRandomGenerator& random, int count) {
    QVariantList values;
    for (int p = 1; p <= count; ++p)
        values << p;
    switch (random.bounded(6)) {
    case 1:
        std::shuffle(values.begin(), values.end(), std::mt19937(random.generate()));
        break;
    case 2: // a gap
        for (int p = random.bounded(count + 1); p < count; ++p)
            values[p] = values[p].toInt() + 1;
        break;
    case 3: // a repeated position
        if (count > 1)
            values[random.bounded(1, count)] = values[random.bounded(count)];
        break;
    case 4:
        if (count > 0)
            values[random.bounded(count)] = QVariant();
        break;
    case 5:
        if (count > 0)
            values[random.bounded(count)] = QStringLiteral("x");
        break;
    }
    return values;
}

InstallationRows generate(QRandomGenerator& random) {
    InstallationRows layout;
    QList<std::tuple<QString, QVariant, QString>> rows;
    for (const WheelKind& kind : kinds()) {
        if (random.bounded(5) == 0)
            continue;
        layout.sets.append({kind.id, QVariant()});
        const int count = random.bounded(10); // up to one more than a wheel shows
        const QVariantList values = positions(random, count);
        for (const QVariant& position : values)
            rows.append({kind.id, position, kind.filters[random.bounded(kind.filters.size())]});
    }
    if (random.bounded(2)) // other wheels' rows in between
        std::shuffle(rows.begin(), rows.end(), std::mt19937(random.generate()));
    layout.placements = rows;
    QSet<QString> names;
    for (const WheelKind& kind : kinds())
        for (const QString& name : kind.filters)
            if (!names.contains(name)) {
                names.insert(name);
                layout.catalogue.append({name, typeOf(name), QStringLiteral("code ") + name});
            }
    layout.favourites = {{"None", " "}};
    return layout;
}

// Rows that differ, by index in stored order (rows are never added or removed here).
QStringList changedRows(const QStringList& before, const QStringList& after) {
    QStringList changed;
    for (int i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i] != after[i])
            changed
                << QStringLiteral("%1:%2>%3").arg(i).arg(before[i].section('|', 2), after[i].section('|', 2));
    return changed;
}

// The same for announced writes: row i holds the rowid i + 1.
QStringList announced(const std::vector<WheelStorePlan>& plans) {
    QStringList changes;
    for (const WheelStorePlan& plan : plans)
        for (const WheelStorePlan::Write& write : plan.changes())
            changes << QStringLiteral("%1:%2>%3").arg(write.rowid - 1).arg(write.now, write.chosen);
    changes.sort();
    return changes;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

const std::vector<PlacementRow>& rowsOf(const PlacementSession& session, int button) {
    return session.shownRows(button);
}

} // namespace

void TestPlacementPlans::holdsForGeneratedLayouts() {
    QRandomGenerator random(Seed);
    QTemporaryDir dir;
    int layouts = 0;
    int edited = 0;
    int packages = 0;
    // The schema is someone else's file: without it the layouts are still checked, the export not.
    const QString omeSchema = testing::referenceFile("ome/ome-2016-06.xsd");
    if (!QFile::exists(omeSchema))
        qInfo("%s", qPrintable(testing::missingReference(omeSchema)));
    for (int n = 0; n < Layouts; ++n) {
        const QString file = dir.filePath(QStringLiteral("layout%1.sqlite").arg(n));
        createDatabase(file, generate(random).statements());
        PlacementSession session(startup::Variant::Service);
        const PlacementSession::LoadReport report = session.start(file);
        QVERIFY2(report.complete(), qPrintable(report.error.description));
        const auto noQuestion = [](const QString&) { return false; };
        const std::vector<Installation::Wheel> installed = session.installation().installedWheels();
        const QStringList before = placementRows(file);

        // (1) Storing what is shown writes nothing.
        for (const Installation::Wheel& wheel : installed)
            QVERIFY(session.storeWheel(wheel.button, wheel.filters, noQuestion).message.isEmpty());
        QCOMPARE(placementRows(file), before);

        // (2) Editing k positions changes exactly the rows shown there whose "Position" is theirs.
        for (const Installation::Wheel& wheel : installed) {
            if (wheel.filters.isEmpty())
                continue;
            const WheelKind& kind = *std::find_if(kinds().begin(), kinds().end(), [&](const WheelKind& k) {
                return wheel.availableId == k.id;
            });
            QStringList chosen = wheel.filters;
            QStringList expected;
            const std::vector<PlacementRow> shown = rowsOf(session, wheel.button);
            for (int p = 0; p < chosen.size(); ++p) {
                if (random.bounded(2))
                    continue;
                QString other;
                do
                    other = kind.filters[random.bounded(kind.filters.size())];
                while (other == chosen[p]);
                chosen[p] = other;
                ++edited;
                if (matchesPosition(shown[size_t(p)].position, p + 1))
                    expected << QStringLiteral("%1:%2>%3")
                                    .arg(shown[size_t(p)].rowid - 1)
                                    .arg(wheel.filters[p], other);
            }
            const QStringList was = placementRows(file);
            const PlacementSession::StoreReport stored = session.storeWheel(wheel.button, chosen, noQuestion);
            QVERIFY2(stored.stored, qPrintable(stored.message));
            QCOMPARE(sorted(changedRows(was, placementRows(file))), sorted(expected));
        }

        // (3) The placement exported as a package and applied back changes nothing.
        const std::vector<ExportedWheel> wheels = exportedWheels(session.database(), session.installation());
        const QString exported = dir.filePath(QStringLiteral("export%1.xlsx").arg(n));
        QStringList leftOut;
        Result error;
        QVERIFY2(writePackageWorkbook(exported, QStringLiteral("P"), wheels, &leftOut, &error),
                 qPrintable(error.description));
        {
            auto workbook = openWorkbook(exported, &error);
            QVERIFY2(workbook, qPrintable(error.description));
            PackageApplyPlan plan;
            QVERIFY(planPackageApply(session.database(), *workbook, 1, {}, &plan, nullptr));
            QVERIFY2(plan.refusals.isEmpty(), qPrintable(plan.refusals.join('\n')));
            QVERIFY2(plan.changes.empty(),
                     qPrintable(QString("layout %1: %2").arg(n).arg(announced(plan.wheels).join(' '))));
        }

        // (3b) The first layouts' OME-XML export is what the schema accepts.
        if (n < OmeLayouts && QFile::exists(omeSchema)) {
            const QString xml = dir.filePath(QStringLiteral("layout%1.ome.xml").arg(n));
            QFile out(xml);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(omeInstrument(session.database(), QStringLiteral("Stand & <S>"), wheels));
            out.close();
            QProcess lint;
            lint.start(QStringLiteral("xmllint"), {"--noout", "--nonet", "--schema", omeSchema, xml});
            QVERIFY(lint.waitForFinished(30000));
            QVERIFY2(lint.exitCode() == 0, qPrintable(lint.readAllStandardError()));
        }

        // (4) A package with empty cells: what the preview announces is what Store writes, through
        // the session and through filterctl on a copy.
        SheetCells cells;
        QStringList ids;
        int upper = 0;
        int lower = 0;
        for (const Installation::Wheel& wheel : installed) {
            const bool splitter = wheel.availableId == "HT" || wheel.availableId == "NT1";
            if ((!splitter && !wheel.availableId.startsWith("EF")) || wheel.rows.empty())
                continue;
            const WheelKind& kind = *std::find_if(kinds().begin(), kinds().end(), [&](const WheelKind& k) {
                return wheel.availableId == k.id;
            });
            const int header = splitter ? 1 : 11;
            const int column = 2 * (splitter ? upper++ : lower++) + 1;
            cells.insert({header, column}, wheel.availableId);
            ids << wheel.availableId;
            for (int q = 0; q < wheels::PositionsPerWheel; ++q)
                if (random.bounded(3))
                    cells.insert({header + 1 + q, column},
                                 QStringLiteral("%1. ").arg(q + 1) +
                                     kind.filters[random.bounded(kind.filters.size())]);
        }
        if (ids.isEmpty())
            continue;
        const QString package = dir.filePath(QStringLiteral("package%1.xlsx").arg(n));
        QVERIFY(writeXlsx(package, QStringLiteral("P"), cells, &error));
        const QString copy = dir.filePath(QStringLiteral("copy%1.sqlite").arg(n));
        QVERIFY(QFile::copy(file, copy));
        auto workbook = openWorkbook(package, &error);
        QVERIFY2(workbook, qPrintable(error.description));
        const Package read = readPackage(*workbook, 1);
        std::vector<WheelStorePlan> plans;
        for (int k = 0; k < read.wheelIds.size(); ++k) {
            if (read.wheelIds[k].isEmpty())
                continue;
            WheelStorePlan plan;
            QVERIFY(session.planPackageWheel(
                read.wheelIds[k], readPackageWheel(*workbook, 1, read, k).filters, &plan, nullptr));
            plans.push_back(plan);
        }
        const QStringList was = placementRows(file);
        QCOMPARE(session.storePlans(plans).outcome, StoreResult::Outcome::Stored);
        const QStringList written = sorted(changedRows(was, placementRows(file)));
        QCOMPARE(written, announced(plans));

        const Run applied = inProcess({"--db", copy, "apply", package});
        QCOMPARE(applied.status, 0);
        QCOMPARE(sorted(changedRows(was, placementRows(copy))), written);
        QCOMPARE(applied.out.count(QStringLiteral(" -> ")), written.size());
        ++packages;
        ++layouts;
    }
    qInfo("%d layouts, %d positions edited, %d packages applied through the session and filterctl", Layouts,
          edited, packages);
    QVERIFY(layouts > Layouts / 2);
}

namespace {

constexpr int GateLayouts = 150;
constexpr int WritesPerLayout = 6;

// Names a change set draws from: the wheels' filters, a spare in the catalogue, and names the
// catalogue lacks (an empty one among them).
QStringList drawnNames(const WheelKind& kind) {
    return kind.filters + QStringList{"Spare 1", "XQ 999", ""};
}

// What the invariant compares: whether the service start completes, and check's load-stopping
// findings.
struct LoadState {
    bool starts = false;
    QSet<QString> stops;
};

LoadState loadState(const QString& file) {
    LoadState state;
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false);
    state.starts = session.start(file, Database::Access::ReadOnly).complete();
    std::vector<Finding> findings;
    Result error;
    if (!checkFile(file, &findings, &error))
        state.stops.insert(error.description);
    for (const Finding& finding : findings)
        if (finding.stopsLoad)
            state.stops.insert(findingLine(finding));
    return state;
}

// One write by each path the program has; each returns whether it was refused (or failed).
class Writer {
public:
    Writer(const QString& file, const QTemporaryDir& dir, QRandomGenerator& random)
        : m_file(file), m_dir(dir), m_random(random) {}

    static constexpr int Paths = 7;
    static QString pathName(int path) {
        const char* const names[Paths] = {"session Store", "package plan", "filterctl apply",
                                          "edited plan",   "undo",         "catalogue removal",
                                          "favourites"};
        return QString::fromLatin1(names[path]);
    }

    bool any(int path) {
        switch (path) {
        case 0:
            return sessionStore();
        case 1:
            return packagePlan();
        case 2:
            return inProcess({"--db", m_file, "apply", package()}).status != 0;
        case 3:
            return editedPlan();
        case 4:
            return undo();
        case 5:
            return catalogueRemoval();
        default:
            return favourites();
        }
    }

private:
    const WheelKind& anyKind() { return kinds()[size_t(m_random.bounded(int(kinds().size())))]; }
    QString anyName(const WheelKind& kind) {
        const QStringList names = drawnNames(kind);
        return names[m_random.bounded(names.size())];
    }
    QStringList anyFilters(const WheelKind& kind) {
        QStringList filters;
        for (int q = 0; q < wheels::PositionsPerWheel; ++q)
            filters << (m_random.bounded(3) ? anyName(kind) : QString());
        return filters;
    }

    bool sessionStore() {
        PlacementSession session(startup::Variant::Service);
        session.setWriteFavourites(false);
        if (!session.start(m_file).complete())
            return true;
        const std::vector<Installation::Wheel> installed = session.installation().installedWheels();
        if (installed.empty())
            return true;
        const Installation::Wheel& wheel = installed[size_t(m_random.bounded(int(installed.size())))];
        const WheelKind& kind = *std::find_if(kinds().begin(), kinds().end(),
                                              [&](const WheelKind& k) { return wheel.availableId == k.id; });
        QStringList chosen = wheel.filters;
        for (QString& filter : chosen)
            if (m_random.bounded(2))
                filter = anyName(kind);
        return !session.storeWheel(wheel.button, chosen, [](const QString&) { return true; }).stored;
    }

    bool packagePlan() {
        PlacementSession session(startup::Variant::Service);
        session.setWriteFavourites(false);
        const WheelKind& kind = anyKind();
        WheelStorePlan plan;
        Result error;
        if (!session.database().open(m_file, &error) ||
            !session.planPackageWheel(kind.id, anyFilters(kind), &plan, &error))
            return true;
        return session.storePlans({plan}).outcome != StoreResult::Outcome::Stored;
    }

    QString package() {
        SheetCells cells;
        const WheelKind& kind = kinds()[size_t(m_random.bounded(2))]; // an emission wheel
        cells.insert({11, 1}, kind.id);
        const QStringList filters = anyFilters(kind);
        for (int q = 0; q < filters.size(); ++q)
            if (!filters[q].isEmpty())
                cells.insert({12 + q, 1}, QStringLiteral("%1. %2").arg(q + 1).arg(filters[q]));
        const QString path = m_dir.filePath(QStringLiteral("package%1.xlsx").arg(++m_files));
        Result error;
        if (!writeXlsx(path, QStringLiteral("P"), cells, &error))
            qFatal("%s", qPrintable(error.description));
        return path;
    }

    // A reviewed plan, edited at random before it is applied.
    bool editedPlan() {
        const QString plan = m_dir.filePath(QStringLiteral("plan%1.json").arg(++m_files));
        if (inProcess({"--db", m_file, "apply", "--dry-run", "--save-plan", plan, package()}).status != 0)
            return true;
        QFile file(plan);
        file.open(QIODevice::ReadOnly);
        QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        QJsonArray wheels = root.value("plan").toArray();
        if (!wheels.isEmpty()) {
            QJsonObject wheel = wheels[0].toObject();
            QJsonArray writes = wheel.value("writes").toArray();
            if (!writes.isEmpty()) {
                const int w = m_random.bounded(int(writes.size()));
                QJsonObject write = writes[w].toObject();
                const char* const keys[] = {"chosen", "now", "rowid", "position"};
                const QString key = QString::fromLatin1(keys[m_random.bounded(4)]);
                if (key == "chosen" || key == "now")
                    write[key] = anyName(anyKind());
                else
                    write[key] = m_random.bounded(1, 12);
                writes[w] = write;
            }
            wheel["writes"] = writes;
            wheels[0] = wheel;
        }
        root["plan"] = wheels;
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QJsonDocument(root).toJson());
        file.close();
        return inProcess({"--db", m_file, "apply", "--plan", plan}).status != 0;
    }

    bool undo() {
        std::vector<history::Record> records;
        Result error;
        if (!history::readRecords(history::pathFor(m_file), {}, &records, &error) || records.empty())
            return true;
        const qint64 id = records[size_t(m_random.bounded(int(records.size())))].id;
        return inProcess({"--db", m_file, "undo", "--force", QString::number(id)}).status != 0;
    }

    // Past the catalogue window's own rule (a placed filter is not removed): only the gate stands.
    bool catalogueRemoval() {
        Database db;
        bool found = false;
        Result error;
        return !db.open(m_file, &error) ||
               !catalogue::deleteFirstNamed(db, schema::table::PotentialFilters, anyName(anyKind()), &found,
                                            &error) ||
               !found;
    }

    bool favourites() {
        PlacementSession session(startup::Variant::User);
        session.setWriteFavourites(false);
        Result error;
        if (!session.database().open(m_file, &error))
            return true;
        CatalogueService& catalogue = session.catalogue();
        const QString name = m_random.bounded(3) ? anyName(anyKind()) : schema::NoFilter;
        const Result result = m_random.bounded(2) ? catalogue.addFavourite(name, {}, typeOf(name))
                                                  : catalogue.removeFavourite(name);
        return result.isError();
    }

    const QString& m_file;
    const QTemporaryDir& m_dir;
    QRandomGenerator& m_random;
    int m_files = 0;
};

} // namespace

void TestPlacementPlans::noWriteStopsTheLoad() {
    history::recordEveryWrite(QStringLiteral("test"));
    QRandomGenerator random(Seed + 1);
    QTemporaryDir dir;
    std::array<int, Writer::Paths> tried{};
    std::array<int, Writer::Paths> refused{};
    int starting = 0;
    for (int n = 0; n < GateLayouts; ++n) {
        InstallationRows layout = generate(random);
        layout.catalogue.append(
            {QStringLiteral("Spare 1"), QStringLiteral("BP"), QStringLiteral("code Spare 1")});
        if (random.bounded(2))
            layout.favourites.append({QStringLiteral("BP 1"), QStringLiteral("BP")});
        if (random.bounded(8) == 0) // an installation that already does not load
            layout.placements.append({QStringLiteral("EF1"), 1, QStringLiteral("Ghost")});
        const QString file = dir.filePath(QStringLiteral("gate%1.sqlite").arg(n));
        createDatabase(file, layout.statements());
        Writer writer(file, dir, random);
        LoadState before = loadState(file);
        starting += before.starts ? 1 : 0;
        for (int k = 0; k < WritesPerLayout; ++k) {
            const int path = random.bounded(Writer::Paths);
            const QByteArray bytes = digest(file);
            const bool wasRefused = writer.any(path);
            ++tried[size_t(path)];
            refused[size_t(path)] += wasRefused ? 1 : 0;
            const LoadState after = loadState(file);
            const QString where = QStringLiteral("layout %1, write %2 by path %3").arg(n).arg(k).arg(path);
            QVERIFY2(!wasRefused || digest(file) == bytes, qPrintable(where + ": refused, yet written"));
            QVERIFY2(!before.starts || after.starts, qPrintable(where + ": no longer starts"));
            const QSet<QString> added = after.stops - before.stops;
            QVERIFY2(added.isEmpty(), qPrintable(where + ": " + QStringList(added.values()).join('\n')));
            before = after;
        }
    }
    QStringList counts;
    for (int path = 0; path < Writer::Paths; ++path)
        counts << QStringLiteral("%1 %2 of %3")
                      .arg(Writer::pathName(path))
                      .arg(refused[size_t(path)])
                      .arg(tried[size_t(path)]);
    qInfo("%d layouts (%d starting); writes refused or failed, of those tried: %s", GateLayouts, starting,
          qPrintable(counts.join(QStringLiteral(", "))));
    for (int path = 0; path < Writer::Paths; ++path)
        QVERIFY2(refused[size_t(path)] > 0 && refused[size_t(path)] < tried[size_t(path)],
                 qPrintable(Writer::pathName(path)));
}

// check's catalogue findings on generated catalogues with repeated names, favourites missing from
// it or of another type, and a placed filter taken out: each as a plain walk of the rows expects,
// in row order.
void TestPlacementPlans::checkNamesEveryCatalogueFault() {
    QRandomGenerator random(Seed + 2);
    QTemporaryDir dir;
    int repeats = 0, favourites = 0;
    for (int n = 0; n < 40; ++n) {
        InstallationRows layout = generate(random);
        for (int r = random.bounded(4); r > 0; --r) { // a name again, with another type
            const auto row = layout.catalogue[random.bounded(layout.catalogue.size())];
            layout.catalogue.insert(random.bounded(layout.catalogue.size() + 1),
                                    {std::get<0>(row), "LP", QStringLiteral("again")});
        }
        QStringList expected;
        QHash<QString, QString> typeOf;
        for (const auto& [name, type, code] : layout.catalogue) {
            if (typeOf.contains(name))
                expected << QStringLiteral("problem: \"Potential Filters\", %1: the name is repeated: every "
                                           "window uses the first row")
                                .arg(name);
            else
                typeOf.insert(name, type);
        }
        repeats += int(expected.size());
        for (int f = random.bounded(6); f > 0; --f) {
            const QString name = random.bounded(3) == 0
                                     ? QStringLiteral("Gone %1").arg(f)
                                     : std::get<0>(layout.catalogue[random.bounded(layout.catalogue.size())]);
            layout.favourites.append({name, random.bounded(2) ? typeOf.value(name) : QStringLiteral("NF")});
        }
        for (const auto& [name, type] : layout.favourites) {
            if (name == "None")
                continue;
            ++favourites;
            if (!typeOf.contains(name))
                expected << QStringLiteral(
                                "problem: \"Favourite Filters\", %1: the favourite is not in 'Potential "
                                "Filters': users are offered it without a code number")
                                .arg(name);
            else if (typeOf.value(name) != type.toString())
                expected << QStringLiteral(
                                "note: \"Favourite Filters\", %1: its \"Type\" '%2' differs from the "
                                "catalogue's '%3': it is offered by its own type")
                                .arg(name, type.toString(), typeOf.value(name));
        }
        const QString file = dir.filePath(QStringLiteral("catalogue%1.sqlite").arg(n));
        createDatabase(file, layout.statements());
        std::vector<Finding> findings;
        Result error;
        QVERIFY(checkFile(file, &findings, &error));
        QStringList found;
        for (const Finding& finding : findings)
            if ((finding.table == "Potential Filters" || finding.table == "Favourite Filters") &&
                !finding.stopsLoad)
                found << findingLine(finding);
        QCOMPARE(found, expected);
    }
    QVERIFY(repeats > 20 && favourites > 60); // the faults were there to find
}

QTEST_GUILESS_MAIN(TestPlacementPlans)
#include "test_placement_plans.moc"
