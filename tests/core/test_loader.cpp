#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/placement/loader.h"
#include "support/test_support.h"

#include <QtTest>

using testing::InstallationRows;

class TestLoader : public QObject {
    Q_OBJECT
private slots:
    void enablesTheButtonsOfInstalledSets();
    void endsOnBrokenData();
    void readsPlacementsTypesAndCompletesFavourites();
    void buildsParallelCandidateLists();
    void loadsTheFcsUnit();
};

namespace {

struct Loaded {
    QTemporaryDir dir;
    Database db;
    Installation installation;
    WheelBoard& board = installation.board;
    PlacementState& state = installation.placement;
    Candidates& candidates = installation.candidates;
    LoadResult result;

    std::vector<int> enabled() const {
        std::vector<int> buttons;
        for (int b = 0; b < wheels::ButtonCount; ++b)
            if (board.buttons[b].enabled)
                buttons.push_back(b);
        return buttons;
    }
    QStringList favourites() {
        QStringList rows;
        auto cursor = db.openTable("Favourite Filters", nullptr);
        for (; cursor && !cursor->atEnd(); cursor->next())
            rows << cursor->text("ID Potential") + "/" +
                        (cursor->isNull("Type") ? QString("<null>") : cursor->text("Type"));
        return rows;
    }
    const CandidateList& group(wheels::Group g) const { return candidatesOf(candidates, g); }
};

using Loader = LoadResult (*)(Database&, const LoadOptions&, Installation&);

std::unique_ptr<Loaded> load(const InstallationRows& installation, LoadOptions options = {true, false},
                             Loader loader = loadAllWheels) {
    auto loaded = std::make_unique<Loaded>();
    const QString path = loaded->dir.filePath("db.sqlite");
    testing::createDatabase(path, installation.statements());
    if (!loaded->db.open(path, nullptr))
        qFatal("cannot open the test database");
    loaded->result = loader(loaded->db, options, loaded->installation);
    return loaded;
}

InstallationRows withSets(const QStringList& ids) {
    InstallationRows installation;
    installation.catalogue = {{"None", "", QVariant()}};
    for (const QString& id : ids) {
        installation.sets << std::pair<QString, QVariant>{id, QVariant()};
        installation.placements << std::tuple<QString, QVariant, QString>{id, 1, "None"};
    }
    installation.favourites = {{"None", " "}};
    return installation;
}

} // namespace

void TestLoader::enablesTheButtonsOfInstalledSets() {
    auto ef2 = load(withSets({"EF2"}));
    QCOMPARE(ef2->result.outcome, LoadResult::Outcome::Complete);
    QCOMPARE(ef2->enabled(), std::vector<int>({1}));
    QCOMPARE(ef2->state.WheelAvailableIds.at(1), QString("EF2"));
    QVERIFY(ef2->board.modeEnabled[0] && !ef2->board.modeEnabled[1] && !ef2->board.modeEnabled[2]);

    auto splitters = load(withSets({"HT", "NT1", "NT 2", "MBS", "FCS EF1", "FW1"}));
    QCOMPARE(splitters->enabled(), std::vector<int>({5, 9, 10, 11, 13, 15}));
    QCOMPARE(splitters->state.WheelAvailableIds.at(11), QString("NT 2"));
    QCOMPARE(splitters->state.WheelAvailableIds.at(13), QString("MBS"));
    QCOMPARE(splitters->state.WheelAvailableIds.at(15), QString("FCS EF1"));
    QCOMPARE(splitters->board.buttons[9].caption, QString("HFT"));
    QCOMPARE(splitters->board.buttons[10].caption, QString("NT1"));
    QVERIFY(splitters->board.buttons[13].visible && splitters->board.modeEnabled[2]);
    QVERIFY(!splitters->state.WheelFilters.at(12)); // absent: a null marker
    QCOMPARE(splitters->state.WheelAvailableIds.at(12), QString());

    auto onlyMbsDbs = load(withSets({"MBS", "DBS"}));
    QCOMPARE(onlyMbsDbs->enabled(), std::vector<int>({13, 14}));
    QVERIFY(!onlyMbsDbs->board.modeEnabled[2]);

    // Only "Do not use" exactly switches a set off. A set without a wheel number is left out and
    // the rest still loads; so is a number beyond its group's buttons.
    InstallationRows statuses = withSets({"EF1", "EF2", "EF3", "EFX", "EF9", "FW2"});
    statuses.sets[0].second = "Do not use";
    statuses.sets[1].second = "do not use";
    auto status = load(statuses);
    QCOMPARE(status->result.outcome, LoadResult::Outcome::Complete);
    QCOMPARE(status->enabled(), std::vector<int>({1, 2, 6}));
}

void TestLoader::endsOnBrokenData() {
    auto noCubes = load(withSets({"EF1"}), {false, false});
    QCOMPARE(noCubes->result.outcome, LoadResult::Outcome::Fatal);
    QCOMPARE(noCubes->result.message, QString("FS Stativ - no motorized filter revolvers !"));
    for (const LoadOptions options : {LoadOptions{true, false}, LoadOptions{false, true}}) {
        auto goesOn = load(withSets({"EF1"}), options);
        QCOMPARE(goesOn->result.outcome, LoadResult::Outcome::Complete);
        QVERIFY(!goesOn->board.modeEnabled[1]);
    }

    InstallationRows unknown = withSets({"FW1"});
    unknown.placements << std::tuple<QString, QVariant, QString>{"FW1", 2, "Ghost's Cube"};
    auto missing = load(unknown);
    QCOMPARE(missing->result.outcome, LoadResult::Outcome::Fatal);
    QCOMPARE(missing->result.message,
             QString("Error in table 'Potential Filters' ! No Ghost's Cube - Filter !"));

    auto empty = load(withSets({}));
    QCOMPARE(empty->result.outcome, LoadResult::Outcome::Stopped);
    empty->board.buttons[3].enabled = true;
    empty->result = loadAllWheels(empty->db, {true, false}, empty->installation);
    QVERIFY2(empty->board.buttons[3].enabled, "an empty set table ends the load before any button changes");
}

void TestLoader::readsPlacementsTypesAndCompletesFavourites() {
    InstallationRows installation = withSets({"EF1", "FW2"});
    installation.withFavouriteTable = false;
    installation.placements.clear();
    for (int p = 1; p <= 10; ++p)
        installation.placements << std::tuple<QString, QVariant, QString>{"EF1", p, QString("BP %1").arg(p)};
    installation.placements << std::tuple<QString, QVariant, QString>{"EF1", 11, "O'Neil LP"};
    for (int p = 1; p <= 10; ++p)
        installation.catalogue << std::tuple<QString, QString, QVariant>{QString("BP %1").arg(p), "BP", "c"};
    installation.catalogue << std::tuple<QString, QString, QVariant>{"Untyped", "", "u"};
    installation.placements << std::tuple<QString, QVariant, QString>{"EF1", 12, "BP 1"};
    installation.placements.insert(3, {"EF1", 4, "Untyped"}); // Position is not looked at, the row order is
    auto loaded = load(installation);
    QCOMPARE(loaded->result.outcome, LoadResult::Outcome::Complete);
    const QStringList ef1 = *loaded->state.WheelFilters.at(0);
    QCOMPARE(ef1, QStringList({"BP 1", "BP 2", "BP 3", "Untyped", "BP 4", "BP 5", "BP 6", "BP 7"}));
    QCOMPARE(loaded->state.WheelTypes.at(0)->at(3), QString());
    QVERIFY(loaded->state.WheelTypes.at(0)->at(3).isNull());
    QCOMPARE(loaded->state.WheelTypes.at(0)->at(0), QString("BP"));
    QCOMPARE(*loaded->state.WheelFilters.at(6), QStringList()); // installed without rows
    QCOMPARE(*loaded->state.WheelTypes.at(6), QStringList());

    // The table was created with "None" and gained every placed filter once, with its type.
    const QStringList favourites = loaded->favourites();
    QCOMPARE(favourites.mid(0, 5),
             QStringList({"None/ ", "BP 1/BP", "BP 2/BP", "BP 3/BP", "Untyped/<null>"}));
    QCOMPARE(favourites.size(), 9);
    loaded->result = loadAllWheels(loaded->db, {true, false}, loaded->installation);
    QCOMPARE(loaded->favourites(), favourites);
}

void TestLoader::buildsParallelCandidateLists() {
    InstallationRows installation = withSets({"EF1", "FW2"});
    installation.catalogue = {{"LP 2", "LP", "c-lp2"}, {"BP 1", "BP", QVariant()}, {"Cube", "FW2", "c-cube"},
                              {"Odd", "XX", "c-odd"},  {"None", "", "c-none"},     {"BP 1", "BP", "second"},
                              {"KP 3", "KP", "c-kp3"}};
    installation.favourites = {
        {"None", " "}, {"KP 3", "KP"}, {"Gone", "BP"}, {"BP 1", "BP"}, {"Cube", "FW2"}};
    using wheels::Group;

    auto service = load(installation, {true, false});
    QCOMPARE(service->group(Group::EmissionCandidates).CandidateIds.toStringList(),
             QStringList({"None", "LP 2", "BP 1", "BP 1", "KP 3"}));
    QCOMPARE(service->group(Group::EmissionCandidates).CandidateCodes.toStringList(),
             QStringList({"", "c-lp2", "", "second", "c-kp3"}));
    QCOMPARE(service->group(Group::Fw2Candidates).CandidateIds.toStringList(), QStringList({"None", "Cube"}));
    QCOMPARE(service->group(Group::NftCandidates).CandidateIds.toStringList(), QStringList({"None"}));

    // User mode offers the favourites; codes come from each name's first catalogue row in the
    // order of the names, and a name missing from the catalogue ends its group's codes.
    auto user = load(installation, {false, false});
    QCOMPARE(user->group(Group::EmissionCandidates).CandidateIds.toStringList(),
             QStringList({"None", "KP 3", "Gone", "BP 1"}));
    QCOMPARE(user->group(Group::EmissionCandidates).CandidateCodes.toStringList(),
             QStringList({"c-none", "c-kp3"}));
    QCOMPARE(user->group(Group::Fw2Candidates).CandidateCodes.toStringList(),
             QStringList({"c-none", "c-cube"}));

    installation.catalogue.removeAt(4); // no "None" row: no group finds any code
    auto noNone = load(installation, {false, false});
    for (const CandidateList& group : noNone->candidates)
        QVERIFY(group.CandidateCodes.isEmpty());

    // A catalogue large enough to be walked in two halves at once: candidates stay in row order,
    // and a name's code is its first row's, in the first half where both halves have one.
    installation.catalogue.clear();
    for (int row = 1; row <= 60000; ++row) {
        if (row == 5)
            installation.catalogue << std::tuple{QString("BP 1"), QString("BP"), QVariant("first")};
        else if (row == 30000)
            installation.catalogue << std::tuple{QString("None"), QString(""), QVariant("c-none")};
        else if (row == 45000)
            installation.catalogue << std::tuple{QString("KP 3"), QString("KP"), QVariant("c-kp3")};
        else if (row == 59000)
            installation.catalogue << std::tuple{QString("BP 1"), QString("BP"), QVariant("late")};
        else
            installation.catalogue << std::tuple{QString("F %1").arg(row), QString("NF"), QVariant()};
    }
    installation.favourites = {{"None", " "}, {"BP 1", "BP"}, {"KP 3", "KP"}};
    auto largeService = load(installation, {true, false});
    QCOMPARE(largeService->group(Group::EmissionCandidates).CandidateIds.toStringList(),
             QStringList({"None", "BP 1", "KP 3", "BP 1"}));
    QCOMPARE(largeService->group(Group::EmissionCandidates).CandidateCodes.toStringList(),
             QStringList({"", "first", "c-kp3", "late"}));
    const TextList& notch = largeService->group(Group::NfCandidates).CandidateIds;
    QCOMPARE(notch.size(), 1 + 60000 - 4);
    QCOMPARE(notch.at(1), QString("F 1"));
    QCOMPARE(notch.at(29998), QString("F 29999")); // rows 5 and 30000 are not notch filters
    QCOMPARE(notch.last(), QString("F 60000"));
    auto largeUser = load(installation, {false, false});
    QCOMPARE(largeUser->group(Group::EmissionCandidates).CandidateCodes.toStringList(),
             QStringList({"c-none", "first", "c-kp3"}));
}

void TestLoader::loadsTheFcsUnit() {
    const auto fcs = [](const QStringList& sets, LoadOptions options = {true, false}) {
        return load(withSets(sets), options, loadFcsWheels);
    };
    for (const QStringList& order : {QStringList{"MBS", "DBS"}, QStringList{"DBS", "MBS"}}) {
        auto loaded = fcs(order + QStringList{"FCS EF1", "FW1", "EF2"});
        QCOMPARE(loaded->result.outcome, LoadResult::Outcome::Complete);
        QCOMPARE(loaded->enabled(), std::vector<int>({0, 5, 9, 10})); // "EF2" is no emission wheel here
        // The model names the installed wheels without any button state to decode.
        QStringList wheelsFound;
        for (const Installation::Wheel& wheel : loaded->installation.installedWheels())
            wheelsFound
                << QString("%1:%2:%3").arg(wheel.button).arg(wheel.availableId).arg(wheel.filters.join(','));
        QCOMPARE(wheelsFound, QStringList({"0:FCS EF1:None", "5:FW1:None", "9:MBS:None", "10:DBS:None"}));
        QCOMPARE(loaded->state.WheelAvailableIds.at(9), QString("MBS"));
        QCOMPARE(loaded->state.WheelAvailableIds.at(10), QString("DBS"));
        QCOMPARE(loaded->board.buttons[9].caption, QString("MBS"));
        QCOMPARE(loaded->board.buttons[10].caption, QString("DBS"));
        for (int hidden = 11; hidden <= 14; ++hidden)
            QVERIFY(!loaded->board.buttons[hidden].visible);
        QCOMPARE(int(loaded->state.WheelFilters.size()), 13);
        QVERIFY(loaded->board.modeEnabled[2]);
    }
    auto dbsOnly = fcs({"DBS", "FW1"});
    QVERIFY(dbsOnly->board.modeEnabled[2]);
    QCOMPARE(dbsOnly->enabled(), std::vector<int>({5}));
    QVERIFY(dbsOnly->board.buttons[11].visible);

    auto noCubes = fcs({"FCS EF1"}, {false, true}); // even the MARLIN scan unit does not help
    QCOMPARE(noCubes->result.outcome, LoadResult::Outcome::Fatal);
    QCOMPARE(noCubes->result.message, QString("FS Stativ - no motorized filter revolvers !"));

    InstallationRows unknown = withSets({"FCS EF1", "FW1"});
    unknown.placements << std::tuple<QString, QVariant, QString>{"FW1", 2, "Ghost"};
    auto missing = load(unknown, {true, false}, loadFcsWheels);
    QCOMPARE(missing->result.outcome, LoadResult::Outcome::Stopped); // silently, without a message
    QVERIFY(missing->result.message.isEmpty());
}

QTEST_GUILESS_MAIN(TestLoader)
#include "test_loader.moc"
