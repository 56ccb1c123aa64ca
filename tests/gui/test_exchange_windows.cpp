#include "cli/filterctl.h"
#include "core/db/cursor.h"
#include "core/exchange/xlsx_writer.h"
#include "core/settings/settings_store.h"
#include "core/startup/helper_programs.h"
#include "gui/catalogue/new_filter_window.h"
#include "gui/exchange/import_window.h"
#include "gui/exchange/package_window.h"
#include "gui/mainwindow/main_window.h"
#include "support/dialog_recorder.h"
#include "support/filterctl_run.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestExchangeWindows : public QObject {
    Q_OBJECT
private slots:
    void importFillsTheNewFilterForm();
    void appliesPackagesWheelByWheel();
    void mainWindowReloadsAfterTheConfigurations();
    void previewsWhatStoreChanges();
    void previewIsWhatStoreAndFilterctlWrite();
    void refusesAFilterTheCatalogueLacks();
    void windowAndFilterctlReadTheSameWheels();
    void readsAWorkbookWithTheWindowResponsive();
};

using namespace testing;

namespace {

// filterctl in process, on the same input as the window beside it.

QString workbook(const QString& name) {
    return qEnvironmentVariable("FC_WORKBOOKS") + "/" + name;
}
QString text(QWidget& window, const QString& field) {
    return child<QLineEdit>(window, field)->text();
}
void remember(const QString& value, const QString& path) {
    settings::EnsureUserKey(settings::FilesSubKey);
    settings::WriteUserString(settings::FilesSubKey, value, path);
}

// A package workbook of the given cells, remembered as the configurations window's workbook.
QString rememberedPackage(const testing::Sandbox& sandbox, const QString& name, const SheetCells& cells) {
    const QString package = sandbox.path(name + ".xlsx");
    Result error;
    if (!writeXlsx(package, name, cells, &error))
        qFatal("%s", qPrintable(error.description));
    remember("Browse", package);
    return package;
}
QStringList placement(const QString& path, const QString& wheel) {
    Database db;
    db.open(path, nullptr);
    QStringList filters;
    auto cursor =
        db.openQuery("SELECT * FROM [Available FilterPlacement] WHERE [ID Available] = ? ORDER BY rowid",
                     {wheel}, nullptr);
    for (; !cursor->atEnd(); cursor->next())
        filters << cursor->text("ID Potential");
    return filters;
}

} // namespace

void TestExchangeWindows::importFillsTheNewFilterForm() {
    for (const char* file : {"import_cases.xls", "import_cases.xlsx"}) {
        testing::Sandbox sandbox;
        Database db;
        QVERIFY(db.open(sandbox.install(testing::demoStatements()), nullptr));
        Candidates candidates;
        CatalogueService catalogue(db, candidates, true);
        CatalogueContext context;
        context.catalogue = &catalogue;
        NewFilterWindow form(context);
        testing::DialogRecorder recorder;
        remember("BrowseImport", workbook(file));
        ImportWindow import(form);
        // The remembered workbook is listed and its first sheet imported at once.
        auto* sheets = child<QComboBox>(import, "CmbFilter");
        QCOMPARE(sheets->count(), 5);
        QCOMPARE(recorder.texts(), QStringList({"No correct filter sheet - no center wavelength!"}));
        const QStringList filled{text(form, "Producer"), text(form, "FilterName"), text(form, "Code"),
                                 text(form, "Summary"),  text(form, "Lower"),      text(form, "Center")};
        QCOMPARE(filled, QStringList({"Veltrano", "BP Test", "T-BP", "Test band", "500", ""}));
        QCOMPARE(child<QComboBox>(form, "CmbType")->currentText(), QString("BP"));

        choose(sheets, 1); // "producer" in A1: nothing changes
        QCOMPARE(recorder.texts().last(), QString("No correct filter sheet!"));
        QCOMPARE(text(form, "FilterName"), QString("BP Test"));

        choose(sheets, 4); // a long pass with a numeric series number
        QCOMPARE(recorder.messages.size(), 2);
        QCOMPARE(text(form, "Code"), QString("2.05"));
        QCOMPARE(text(form, "Cut_Off"), QString("550"));
        QVERIFY(text(form, "Lower").isEmpty() && !child(form, "Lower")->isEnabled());

        // Another producer, and a type this form does not offer: the form is emptied only after
        // the message, so the user sees what was refused.
        QString nameDuringMessage;
        recorder.onMessage = [&] { nameDuringMessage = text(form, "FilterName"); };
        choose(sheets, 2);
        recorder.onMessage = nullptr;
        QCOMPARE(recorder.texts().last(), QString("No correct filter type!"));
        QVERIFY(!nameDuringMessage.isEmpty());
        QCOMPARE(text(form, "Producer"), QString("Veltrano"));
        QVERIFY(!child(form, "Producer")->isEnabled());
        QVERIFY(text(form, "FilterName").isEmpty() && text(form, "Cut_Off").isEmpty());

        // A cancelled choice keeps the workbook; a damaged one is refused with its name.
        QTest::mouseClick(child(import, "Browse"), Qt::LeftButton);
        QCOMPARE(sheets->count(), 5);
        QTemporaryDir dir;
        QFile damaged(dir.filePath("damaged.xlsx"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("PK\x03\x04 not really");
        damaged.close();
        recorder.nextFiles = {damaged.fileName()};
        QTest::mouseClick(child(import, "Browse"), Qt::LeftButton);
        QVERIFY(recorder.texts().last().contains("damaged.xlsx"));
        QCOMPARE(sheets->count(), 0);
        QCOMPARE(settings::ReadUserString(settings::FilesKeyPath, "BrowseImport"), damaged.fileName());
    }
}

void TestExchangeWindows::appliesPackagesWheelByWheel() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.database().open(path, nullptr));
    testing::DialogRecorder recorder;
    remember("Browse", workbook("Filter_Configurations.xlsx"));
    PackageWindow window(session);
    auto* packages = child<QComboBox>(window, "CmbPaket");
    auto* wheels = child<QComboBox>(window, "IDAvailable");
    QCOMPARE(packages->count(), 2);
    QCOMPARE(wheels->itemText(0), QString("HT"));
    QCOMPARE(wheels->count(), 9); // four upper, four lower and the filled optional lower one
    QCOMPARE(child<QLabel>(window, "FilterName_0")->text(), QString("HFT 488/543"));
    QCOMPARE(child<QLabel>(window, "IDPotential_0")->text(), QString("000000-3102-701"));
    QCOMPARE(child<QGroupBox>(window, "ModeFrame")->title(), QString("Beam Splitters Corvid"));

    const QStringList others = placement(path, "NT1") + placement(path, "EF1");
    QTest::mouseClick(child(window, "CmdStore"), Qt::LeftButton);
    QCOMPARE(placement(path, "HT"),
             QStringList({"HFT 488/543", "HFT 405/488", "HFT 488/561/633", "HFT 405/488/561", "NT 80/20",
                          "NT 50/50", "Plate", "None"}));
    QCOMPARE(placement(path, "NT1") + placement(path, "EF1"), others);
    choose(wheels, 5);
    QCOMPARE(child<QGroupBox>(window, "ModeFrame")->title(), QString("Emission Filters"));
    QCOMPARE(child<QLabel>(window, "LStore")->text(), QString("unstored"));
    choose(wheels, 0);
    QCOMPARE(child<QLabel>(window, "LStore")->text(), QString("stored"));
    QVERIFY(!child(window, "CmdStore")->isEnabled());
    choose(packages, 1);
    QCOMPARE(child<QLabel>(window, "LStore")->text(), QString("unstored"));
    choose(wheels, 7); // EF3: no filters in this package
    QVERIFY(child(window, "CmdStore")->isHidden() && child(window, "FilterName_0")->isHidden());

    // A wheel the database does not have: said, nothing written.
    remember("Browse", workbook("package_cases.xls"));
    PackageWindow cases(session);
    choose(child<QComboBox>(cases, "IDAvailable"), 4);
    QTest::mouseClick(child(cases, "CmdStore"), Qt::LeftButton);
    QVERIFY(recorder.texts().last().contains("'MBS'"));
    QCOMPARE(child<QLabel>(cases, "LStore")->text(), QString("unstored"));

    // A remembered workbook that is gone is not opened; a damaged one ends the program.
    remember("Browse", sandbox.path("gone.xls"));
    PackageWindow gone(session);
    QCOMPARE(child<QComboBox>(gone, "CmbPaket")->count(), 0);
    recorder.nextFiles = {path};
    QTest::mouseClick(child(gone, "Browse"), Qt::LeftButton);
    QVERIFY(recorder.texts().last().contains("not an Excel workbook"));
    QCOMPARE(recorder.ends, QList<int>({1}));
    // Forgotten, so that the window opens again next time, with its Browse.
    QCOMPARE(settings::ReadUserString(settings::FilesKeyPath, "Browse"), QString());
}

void TestExchangeWindows::mainWindowReloadsAfterTheConfigurations() {
    testing::Sandbox sandbox;
    sandbox.install(testing::demoStatements());
    testing::DialogRecorder recorder;
    remember("Browse", workbook("Filter_Configurations.xls"));
    MainWindow form;
    form.load("/S");
    // An unstored choice in the row of the mode last edited in the catalogue windows is redrawn
    // by the activation that follows every modal window.
    dialogs::setModalHandler([](QDialog*) { return 0; });
    form.editClicked(1);
    form.switchMode(1);
    auto* cube = child<QComboBox>(form, "CmbFilter_8");
    const QString placed = cube->currentText();
    choose(cube, placed == "None" ? 1 : 0);
    form.switchMode(2);
    dialogs::setModalHandler([](QDialog* window) {
        choose(child<QComboBox>(*window, "IDAvailable"), 1); // NT1
        QTest::mouseClick(child(*window, "CmdStore"), Qt::LeftButton);
        return 0;
    });
    QTest::mouseClick(child(form, "CmdFile"), Qt::LeftButton);
    dialogs::setModalHandler({});
    QCOMPARE(*form.placement().WheelFilters.at(10), QStringList({"None", "NFT 545", "NFT 490", "Mirror"}));
    form.showWheel(10);
    QCOMPARE(child<QComboBox>(form, "CmbFilter_17")->currentText(), QString("NFT 545"));
    QCOMPARE(cube->currentText(), placed);
    QVERIFY(recorder.messages.isEmpty());
}

void TestExchangeWindows::previewsWhatStoreChanges() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    testing::DialogRecorder recorder;
    remember("Browse", workbook("Filter_Configurations.xlsx"));
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.database().open(path, nullptr));
    PackageWindow window(session);
    choose(child<QComboBox>(window, "CmbPaket"), "FITC - TRITC");
    choose(child<QComboBox>(window, "IDAvailable"), "EF1");
    // The package swaps three of EF1's filters; the other five stay.
    const auto marks = [&] {
        QStringList changed;
        for (int p = 0; p < 8; ++p)
            if (child<QLabel>(window, QString("Preview_%1").arg(p))->font().bold())
                changed << child<QLabel>(window, QString("Preview_%1").arg(p))->accessibleDescription();
        return changed;
    };
    QCOMPARE(marks(), QStringList({"changes from BP 505-550 to LP 560", "changes from LP 505 to BP 505-550",
                                   "changes from LP 560 to LP 505"}));
    QCOMPARE(child<QLabel>(window, "PreviewCount")->text(), QString("3 of 8 positions change"));
    QCOMPARE(child<QLabel>(window, "Preview_2")->text(), QString("\u25C6 now BP 505-550"));
    QCOMPARE(child<QLabel>(window, "FilterName_2")->text(), QString("LP 560")); // captions stay as they are
    click(window, "CmdStore");
    QVERIFY(marks().isEmpty());
    QCOMPARE(child<QLabel>(window, "PreviewCount")->text(), QString("Nothing changes"));

    // A wheel without rows says so.
    {
        Database other;
        QVERIFY(other.open(path, nullptr));
        QVERIFY(other.exec("DELETE FROM [Available FilterPlacement] WHERE [ID Available] = 'EF2'",
                           QVariantList(), nullptr));
    }
    choose(child<QComboBox>(window, "IDAvailable"), "EF2");
    QCOMPARE(child<QLabel>(window, "PreviewCount")->text(),
             QString("The database has no rows for the wheel 'EF2'."));
    QVERIFY(recorder.messages.isEmpty());
}

void TestExchangeWindows::previewIsWhatStoreAndFilterctlWrite() {
    // EF1's package leaves position 3 empty: the rows after it do not line up, and keep their filters.
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    const QString copy = sandbox.path("copy.sqlite");
    QVERIFY(QFile::copy(path, copy));
    const QStringList before = placement(path, "EF1");
    SheetCells cells{{{11, 1}, "EF1"}};
    const QStringList offered{"LP 650", "KP 685", "", "BP 505-530", "LP 560", "BP 505-550", "None", "LP 650"};
    for (int q = 0; q < offered.size(); ++q)
        if (!offered[q].isEmpty())
            cells.insert({12 + q, 1}, QString("%1. %2").arg(q + 1).arg(offered[q]));
    testing::DialogRecorder recorder;
    const QString package = rememberedPackage(sandbox, "Gap", cells);
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.database().open(path, nullptr));
    PackageWindow window(session);
    choose(child<QComboBox>(window, "IDAvailable"), "EF1");
    QCOMPARE(child<QLabel>(window, "Preview_0")->text(), QString("\u25C6 now %1").arg(before[0]));
    for (int p : {3, 4, 5, 6, 7})
        QVERIFY2(child<QLabel>(window, QString("Preview_%1").arg(p))->text().startsWith("not written: "),
                 qPrintable(child<QLabel>(window, QString("Preview_%1").arg(p))->text()));
    QVERIFY2(child<QLabel>(window, "PreviewCount")->text().endsWith("not written: position 4, 5, 6, 7, 8"),
             qPrintable(child<QLabel>(window, "PreviewCount")->text()));

    click(window, "CmdStore");
    QStringList expected = before;
    expected[0] = offered[0];
    expected[1] = offered[1];
    QCOMPARE(placement(path, "EF1"), expected);
    QVERIFY(recorder.messages.isEmpty());

    const testing::Run applied = testing::inProcess({"--db", copy, "apply", package});
    QCOMPARE(applied.status, 0);
    QCOMPARE(placement(copy, "EF1"), expected);
    QVERIFY2(
        applied.out.contains("not written: EF1 4 (the next row of the wheel is not its row: its row holds "
                             "\"Position\" 3)"),
        qPrintable(applied.out));
}

void TestExchangeWindows::refusesAFilterTheCatalogueLacks() {
    // A package naming a filter the catalogue lacks would stop the program at its next start: the
    // window previews the refusal and stores nothing, as filterctl apply refuses the same package.
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    const QString copy = sandbox.path("copy.sqlite");
    QVERIFY(QFile::copy(path, copy));
    const QStringList before = placement(path, "EF1");
    SheetCells cells{{{11, 1}, "EF1"}, {{12, 1}, "1. LP 650"}, {{13, 1}, "2. XQ 999"}};
    testing::DialogRecorder recorder;
    const QString package = rememberedPackage(sandbox, "Unknown", cells);
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.database().open(path, nullptr));
    PackageWindow window(session);
    choose(child<QComboBox>(window, "IDAvailable"), "EF1");
    const QString refusal =
        "The filter 'XQ 999' (EF1 2) is not in 'Potential Filters': the program would not start with it.";
    QCOMPARE(child<QLabel>(window, "PreviewCount")->text(), refusal);
    click(window, "CmdStore");
    QCOMPARE(recorder.texts(), QStringList({refusal + " Nothing was written."}));
    QCOMPARE(placement(path, "EF1"), before);

    const testing::Run refused = testing::inProcess({"--db", copy, "apply", package});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains(refusal), qPrintable(refused.err));
    QCOMPARE(placement(copy, "EF1"), before);
    // A filter another program takes out of the catalogue after the preview: Store is refused at
    // its commit, in the same words.
    rememberedPackage(sandbox, "Spare", {{{11, 1}, "EF1"}, {{12, 1}, "1. KP 545"}});
    PackageWindow later(session);
    choose(child<QComboBox>(later, "IDAvailable"), "EF1");
    QVERIFY(child<QLabel>(later, "PreviewCount")->text().startsWith("1 of 1"));
    testing::createDatabase(path, {"DELETE FROM [Potential Filters] WHERE [ID Potential] = 'KP 545'"});
    recorder.messages.clear();
    click(later, "CmdStore");
    QCOMPARE(recorder.texts(), QStringList({"The filter 'KP 545' (EF1 1) is not in 'Potential Filters': the "
                                            "program would not start with it. Nothing was written."}));
    QCOMPARE(placement(path, "EF1"), before);
    // The session starts on both as before.
    PlacementSession again(startup::Variant::Service);
    QVERIFY(again.start(path).complete());
}

void TestExchangeWindows::windowAndFilterctlReadTheSameWheels() {
    // The start-up decisions are the session's: an FCS unit without a scan unit, in both.
    testing::Sandbox sandbox;
    sandbox.install(testing::fcsDemoStatements());
    testing::DialogRecorder recorder;
    MainWindow form;
    form.load("/S");
    QStringList shown;
    for (int button = 0; button < wheels::ButtonCount; ++button)
        if (child(form, QString("CmdNr_%1").arg(button))->isEnabled())
            shown << form.placement().WheelAvailableIds.at(button);
    const testing::Run shownByFilterctl = testing::inProcess({"show"});
    QCOMPARE(shownByFilterctl.status, 0);
    QStringList listed;
    for (const QString& line : shownByFilterctl.out.split('\n'))
        if (line.startsWith("wheel "))
            listed << line.mid(6, line.indexOf(": ") - 6);
    QVERIFY(!listed.isEmpty());
    QCOMPARE(listed, shown);
}

void TestExchangeWindows::readsAWorkbookWithTheWindowResponsive() {
    // A reader that takes its time (here one that only waits): the window goes on handling events,
    // shows its progress and takes a Cancel, which ends the reader.
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    QFile slowReader(sandbox.path("filter-xls-reader"));
    QVERIFY(slowReader.open(QIODevice::WriteOnly));
    slowReader.write("#!/bin/sh\nexec sleep 30\n");
    slowReader.close();
    slowReader.setPermissions(slowReader.permissions() | QFileDevice::ExeOwner);
    const QString readers = helpers::folder();
    helpers::setFolder(sandbox.path(""));
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.database().open(path, nullptr));
    testing::DialogRecorder recorder;
    remember("Browse", workbook("Filter_Configurations.xls"));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(50);
    bool progressShown = false;
    QTimer::singleShot(800, [&progressShown] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* progress = qobject_cast<QProgressDialog*>(window); progress && progress->isVisible()) {
                progressShown = true;
                progress->cancel();
            }
    });
    QElapsedTimer clock;
    clock.start();
    PackageWindow window(session);
    helpers::setFolder(readers);
    QVERIFY(progressShown);
    QVERIFY2(ticks >= 8, qPrintable(QString::number(ticks))); // events went on during the read
    QVERIFY(clock.elapsed() < 5000);                          // cancelled, not waited out
    // A cancel is no fault of the file: no message, the window stays, without the workbook.
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
    QVERIFY(recorder.ends.isEmpty());
    QCOMPARE(child<QComboBox>(window, "CmbPaket")->count(), 0);
}

QTEST_MAIN(TestExchangeWindows)
#include "test_exchange_windows.moc"
