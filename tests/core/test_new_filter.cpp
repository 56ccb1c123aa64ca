#include "core/catalogue/catalogue_service.h"
#include "core/catalogue/catalogue_tables.h"
#include "core/catalogue/new_filter.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "support/test_support.h"

#include <QtTest>

using namespace catalogue;
using Entry = PendingFilterEntry;

class TestNewFilter : public QObject {
    Q_OBJECT
private slots:
    void validatesInOrder_data();
    void validatesInOrder();
    void readsWavelengthsAsUsersTypeThem();
    void buildsAndStoresEntriesByType();
    void repairsAnOlderCatalogue();
    void listsALargeCatalogueInRowOrder();
    void keepsTheListsInStepWithEachEdit();
};

namespace {

struct Catalogue {
    QTemporaryDir dir;
    Database db;
    Catalogue(const QStringList& extra = {}) {
        testing::InstallationRows installation;
        installation.catalogue = {{"Known BP", "BP", "K-1"}, {"Null code", "BP", QVariant()}};
        const QString path = dir.filePath("db.sqlite");
        testing::createDatabase(path, installation.statements() + extra);
        db.open(path, nullptr);
    }
};

FilterForm bandPass(const QString& lower, const QString& center, const QString& upper) {
    return {"New BP", "N-1", "New band", lower, center, upper, "", "", "Veltrano", "BP"};
}

} // namespace

void TestNewFilter::validatesInOrder_data() {
    QTest::addColumn<FilterForm>("form");
    QTest::addColumn<QString>("message");
    const FilterForm good = bandPass("500", "525", "550");
    auto with = [&good](auto change) {
        FilterForm form = good;
        change(form);
        return form;
    };
    QTest::newRow("no name") << with([](FilterForm& f) { f.name.clear(), f.code.clear(); })
                             << "No Filter Name !";
    QTest::newRow("no code") << with([](FilterForm& f) { f.code.clear(), f.summary.clear(); })
                             << "No Series Number !";
    QTest::newRow("no summary") << with([](FilterForm& f) { f.summary.clear(); }) << "No Summary !";
    QTest::newRow("known name") << with([](FilterForm& f) { f.name = "Known BP", f.code = "K-1"; })
                                << "No new Filter Name !";
    QTest::newRow("known code") << with([](FilterForm& f) { f.code = "K-1"; }) << "No new Series Number !";
    QTest::newRow("known summary") << with([](FilterForm& f) { f.summary = "About Known BP"; })
                                   << "No new Summary !";
    QTest::newRow("listed name") << with([](FilterForm& f) { f.name = "Listed"; }) << "No new Filter Name !";
    QTest::newRow("listed summary") << with([](FilterForm& f) { f.summary = "Listed summary"; })
                                    << "No new Summary !";
    QTest::newRow("pending code") << with([](FilterForm& f) { f.code = "P-1"; }) << "No new Series Number !";
    QTest::newRow("no lower") << bandPass("", "", "") << "No Lower Wavelength !";
    QTest::newRow("zero lower") << bandPass("0", "", "") << "No correct value for Lower Wavelength !";
    QTest::newRow("no center") << bandPass("500", "", "") << "No Center Wavelength !";
    QTest::newRow("negative center") << bandPass("500", "-5", "")
                                     << "No correct value for Center Wavelength !";
    QTest::newRow("no upper") << bandPass("500", "525", "") << "No Upper Wavelength !";
    QTest::newRow("zero upper") << bandPass("500", "525", " 0 ") << "No correct value for Upper Wavelength !";
    QTest::newRow("lower above center")
        << bandPass("501", "500", "550") << "Lower Wavelength greater then Center Wavelength !";
    QTest::newRow("center above upper")
        << bandPass("500", "560", "550") << "Center Wavelength greater then Upper Wavelength !";
    QTest::newRow("not a number") << bandPass("5OO", "525", "550")
                                  << "Wavelength or Opaque value:   Type mismatch";
    QTest::newRow("beyond 32 bits") << bandPass("500", "525", "99999999999")
                                    << "Wavelength or Opaque value:   Overflow";
    QTest::newRow("equal limits") << bandPass("500", "500", "500") << "";
    QTest::newRow("fraction") << bandPass("499.6", "500", "500.4") << "";
    for (const char* type : {"LP", "KP", "NFT"}) {
        FilterForm cut = with([type](FilterForm& f) { f.type = type; });
        QTest::newRow(qPrintable(QString(type) + " without cut-off")) << cut << "No Cut Off Wavelength !";
        cut.cutOff = "0";
        QTest::newRow(qPrintable(QString(type) + " zero"))
            << cut << "No correct value for Cut Off Wavelength !";
    }
    for (const char* type : {"HFT", "NT"}) {
        FilterForm opaque = with([type](FilterForm& f) { f.type = type; });
        QTest::newRow(qPrintable(QString(type) + " without opaque")) << opaque << "No value for Opaque for !";
        opaque.opaque = "0";
        QTest::newRow(qPrintable(QString(type) + " zero")) << opaque << "No correct value for Opaque !";
    }
    QTest::newRow("NF needs nothing")
        << with([](FilterForm& f) { f.type = "NF", f.lower = f.center = f.upper = ""; }) << "";
    QTest::newRow("cube has no type") << with([](FilterForm& f) { f.type.clear(), f.lower.clear(); }) << "";
    QTest::newRow("NF band is not checked")
        << with([](FilterForm& f) { f.type = "NF", f.lower = "4OO", f.center = "1e99999", f.upper = ""; })
        << "";
}

void TestNewFilter::validatesInOrder() {
    QFETCH(FilterForm, form);
    QFETCH(QString, message);
    Catalogue catalogue;
    Entry pending;
    pending[Entry::Code] = "P-1";
    const auto verdict =
        ValidateNewFilter(catalogue.db, form, {{"Listed", "Listed summary"}}, {pending}, nullptr);
    QCOMPARE(verdict.value_or(QString()), message);
}

void TestNewFilter::readsWavelengthsAsUsersTypeThem() {
    QString failure;
    QCOMPARE(parseWavelength(" 550 ", &failure), std::optional<qint32>(550));
    QCOMPARE(parseWavelength("+550", &failure), std::optional<qint32>(550));
    QCOMPARE(parseWavelength("-3", &failure), std::optional<qint32>(-3));
    QCOMPARE(parseWavelength("532.5", &failure), std::optional<qint32>(533));
    QCOMPARE(parseWavelength("2147483647", &failure), std::optional<qint32>(2147483647));
    for (const char* bad : {"", "5 50", "550nm", "1e3", "5,5", "--1"}) {
        QVERIFY2(!parseWavelength(bad, &failure), bad);
        QCOMPARE(failure, QString("Type mismatch"));
    }
    QVERIFY(!parseWavelength("2147483648", &failure));
    QCOMPARE(failure, QString("Overflow"));
}

void TestNewFilter::buildsAndStoresEntriesByType() {
    FilterForm longPass{"LP 550 new", "L-550", "Long 550", "", "", "", "", "550", "Veltrano", "LP"};
    FilterForm shortPass = longPass;
    shortPass.name = "KP 550 new", shortPass.type = "KP";
    FilterForm splitter = longPass;
    splitter.name = "NFT 550 new", splitter.type = "NFT", splitter.producer = "Other Optics";
    FilterForm cube{"Cube new", "C-9", "A cube", "", "", "", "", "", "Veltrano", ""};

    const Entry lp = buildPendingEntry(longPass, 5);
    QCOMPARE(lp[Entry::Lower], QString("550"));
    QCOMPARE(lp[Entry::Upper], QString("1000"));
    const Entry kp = buildPendingEntry(shortPass, 5);
    QCOMPARE(kp[Entry::Lower] + "-" + kp[Entry::Upper], QString("200-550"));
    QCOMPARE(buildPendingEntry(splitter, 5)[Entry::Opaque], QString("550"));
    QCOMPARE(buildPendingEntry(cube, 5)[Entry::Type], QString("FW1"));
    QCOMPARE(buildPendingEntry(cube, 6)[Entry::Type], QString());
    QCOMPARE(buildPendingEntry(cube, 8)[Entry::Type], QString("FW3"));

    Catalogue catalogue;
    QVERIFY(storePendingFilters(
        catalogue.db, {lp, kp, buildPendingEntry(splitter, 5), buildPendingEntry(cube, 7)}, nullptr));
    const auto stored = catalogue::catalogueEntry(catalogue.db, "LP 550 new", nullptr);
    QVERIFY(stored);
    QCOMPARE((*stored)[Entry::Lower] + "-" + (*stored)[Entry::Upper], QString("550-1000"));
    QCOMPARE((*stored)[Entry::Center], QString());
    QCOMPARE(catalogue::catalogueEntry(catalogue.db, "NFT 550 new", nullptr)->values[Entry::Producer],
             QString("Other Optics"));
    auto cursor = catalogue.db.openQuery(
        "SELECT * FROM [Potential Filters] WHERE [ID Potential] = ? AND [Customer Added]", {"Cube new"},
        nullptr);
    QVERIFY(cursor && !cursor->atEnd());
    QCOMPARE(cursor->text("Type"), QString("FW3"));
    QVERIFY(cursor->isNull("Center Wavelength"));
    QCOMPARE(customerAddedItems(catalogue.db, nullptr)->size(), size_t(4));

    // An unchecked band value that is no number is kept as Null, a number as a number.
    FilterForm notch{"NF new", "N-9", "Notch", "4OO", " 532.5 ", "inf", "", "", "Veltrano", "NF"};
    QVERIFY(storePendingFilters(catalogue.db, {buildPendingEntry(notch, 5)}, nullptr));
    cursor = catalogue.db.openQuery("SELECT * FROM [Potential Filters] WHERE [ID Potential] = 'NF new'",
                                    QVariantList(), nullptr);
    QVERIFY(cursor->isNull("Lower Wavelength") && cursor->isNull("Upper Wavelength"));
    QCOMPARE(cursor->value("Center Wavelength").toDouble(), 532.5);

    // One failing row stores none of the others.
    Entry broken = lp;
    broken.values[Entry::Name] = "Another";
    // The second row breaks an index that only the two rows together break.
    QVERIFY(
        catalogue.db.exec("CREATE UNIQUE INDEX refuse ON [Potential Filters] ([Type]) WHERE [ID Potential] "
                          "IN ('Another', 'Refused')",
                          QVariantList(), nullptr));
    Entry refused = lp;
    refused.values[Entry::Name] = "Refused";
    QVERIFY(!storePendingFilters(catalogue.db, {broken, refused}, nullptr));
    QVERIFY(!catalogue::catalogueEntry(catalogue.db, "Another", nullptr));
}

void TestNewFilter::repairsAnOlderCatalogue() {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.sqlite");
    testing::createDatabase(path, {"CREATE TABLE [Potential Filters] ([ID Potential] TEXT, [Type] TEXT, "
                                   "[Summary] TEXT, [Veltrano Code No] TEXT)",
                                   "INSERT INTO [Potential Filters] VALUES ('Old', 'BP', 'Old one', 'O-1')"});
    Database db;
    QVERIFY(db.open(path, nullptr));
    QVERIFY(ensureCustomerAddedField(db, nullptr));
    QVERIFY(db.fieldNames("Potential Filters").contains("Customer Added"));
    QVERIFY(db.fieldNames("Potential Filters").contains("Producer"));
    QVERIFY(customerAddedItems(db, nullptr)->empty());
    QVERIFY(ensureCustomerAddedField(db, nullptr)); // a second time changes nothing

    // A catalogue that cannot be read may hold the name: the entry is refused with the reason.
    testing::createDatabase(path, {"DROP TABLE [Potential Filters]"});
    const auto verdict =
        ValidateNewFilter(db, {"Any", "A-1", "Any", "", "", "", "", "", "Veltrano", "NF"}, {}, {}, nullptr);
    QVERIFY(verdict && verdict->contains("'Potential Filters'"));
}

void TestNewFilter::listsALargeCatalogueInRowOrder() {
    // Large enough to be read in two halves: the lists must still stand in row order, in step.
    Catalogue catalogue(
        {"DELETE FROM [Potential Filters]",
         "INSERT INTO [Potential Filters] ([ID Potential], [Type], [Summary]) "
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000) "
         "SELECT 'F ' || i, CASE i % 4 WHEN 0 THEN 'BP' WHEN 1 THEN 'LP' WHEN 2 THEN 'HFT' "
         "ELSE NULL END, CASE WHEN i % 7 = 0 THEN NULL ELSE 'About ' || i END FROM n",
         "UPDATE [Potential Filters] SET [ID Potential] = 'None', [Type] = NULL WHERE rowid = 45000",
         "INSERT INTO [Favourite Filters] ([ID Potential], [Type]) SELECT [ID Potential], [Type] FROM "
         "[Potential Filters] WHERE rowid % 10 = 3 ORDER BY rowid DESC"});
    FavouriteWindowLists lists;
    Result error;
    QVERIFY(readFavouriteWindowLists(catalogue.db, {"BP", "LP", "KP"}, &lists, &error));
    QStringList names, summaries, types;
    auto expected = catalogue.db.openQuery(
        "SELECT [ID Potential], coalesce([Summary], ' '), coalesce([Type], ' ') FROM [Potential Filters] "
        "WHERE [Type] IN ('BP', 'LP', 'KP') OR [ID Potential] = 'None' ORDER BY rowid",
        {}, nullptr);
    for (; !expected->atEnd(); expected->next()) {
        names << expected->textAt(0);
        summaries << (names.last() == "None" ? " " : expected->textAt(1));
        types << expected->textAt(2);
    }
    QCOMPARE(names.size(), 30000);
    QCOMPARE(lists.names.toStringList(), names);
    QCOMPARE(lists.summaries.toStringList(), summaries);
    QCOMPARE(lists.types.toStringList(), types);
    QVERIFY(!lists.catalogueEmpty);
    // The favourites, read on whichever half's thread ends first, are all there, in their order.
    QStringList favourites;
    auto favourite = catalogue.db.openQuery("SELECT [ID Potential] FROM [Favourite Filters] WHERE [Type] IN "
                                            "('BP', 'LP', 'KP') OR [ID Potential] = 'None' ORDER BY rowid",
                                            {}, nullptr);
    for (; !favourite->atEnd(); favourite->next())
        favourites << favourite->textAt(0);
    QVERIFY(favourites.size() > 1);
    QCOMPARE(lists.salesList.toStringList(), favourites);
}

void TestNewFilter::keepsTheListsInStepWithEachEdit() {
    QTemporaryDir dir;
    const QString path = dir.filePath("demo.sqlite");
    testing::createDatabase(path, testing::demoStatements());
    Database db;
    QVERIFY(db.open(path, nullptr));
    const auto count = [&db](const QString& table, const QString& name) {
        auto cursor = db.openQuery(QString("SELECT count(*) FROM [%1] WHERE [ID Potential] = ?").arg(table),
                                   {name}, nullptr);
        return cursor ? cursor->textAt(0).toInt() : -1;
    };
    const auto fw2 = wheels::Group::Fw2Candidates;

    // A user's favourite joins the edited wheel's group at once; its removal waits for the main window.
    Candidates userLists;
    CatalogueService user(db, userLists, false);
    user.setScope(1, {0, 6, 9, 0});
    QList<CatalogueService::Change> heard;
    const int id = user.subscribe([&heard](const CatalogueService::Event& event) { heard << event.change; });
    QVERIFY(!user.addFavourite("FSet 15 Rhodamine", "Rhodamine cube", "FW2").isError());
    QCOMPARE(candidatesOf(userLists, fw2).CandidateIds.toStringList(), QStringList({"FSet 15 Rhodamine"}));
    QCOMPARE(candidatesOf(userLists, fw2).CandidateCodes.toStringList(), QStringList({"Rhodamine cube"}));
    QVERIFY(!user.removeFavourite("FSet 15 Rhodamine").isError());
    QCOMPARE(count("Favourite Filters", "FSet 15 Rhodamine"), 0);
    QCOMPARE(user.removedFilters(), QStringList({"FSet 15 Rhodamine"}));
    user.applyRemovedFilters();
    QVERIFY(candidatesOf(userLists, fw2).CandidateIds.isEmpty() && user.removedFilters().isEmpty());
    user.unsubscribe(id);
    QVERIFY(!user.addFavourite("FSet 38 GFP HE", "GFP cube", "FW2").isError());
    QCOMPARE(heard, QList<CatalogueService::Change>({CatalogueService::Change::FavouriteAdded,
                                                     CatalogueService::Change::FavouriteRemoved}));

    // A service engineer's new filter joins every group its type serves; a placed filter stays.
    Candidates serviceLists;
    CatalogueService service(db, serviceLists, true);
    service.setScope(0, wheels::firstWheels());
    Entry entry;
    entry[Entry::Name] = "BP 999 New";
    entry[Entry::Summary] = "New band";
    entry[Entry::Type] = "BP";
    entry[Entry::Producer] = "Veltrano";
    QVERIFY(!service.storeNewFilters({entry}).isError());
    QCOMPARE(candidatesOf(serviceLists, wheels::Group::EmissionCandidates).CandidateIds.toStringList(),
             QStringList({"BP 999 New"}));
    QVERIFY(!service.addFavourite("BP 999 New", "New band", "BP").isError());
    QVERIFY(candidatesOf(serviceLists, wheels::Group::EmissionCandidates).CandidateIds.size() == 1);
    const Result placed = service.removeCustomerFilter("LP 560", true);
    QCOMPARE(placed.code, dberr::Refused);
    QCOMPARE(placed.description, QString("LP 560 is in 'Available FilterPlacement' !"));
    QCOMPARE(count("Potential Filters", "LP 560"), 1);
    QVERIFY(service.removedFilters().isEmpty());
    // A stored one leaves the catalogue and the favourites together.
    QVERIFY(!service.removeCustomerFilter("BP 999 New", true).isError());
    QCOMPARE(count("Potential Filters", "BP 999 New") + count("Favourite Filters", "BP 999 New"), 0);
    QCOMPARE(service.removedFilters(), QStringList({"BP 999 New"}));
    service.filterEnteredAgain("BP 999 New");
    QVERIFY(service.removedFilters().isEmpty());
}

QTEST_GUILESS_MAIN(TestNewFilter)
#include "test_new_filter.moc"
