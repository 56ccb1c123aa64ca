#include "core/db/cursor.h"
#include "core/history/history.h"
#include "core/session/early_start.h"
#include "gui/mainwindow/main_window.h"
#include "gui/widgets/finding_combo.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <sqlite3.h>

using testing::InstallationRows;

class TestWheelEditor : public QObject {
    Q_OBJECT
private slots:
    void showsAndEditsAWheel();
    void storesExactlyTheWheelsRowsAndKeepsThem();
    void storesOnlyRowsThatMatchTheirPosition();
    void switchesModesAndPurgesAfterTheCatalogueWindow();
    void endsOnAPlacedFilterMissingFromTheCatalogue();
    void takesTheStartBegunWhileTheWindowWasBuilt();
};

using namespace testing;

namespace {

QComboBox* combo(QWidget& form, const char* kind, int frame) {
    return form.findChild<QComboBox*>(QString("%1_%2").arg(kind).arg(frame));
}

std::unique_ptr<MainWindow> start(const QString& commandLine = "/S", EarlyStart* early = nullptr) {
    auto form = std::make_unique<MainWindow>();
    form->takeEarlyStart(early);
    form->load(commandLine);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qFatal("the main window was not shown");
    form->windowActivated();
    return form;
}

} // namespace

void TestWheelEditor::showsAndEditsAWheel() {
    testing::Sandbox sandbox;
    sandbox.install(testing::demoStatements());
    testing::DialogRecorder recorder;
    auto form = start();
    QVERIFY(recorder.messages.isEmpty());

    click(*form, "CmdNr_1"); // EF2
    QCOMPARE(form->SelectedWheel(0), 1);
    const QStringList ef2 = *form->placement().WheelFilters.at(1);
    for (int p = 0; p < 8; ++p) {
        QVERIFY(child(*form, QString("FrmObjective_%1").arg(p))->isVisibleTo(form.get()));
        QCOMPARE(combo(*form, "CmbFilter", p)->currentText(), ef2[p]);
        QCOMPARE(combo(*form, "CmbIDPotential", p)->currentIndex(),
                 combo(*form, "CmbFilter", p)->currentIndex());
        QVERIFY(combo(*form, "CmbFilter", p)->isEnabled());
    }
    // Picking by code number moves the name, and the other way round.
    QComboBox* names = combo(*form, "CmbFilter", 2);
    QComboBox* codes = combo(*form, "CmbIDPotential", 2);
    choose(codes, 5);
    QCOMPARE(names->currentIndex(), 5);
    choose(names, 3);
    QCOMPARE(codes->currentIndex(), 3);
    QCOMPARE(names->count(), codes->count());

    // A chosen filter that is not stored is marked until Store, also while another mode's wheel shows.
    QVERIFY(form->isMarkedUnstored(2));
    QVERIFY(child(*form, "Changed_2")->accessibleDescription().startsWith("changes from " + ef2[2] + " to "));
    QVERIFY(!form->isMarkedUnstored(1));
    form->showWheel(6);
    QVERIFY(form->isMarkedUnstored(2));
    QCOMPARE(child<QLabel>(*form, "LbPosition_2")->text(), QString("3"));
    choose(names, names->findText(ef2[2]));
    QVERIFY(!form->isMarkedUnstored(2)); // chosen back as stored
    choose(names, 3);

    // Typing in an open list narrows it; Enter chooses the first entry left, Escape nothing.
    auto* finding = static_cast<FindingComboBox*>(names);
    finding->showPopup();
    QTest::keyClicks(finding->findingList(), "lp 5");
    const QAbstractItemModel* shown = finding->findingList()->model();
    QVERIFY(shown->rowCount() >= 2);
    for (int row = 0; row < shown->rowCount(); ++row)
        QVERIFY(shown->index(row, 0).data().toString().contains("LP 5"));
    const QString first = shown->index(0, 0).data().toString();
    const QString second = shown->index(1, 0).data().toString();
    QTest::keyClick(finding->findingList(), Qt::Key_Down);
    QTest::keyClick(finding->findingList(), Qt::Key_Return);
    QCOMPARE(names->currentText(), second);
    QCOMPARE(shown->rowCount(), 0); // the closed list keeps no catalogue alive
    QVERIFY(first != names->currentText());
    QCOMPARE(codes->currentIndex(), names->currentIndex());
    const int chosen = names->currentIndex();
    finding->showPopup();
    QCOMPARE(finding->typedText(), QString());
    QTest::keyClicks(finding->findingList(), "None");
    QTest::keyClick(finding->findingList(), Qt::Key_Escape);
    QCOMPARE(names->currentIndex(), chosen);
    QVERIFY(!finding->findingList()->isVisible());

    click(*form, "CmdNr_4"); // the notch wheel: 4 positions
    QCOMPARE(combo(*form, "CmbFilter", 1)->currentText(), QString("NF 488"));
    QVERIFY(child(*form, "FrmObjective_3")->isVisibleTo(form.get()));
    for (int p = 4; p < 8; ++p)
        QVERIFY(!child(*form, QString("FrmObjective_%1").arg(p))->isVisibleTo(form.get()));

    // A wheel of another mode leaves this row alone.
    form->showWheel(6);
    QCOMPARE(form->SelectedWheel(1), 6);
    QCOMPARE(combo(*form, "CmbFilter", 1)->currentText(), QString("NF 488"));
    QCOMPARE(combo(*form, "CmbFilter", 9)->currentText(), QString("FSet 10 FITC"));
}

void TestWheelEditor::storesExactlyTheWheelsRowsAndKeepsThem() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    const QStringList before = placementRows(path);
    testing::DialogRecorder recorder;
    {
        auto form = start();
        click(*form, "CmdNr_2"); // EF3
        QComboBox* position3 = combo(*form, "CmbFilter", 2);
        const int lp650 = position3->findText("LP 650");
        QVERIFY(lp650 > 0);
        choose(combo(*form, "CmbIDPotential", 2), lp650);
        QVERIFY(form->isMarkedUnstored(2));
        click(*form, "CmdStore_0");
        QVERIFY(!form->isMarkedUnstored(2)); // stored: no mark
        QCOMPARE(form->placement().WheelFilters.at(2)->at(2), QString("LP 650"));
    }
    const QStringList after = placementRows(path);
    QCOMPARE(after.size(), before.size());
    int changed = 0;
    for (int i = 0; i < after.size(); ++i)
        if (after[i] != before[i]) {
            ++changed;
            QCOMPARE(after[i], QString("EF3|3|LP 650"));
        }
    QCOMPARE(changed, 1);

    auto again = start();
    click(*again, "CmdNr_2");
    QCOMPARE(combo(*again, "CmbFilter", 2)->currentText(), QString("LP 650"));
    QVERIFY(recorder.messages.isEmpty());
}

void TestWheelEditor::storesOnlyRowsThatMatchTheirPosition() {
    InstallationRows installation;
    installation.sets = {{"FW1", QVariant()}, {"FW2", QVariant()}, {"FW3", QVariant()}};
    installation.placements = {{"FW1", 1, "Cube A"},     {"FW1", 2, "Cube A"}, {"FW1", 4, "Cube A"},
                               {"FW2", 2, "Sam's Cube"}, {"FW2", 1, "None"},   {"FW3", 1, "None"}};
    installation.catalogue = {{"None", "", "-"},          {"Cube A", "FW1", "a"},
                              {"Cube B", "FW1", "b"},     {"Sam's Cube", "FW2", "s"},
                              {"Joe's Cube", "FW2", "j"}, {"cube a", "FW1", "lower"}};
    installation.favourites = {{"None", " "}};
    testing::Sandbox sandbox;
    const QString path = sandbox.install(installation.statements());
    testing::DialogRecorder recorder;
    auto form = start();
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join("|")));

    // Rows at positions 1, 2 and 4: three positions shown, the first two stored.
    click(*form, "RbMode_1");
    click(*form, "CmdNr_5");
    for (int frame = 8; frame < 11; ++frame)
        choose(combo(*form, "CmbFilter", frame), combo(*form, "CmbFilter", frame)->findText("Cube B"));
    click(*form, "CmdStore_1");
    QCOMPARE(*form->placement().WheelFilters.at(5), QStringList({"Cube B", "Cube B", "Cube B"}));
    // Rows out of order: a position is shown at its row and written only there, so neither moves.
    const QStringList before = placementRows(path);
    click(*form, "CmdNr_6");
    QCOMPARE(combo(*form, "CmbFilter", 8)->currentText(), QString("Sam's Cube"));
    choose(combo(*form, "CmbFilter", 9), combo(*form, "CmbFilter", 9)->findText("Sam's Cube"));
    choose(combo(*form, "CmbFilter", 8), combo(*form, "CmbFilter", 8)->findText("Joe's Cube"));
    click(*form, "CmdStore_1");
    QCOMPARE(placementRows(path), before);
    QVERIFY(recorder.messages.isEmpty());
    const QString note = child<QLabel>(*form, "StatusLine")->text();
    QVERIFY2(note.contains("position 1 (its row holds \"Position\" 2)") &&
                 note.contains("position 2 (its row holds \"Position\" 1)"),
             qPrintable(note));

    // A wheel whose rows have gone: say so and write nothing.
    {
        Database db;
        QVERIFY(db.open(path, nullptr));
        QVERIFY(db.exec("DELETE FROM [Available FilterPlacement] WHERE [ID Available] = 'FW1'",
                        QVariantList(), nullptr));
    }
    click(*form, "CmdNr_5");
    click(*form, "CmdStore_1"); // nothing chosen, nothing to write
    QVERIFY(recorder.messages.isEmpty());
    choose(combo(*form, "CmbFilter", 8), combo(*form, "CmbFilter", 8)->findText("cube a"));
    click(*form, "CmdStore_1");
    QVERIFY(placementRows(path).filter("FW1").isEmpty());
    QVERIFY2(child<QLabel>(*form, "StatusLine")
                 ->text()
                 .contains("'FW1' except position 1 (another program "
                           "removed its row)"),
             qPrintable(child<QLabel>(*form, "StatusLine")->text()));
}

void TestWheelEditor::switchesModesAndPurgesAfterTheCatalogueWindow() {
    testing::Sandbox sandbox;
    sandbox.install(testing::demoStatements());
    testing::DialogRecorder recorder;
    auto form = start();
    click(*form, "CmdNr_3");
    click(*form, "RbMode_2");
    QCOMPARE(form->CurrentMode(), 2);
    QVERIFY(child(*form, "ModeFrame_0")->isHidden());
    QVERIFY(static_cast<QPushButton*>(child(*form, "CmdNr_9"))->isChecked()); // first visit: wheel 9
    click(*form, "CmdNr_10");
    click(*form, "RbMode_0");
    QCOMPARE(form->SelectedWheel(0), 3);
    QCOMPARE(combo(*form, "CmbFilter", 0)->currentText(), form->placement().WheelFilters.at(3)->at(0));

    // Two splitters withdrawn while the beam-splitter list was open: wheel 10's group loses them,
    // the first occurrence only; the HFT group keeps its entries.
    const CandidateList hftBefore = candidatesOf(form->candidates(), wheels::Group::HftNtCandidates);
    candidatesOf(form->candidates(), wheels::Group::NftCandidates).append("NFT 777", "first");
    candidatesOf(form->candidates(), wheels::Group::NftCandidates).append("NFT 777", "second");
    candidatesOf(form->candidates(), wheels::Group::NftCandidates).append("NFT 888", "once");
    dialogs::setModalHandler([&form](QDialog*) {
        // Withdrawn before they were stored: the lists follow, nothing is deleted.
        for (const char* name : {"NFT 777", "NFT 888", "Not there"})
            static_cast<void>(form->session().catalogue().removeCustomerFilter(name, false));
        return 0;
    });
    click(*form, "CmdEdit_2");
    dialogs::setModalHandler({});
    QCOMPARE(form->CatalogueMode(), 2);
    QVERIFY(form->session().catalogue().removedFilters().isEmpty());
    const CandidateList& nft = candidatesOf(form->candidates(), wheels::Group::NftCandidates);
    QCOMPARE(nft.CandidateIds.toStringList().count("NFT 777"), 1);
    QCOMPARE(nft.CandidateCodes.toStringList().last(), QString("second"));
    QVERIFY(!nft.CandidateIds.contains("NFT 888"));
    QCOMPARE(nft.CandidateIds.size(), nft.CandidateCodes.size());
    QCOMPARE(candidatesOf(form->candidates(), wheels::Group::HftNtCandidates).CandidateIds,
             hftBefore.CandidateIds);
    QCOMPARE(combo(*form, "CmbFilter", 16)->count(), nft.CandidateIds.size()); // wheel 10 redisplayed
}

void TestWheelEditor::endsOnAPlacedFilterMissingFromTheCatalogue() {
    InstallationRows installation;
    installation.sets = {{"FW1", QVariant()}};
    installation.placements = {{"FW1", 1, "None"}, {"FW1", 2, "Lost Cube"}};
    installation.catalogue = {{"None", "", "-"}};
    installation.favourites = {{"None", " "}};
    for (const QString& commandLine : {QString(), QString("/S")}) {
        testing::Sandbox sandbox;
        sandbox.install(installation.statements());
        testing::DialogRecorder recorder;
        auto form = start(commandLine);
        QCOMPARE(recorder.texts(),
                 QStringList({"Error in table 'Potential Filters' ! No Lost Cube - Filter !"}));
        QCOMPARE(recorder.ends, QList<int>({1}));
        QVERIFY(!form->configDb().isOpen());
    }
}

QTEST_MAIN(TestWheelEditor)
#include "test_wheel_editor.moc"

// The start main() begins while the window is built: taken when it is the start the window would run,
// its connection then serving the window's thread (a store through it recorded in the history); run
// again otherwise.
void TestWheelEditor::takesTheStartBegunWhileTheWindowWasBuilt() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    history::recordEveryWrite("filter /S");
    testing::DialogRecorder recorder;
    const auto shown = [](MainWindow& form) {
        QStringList texts{child<QLabel>(form, "Stativ")->text()};
        for (int frame = 0; frame < wheels::FrameCount; ++frame)
            texts << combo(form, "CmbFilter", frame)->currentText()
                  << QString::number(combo(form, "CmbIDPotential", frame)->count());
        return texts;
    };
    const QStringList expected = shown(*start());
    {
        EarlyStart early("/S", path);
        auto form = start("/S", &early);
        QVERIFY(early.taken());
        QCOMPARE(shown(*form), expected);
        click(*form, "CmdNr_2");
        choose(combo(*form, "CmbIDPotential", 2), combo(*form, "CmbFilter", 2)->findText("LP 650"));
        click(*form, "CmdStore_0");
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
    }
    QVERIFY(placementRows(path).contains("EF3|3|LP 650"));
    std::vector<history::Record> records;
    Result error;
    QVERIFY(history::readRecords(history::pathFor(path), {}, &records, &error));
    QVERIFY2(!records.empty() && records.front().summary.contains("EF3"),
             qPrintable(records.empty() ? QString() : records.front().summary));

    // Begun for another command line or file, it is not taken.
    for (const auto& [commandLine, file] : {std::pair<QString, QString>("", path), {"/S", path + "x"}}) {
        EarlyStart other(commandLine, file);
        auto form = start("/S", &other);
        QVERIFY(!other.taken());
        QVERIFY(!child(*form, "CmdHistory")->isHidden());
        click(*form, "CmdNr_2");
        QCOMPARE(combo(*form, "CmbFilter", 2)->currentText(), QString("LP 650"));
    }

    // A favourite the start would write: the early start wrote nothing, so the window's start runs.
    createDatabase(path, {"DELETE FROM [Favourite Filters] WHERE [ID Potential] = 'LP 650'"});
    {
        EarlyStart early("", path);
        auto form = start("", &early);
        QVERIFY(!early.taken());
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
    }
    QCOMPARE(exactRows(path, "Favourite Filters").filter("'LP 650'").size(), 1);

    // Beside the journal of a writer that died mid-write, the window's own start puts the file
    // back and says so.
    const QString crashed = sandbox.path("crashed.sqlite");
    {
        sqlite3* writer = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &writer), SQLITE_OK);
        for (const char* sql : {"PRAGMA cache_size = 1", "BEGIN",
                                "UPDATE [Potential Filters] SET [Summary] = [Summary] || ' changed'",
                                "UPDATE [Available FilterPlacement] SET [ID Potential] = 'None'"})
            QCOMPARE(sqlite3_exec(writer, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        QVERIFY(QFile::copy(path, crashed) && QFile::copy(path + "-journal", crashed + "-journal"));
        sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(writer);
    }
    sandbox.setDatabasePath(crashed);
    EarlyStart early("/S", crashed);
    auto form = start("/S", &early);
    QVERIFY(!early.taken());
    QVERIFY2(child<QLabel>(*form, "StatusLine")->text().contains("An interrupted write had left"),
             qPrintable(child<QLabel>(*form, "StatusLine")->text()));
}
