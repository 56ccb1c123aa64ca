#include "core/db/cursor.h"
#include "gui/catalogue/favourites_window.h"
#include "gui/catalogue/new_filter_window.h"
#include "gui/mainwindow/main_window.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <deque>

class TestCatalogueWindows : public QObject {
    Q_OBJECT
private slots:
    void listsTheGroupOfTheChosenWheel();
    void addsAndRemovesFavourites();
    void entersStoresAndLoadsBackNewFilters();
    void removesCustomerFiltersButNotPlacedOnes();
    void mainWindowFollowsTheCatalogueWindows();
};

using namespace testing;

namespace {

void type(QWidget& window, const QString& field, const QString& text) {
    child<QLineEdit>(window, field)->setText(text);
}
using Fields = QList<std::pair<QString, QString>>;
void fill(QWidget& window, const Fields& fields) {
    for (const auto& [field, text] : fields)
        type(window, field, text);
}
// A step for the new-filter window: enter one filter, apply it and close.
std::function<void(QDialog&)> applyAndClose(const Fields& fields) {
    return [fields](QDialog& window) {
        fill(window, fields);
        click(window, "CmdApply");
        click(window, "CmdClose");
    };
}
QStringList texts(QListView* list) {
    QStringList items;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        items << list->model()->index(i, 0).data().toString();
    return items;
}
int rows(const QString& path, const QString& sql, const QVariantList& values = {}) {
    Database db;
    db.open(path, nullptr);
    auto cursor = db.openQuery("SELECT count(*) AS n FROM " + sql, values, nullptr);
    return cursor->value("n").toInt();
}
// Selects an entry the way a click does.
void select(QTreeWidget* list, const QString& name) {
    QTreeWidgetItem* item = list->findItems(name, Qt::MatchExactly).value(0);
    list->setCurrentItem(item);
    emit list->itemClicked(item, 0);
}
void select(QListView* list, const QString& name) {
    list->setCurrentIndex(list->model()->index(int(texts(list).indexOf(name)), 0));
    emit list->clicked(list->currentIndex());
}

// A demo installation with one more filter cube that is nobody's favourite yet, open as a session
// holds it, with the catalogue service the windows work through.
struct Demo {
    testing::Sandbox sandbox;
    QString path;
    Database db;
    Candidates candidates;
    std::deque<CatalogueService> services;
    Demo() {
        path = sandbox.install(
            testing::demoStatements() +
            QStringList{"INSERT INTO [Potential Filters] ([ID Potential], [Type], [Summary], "
                        "[Veltrano Code No]) VALUES ('FSet 99 Test', 'FW2', 'Test cube', 'T-99')"});
        if (!db.open(path, nullptr))
            qFatal("cannot open the demo installation");
    }
    CatalogueContext context(int mode, int wheel, bool service) {
        if (services.empty() || services.back().serviceMode() != service)
            services.emplace_back(db, candidates, service);
        wheels::SelectedWheels selected = wheels::firstWheels();
        selected[size_t(mode)] = wheel;
        services.back().setScope(mode, selected);
        CatalogueContext context;
        context.catalogue = &services.back();
        return context;
    }
    const QStringList& removed() const { return services.back().removedFilters(); }
};

// Runs the given steps inside the next modal windows, by window name.
struct ModalScript {
    std::function<void(QDialog&)> favourites, newFilters;
    ModalScript() {
        dialogs::setModalHandler([this](QDialog* dialog) {
            auto& step = dialog->objectName() == "SalesFilters" ? favourites : newFilters;
            if (step)
                step(*dialog);
            return 0;
        });
    }
    ~ModalScript() { dialogs::setModalHandler({}); }
};

} // namespace

void TestCatalogueWindows::listsTheGroupOfTheChosenWheel() {
    Demo demo;
    testing::DialogRecorder recorder;
    FavouritesWindow cubes(demo.context(1, 6, true));
    const QStringList favourites = texts(child<QListView>(cubes, "SalesList"));
    QCOMPARE(favourites, QStringList({"None", "FSet 10 FITC", "FSet 43 DsRed"}));
    const QStringList names = texts(child<QComboBox>(cubes, "Potential"));
    QCOMPARE(names, QStringList({"None", "FSet 10 FITC", "FSet 15 Rhodamine", "FSet 38 GFP HE",
                                 "FSet 43 DsRed", "FSet 99 Test"}));
    QCOMPARE(texts(child<QComboBox>(cubes, "ObName")).last(), QString("Test cube"));
    QCOMPARE(cubes.TypeList(), QStringList({" ", "FW2", "FW2", "FW2", "FW2", "FW2"}));
    QVERIFY(child(cubes, "CmdApply")->isEnabled());
    QVERIFY(!child(cubes, "CmdRemove")->isEnabled());

    FavouritesWindow mbs(demo.context(2, 13, true));
    QCOMPARE(texts(child<QListView>(mbs, "SalesList")), QStringList({"None"}));
    QCOMPARE(texts(child<QComboBox>(mbs, "Potential")), QStringList({"None"}));
    QVERIFY(recorder.messages.isEmpty());

    // A database without a favourite list gains one; an empty catalogue is reported.
    createDatabase(demo.path, {"DROP TABLE [Favourite Filters]", "DELETE FROM [Potential Filters]"});
    FavouritesWindow empty(demo.context(0, 0, true));
    QCOMPARE(texts(child<QListView>(empty, "SalesList")), QStringList({"None"}));
    QCOMPARE(recorder.texts(), QStringList({"No data in table 'Potential Filters'"}));
    QVERIFY(!child(empty, "Potential")->isEnabled());

    // A catalogue that cannot be read is said so by both windows, not shown as an empty list.
    createDatabase(demo.path, {"DROP TABLE [Potential Filters]"});
    recorder.messages.clear();
    FavouritesWindow unreadable(demo.context(0, 0, true));
    NewFilterWindow unreadableNew(demo.context(0, 0, true));
    QCOMPARE(recorder.messages.size(), 2);
    for (const QString& text : recorder.texts())
        QVERIFY2(text.contains("'Potential Filters'"), qPrintable(text));
}

void TestCatalogueWindows::addsAndRemovesFavourites() {
    Demo demo;
    testing::DialogRecorder recorder;
    FavouritesWindow window(demo.context(1, 6, false));
    auto* potential = child<QComboBox>(window, "Potential");
    auto* salesList = child<QListView>(window, "SalesList");
    choose(potential, "FSet 99 Test");
    QCOMPARE(child<QComboBox>(window, "ObName")->currentText(), QString("Test cube"));
    click(window, "CmdApply");
    QCOMPARE(texts(salesList).last(), QString("FSet 99 Test"));
    QCOMPARE(
        rows(demo.path, "[Favourite Filters] WHERE [ID Potential] = ? AND [Type] = 'FW2'", {"FSet 99 Test"}),
        1);
    QCOMPARE(candidatesOf(demo.candidates, wheels::Group::Fw2Candidates).CandidateIds.toStringList(),
             QStringList({"FSet 99 Test"}));
    QCOMPARE(candidatesOf(demo.candidates, wheels::Group::Fw2Candidates).CandidateCodes.toStringList(),
             QStringList({"Test cube"}));
    QVERIFY(!child(window, "CmdApply")->isEnabled());

    choose(potential, "FSet 10 FITC");
    click(window, "CmdApply");
    QCOMPARE(recorder.texts(), QStringList({"Filter is always in favourite list !"}));
    QCOMPARE(rows(demo.path, "[Favourite Filters] WHERE [ID Potential] = 'FSet 10 FITC'"), 1);

    choose(potential, "FSet 99 Test");
    select(salesList, "FSet 99 Test");
    QVERIFY(child(window, "CmdRemove")->isEnabled());
    // The keys choose a favourite as a click does.
    QTest::keyClick(salesList, Qt::Key_Home);
    QVERIFY2(!child(window, "CmdRemove")->isEnabled(), "the placeholder cannot be removed");
    QTest::keyClick(salesList, Qt::Key_End);
    QVERIFY(child(window, "CmdRemove")->isEnabled());
    click(window, "CmdRemove");
    QCOMPARE(rows(demo.path, "[Favourite Filters] WHERE [ID Potential] = ?", {"FSet 99 Test"}), 0);
    QCOMPARE(demo.removed(), QStringList({"FSet 99 Test"}));
    QVERIFY(!texts(salesList).contains("FSet 99 Test"));
    QVERIFY2(child(window, "CmdApply")->isEnabled(), "the removed favourite can be added again at once");
}

void TestCatalogueWindows::entersStoresAndLoadsBackNewFilters() {
    Demo demo;
    testing::DialogRecorder recorder;
    NewFilterWindow window(demo.context(0, 0, true));
    QCOMPARE(texts(child<QComboBox>(window, "CmbType")), QStringList({"BP", "LP", "KP"}));
    auto* list = child<QTreeWidget>(window, "LVObj");
    QCOMPARE(list->topLevelItemCount(), 2); // the demo's customer-added filters

    const auto enter = [&](const QString& name, const QString& kind, const QString& cutOff) {
        choose(child<QComboBox>(window, "CmbType"), kind);
        QVERIFY(child(window, "Cut_Off")->isEnabled());
        QVERIFY(!child(window, "Lower")->isEnabled());
        fill(window, {{"FilterName", name},
                      {"Code", "code " + name},
                      {"Summary", "summary " + name},
                      {"Cut_Off", cutOff}});
        click(window, "CmdApply");
    };
    enter("LP 550 own", "LP", "550");
    enter("KP 550 own", "KP", "550");
    enter("LP 550 own", "LP", "560");
    QCOMPARE(recorder.texts(), QStringList({"No new Filter Name !"}));
    QCOMPARE(int(window.PendingFilters().size()), 2);
    child<QCheckBox>(window, "Check1")->setChecked(true);
    QVERIFY(child(window, "Producer")->isEnabled());
    QCOMPARE(child<QLineEdit>(window, "Producer")->text(), QString());

    type(window, "FilterName", "Never applied");
    click(window, "CmdClose");
    QCOMPARE(rows(demo.path,
                  "[Potential Filters] WHERE [ID Potential] = 'LP 550 own' AND [Lower Wavelength] = 550 "
                  "AND [Upper Wavelength] = 1000 AND [Customer Added] AND [Type] = 'LP'"),
             1);
    QCOMPARE(rows(demo.path,
                  "[Potential Filters] WHERE [ID Potential] = 'KP 550 own' AND [Lower Wavelength] = 200 "
                  "AND [Upper Wavelength] = 550"),
             1);
    QCOMPARE(candidatesOf(demo.candidates, wheels::Group::EmissionCandidates).CandidateIds.toStringList(),
             QStringList({"LP 550 own", "KP 550 own"}));
    QCOMPARE(child<QLineEdit>(window, "FilterName")->text(), QString()); // the unapplied entry was cleared

    // Loading the stored filters back shows their cut-off, the producer's box as stored.
    NewFilterWindow again(demo.context(0, 0, true));
    auto* stored = child<QTreeWidget>(again, "LVObj");
    for (const auto& [name, cutOff] : {std::pair<QString, QString>{"KP 550 own", "550"},
                                       {"LP 550 own", "550"},
                                       {"BP 525/50 Customer's", ""}}) {
        QTreeWidgetItem* item = stored->findItems(name, Qt::MatchExactly).value(0);
        QVERIFY2(item, qPrintable(name));
        stored->setCurrentItem(item);
        emit stored->itemClicked(item, 0);
        QCOMPARE(child<QLineEdit>(again, "FilterName")->text(), name);
        QCOMPARE(child<QLineEdit>(again, "Cut_Off")->text(), cutOff);
    }
    QVERIFY(child<QCheckBox>(again, "Check1")->isChecked()); // "Semrock Optics"
    QCOMPARE(child<QLineEdit>(again, "Producer")->text(), QString("Semrock Optics"));
    QCOMPARE(child<QLineEdit>(again, "Center")->text(), QString("525"));
    QTest::keyClick(stored, Qt::Key_End); // the keys load an item as a click does
    QCOMPARE(child<QLineEdit>(again, "FilterName")->text(), stored->currentItem()->text(0));
    QCOMPARE(stored->currentItem()->text(0), QString("KP 550 own"));

    // Enter moves on through the form: name, series number, summary, then the type's value.
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    choose(child<QComboBox>(window, "CmbType"), "BP");
    for (const auto& [from, to] : {std::pair<QString, QString>{"FilterName", "Code"},
                                   {"Code", "Summary"},
                                   {"Summary", "Lower"},
                                   {"Lower", "Center"},
                                   {"Center", "Upper"},
                                   {"Upper", "CmdApply"}}) {
        type(window, from, "x");
        child(window, from)->setFocus();
        QTest::keyClick(child(window, from), Qt::Key_Return);
        QVERIFY2(child(window, to)->hasFocus(), qPrintable(from));
    }
    QTest::keyClick(child(window, "CmdApply"), Qt::Key_Return); // and Enter there applies
    QCOMPARE(recorder.texts().last(), QString("Wavelength or Opaque value:   Type mismatch"));
    window.hide();

    NewFilterWindow splitters(demo.context(2, 10, true));
    QCOMPARE(texts(child<QComboBox>(splitters, "CmbType")), QStringList({"NFT"}));
    applyAndClose({{"FilterName", "NFT 600 own"},
                   {"Code", "N-600"},
                   {"Summary", "Own splitter 600"},
                   {"Cut_Off", "600"}})(splitters);
    QCOMPARE(
        rows(demo.path, "[Potential Filters] WHERE [ID Potential] = 'NFT 600 own' AND [Opaque for] = 600"),
        1);
    QCOMPARE(candidatesOf(demo.candidates, wheels::Group::NftCandidates).CandidateIds.last(),
             QString("NFT 600 own"));
}

void TestCatalogueWindows::removesCustomerFiltersButNotPlacedOnes() {
    Demo demo;
    {
        Database db;
        QVERIFY(db.open(demo.path, nullptr));
        QVERIFY(db.exec("UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 590 Lab' WHERE "
                        "[ID Available] = 'EF1' AND [Position] = 8",
                        QVariantList(), nullptr));
        QVERIFY(
            db.exec("INSERT INTO [Favourite Filters] VALUES (?, 'BP')", {"BP 525/50 Customer's"}, nullptr));
    }
    testing::DialogRecorder recorder;
    FavouritesWindow favourites(demo.context(0, 0, true));
    QVERIFY(texts(child<QListView>(favourites, "SalesList")).contains("BP 525/50 Customer's"));
    NewFilterWindow window(demo.context(0, 0, true));
    ModalScript script;
    script.newFilters = [&](QDialog&) {
        auto* list = child<QTreeWidget>(window, "LVObj");
        select(list, "LP 590 Lab");
        click(window, "CmdDel");
        QCOMPARE(recorder.texts(), QStringList({"LP 590 Lab is in 'Available FilterPlacement' !"}));
        QCOMPARE(list->topLevelItemCount(), 2);

        select(list, "BP 525/50 Customer's");
        click(window, "CmdDel");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->currentItem()->text(0), QString("LP 590 Lab"));
        QCOMPARE(child<QLineEdit>(window, "FilterName")->text(), QString("BP 525/50 Customer's"));
        click(window, "CmdClose");
    };
    window.showModal();
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(rows(demo.path, "[Potential Filters] WHERE [ID Potential] = ?", {"BP 525/50 Customer's"}), 0);
    QCOMPARE(rows(demo.path, "[Favourite Filters] WHERE [ID Potential] = ?", {"BP 525/50 Customer's"}), 0);
    QCOMPARE(rows(demo.path, "[Potential Filters] WHERE [ID Potential] = 'LP 590 Lab'"), 1);
    QCOMPARE(rows(demo.path, "[Favourite Filters] WHERE [ID Potential] = 'None'"), 1);
    const QStringList left = texts(child<QListView>(favourites, "SalesList"));
    QCOMPARE(left.first(), QString("None"));
    QVERIFY(!left.contains("BP 525/50 Customer's"));
    QCOMPARE(demo.removed(), QStringList({"BP 525/50 Customer's"}));

    // An entry applied but not stored leaves no rows; entered again it is no longer "removed".
    script.newFilters = [&](QDialog&) {
        fill(window, {{"FilterName", "Temp BP"},
                      {"Code", "T-1"},
                      {"Summary", "Temporary"},
                      {"Lower", "500"},
                      {"Center", "510"},
                      {"Upper", "520"}});
        click(window, "CmdApply");
        auto* list = child<QTreeWidget>(window, "LVObj");
        select(list, "Temp BP");
        click(window, "CmdDel");
        QVERIFY(window.PendingFilters().empty());
        QCOMPARE(demo.removed().last(), QString("Temp BP"));
        click(window, "CmdApply");
        QVERIFY(!demo.removed().contains("Temp BP"));
        select(list, "Temp BP");
        click(window, "CmdDel");
        select(list, "LP 590 Lab");
        click(window, "CmdDel"); // placed: stays
        QCOMPARE(list->topLevelItemCount(), 1);
        click(window, "CmdClose");
    };
    window.showModal();
    QCOMPARE(rows(demo.path, "[Potential Filters] WHERE [ID Potential] = 'Temp BP'"), 0);
}

void TestCatalogueWindows::mainWindowFollowsTheCatalogueWindows() {
    Demo demo;
    testing::DialogRecorder recorder;
    {
        MainWindow user;
        user.load("");
        user.showWheel(6);
        ModalScript script;
        script.favourites = [](QDialog& window) {
            choose(child<QComboBox>(window, "Potential"), "FSet 99 Test");
            click(window, "CmdApply");
            select(child<QListView>(window, "SalesList"), "FSet 43 DsRed");
            click(window, "CmdRemove");
            click(window, "CmdClose");
        };
        click(user, "CmdEdit_1");
        const CandidateList& fw2 = candidatesOf(user.candidates(), wheels::Group::Fw2Candidates);
        QVERIFY(fw2.CandidateIds.contains("FSet 99 Test"));
        QVERIFY(!fw2.CandidateIds.contains("FSet 43 DsRed"));
        QCOMPARE(child<QComboBox>(user, "CmbFilter_8")->count(), fw2.CandidateIds.size());
        QVERIFY(texts(child<QComboBox>(user, "CmbFilter_8")).contains("FSet 99 Test"));
    }
    MainWindow service;
    service.load("/S");
    service.showWheel(5);
    service.switchMode(1);
    ModalScript script;
    script.favourites = [](QDialog& window) { click(window, "CmdAddNew"); };
    script.newFilters =
        applyAndClose({{"FilterName", "Cube new"}, {"Code", "CN-1"}, {"Summary", "A new cube"}});
    click(service, "CmdEdit_1");
    for (wheels::Group group :
         {wheels::Group::Fw1Candidates, wheels::Group::Fw2Candidates, wheels::Group::Fw3Candidates})
        QCOMPARE(candidatesOf(service.candidates(), group).CandidateIds.last(), QString("Cube new"));
    QCOMPARE(rows(demo.path, "[Potential Filters] WHERE [ID Potential] = 'Cube new' AND [Type] = 'FW1'"), 1);
    QVERIFY(texts(child<QComboBox>(service, "CmbFilter_8")).contains("Cube new"));

    // The window stays loaded within the mode, but a cube takes the type of the wheel chosen now.
    click(service, "CmdNr_7");
    script.newFilters =
        applyAndClose({{"FilterName", "Cube later"}, {"Code", "CN-2"}, {"Summary", "A later cube"}});
    click(service, "CmdEdit_1");
    QCOMPARE(rows(demo.path, "[Potential Filters] WHERE [ID Potential] = 'Cube later' AND [Type] = 'FW3'"),
             1);
    QVERIFY(recorder.messages.isEmpty());
}

QTEST_MAIN(TestCatalogueWindows)
#include "test_catalogue_windows.moc"
