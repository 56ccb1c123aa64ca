#include "core/startup/startup.h"
#include "core/vocabulary/vocabulary.h"
#include "gui/mainwindow/main_window.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void refusesInvalidCommandLines();
    void checksTheDatabaseVersion();
    void showsTheDemoInstallationInServiceMode();
    void startsUserAndMarlinVariants();
    void choosesTheFcsLoaderInServiceModeOnly();
    void reportsAMissingOrBrokenDatabase();
    void browseRefusesFilesThatAreNotDatabases();
    void convertsAnAccessFileWhenAsked();
    void closesThroughTheCloseButton();
    void endsByLeavingTheEventLoops(); // last: the program counts as ending afterwards
};

using testing::child;

namespace {

std::unique_ptr<MainWindow> start(const QString& commandLine) {
    auto form = std::make_unique<MainWindow>();
    form->load(commandLine);
    return form;
}

QStringList withVersion(const QString& version) {
    return testing::smallInstallation(version);
}

} // namespace

void TestStartup::refusesInvalidCommandLines() {
    testing::Sandbox sandbox;
    sandbox.install(testing::smallInstallation());
    for (const QString& bad : {QString("-S"), QString(" /S"), QString("/S "), QString("/x")}) {
        testing::DialogRecorder recorder;
        auto form = start(bad);
        QCOMPARE(recorder.texts(), QStringList({"Invalid command line argument"}));
        QCOMPARE(recorder.messages.first().title, QString("Filter Control"));
        QCOMPARE(recorder.ends, QList<int>({0}));
    }
    for (const QString& good : {QString("/S"), QString("/s")}) {
        testing::DialogRecorder recorder;
        auto form = start(good);
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
        QVERIFY(recorder.ends.isEmpty());
        QVERIFY(!child(*form, "CmdFile")->isHidden());
        QVERIFY(!child(*form, "Browse")->isHidden());
    }
}

void TestStartup::checksTheDatabaseVersion() {
    const QString refused = "Current System Database version 2.0499 not valid (should be at least 2.05 )!";
    for (const auto& [commandLine, title] :
         {std::pair<QString, QString>{"/S", "filter.exe"}, {"", "Filter Control"}}) {
        testing::Sandbox sandbox;
        sandbox.install(withVersion("2.0499"));
        testing::DialogRecorder recorder;
        auto form = start(commandLine);
        QCOMPARE(recorder.texts(), QStringList({refused}));
        QCOMPARE(recorder.messages.first().title, title);
        QVERIFY(!form->DatabaseValid());
        QVERIFY(recorder.ends.isEmpty());
        QVERIFY(child(*form, "CmdClose")->isEnabled());
        QCOMPARE(child<QLabel>(*form, "Stativ")->text(), QString()); // nothing loaded
    }
    for (const QString& version : {QString("2.05"), QString("2.1"), QString("2.050")}) {
        testing::Sandbox sandbox;
        sandbox.install(withVersion(version));
        testing::DialogRecorder recorder;
        auto form = start("/S");
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(version));
        QVERIFY(form->DatabaseValid());
        QCOMPARE(child<QLabel>(*form, "Stativ")->text(), QString("Stand S"));
    }
}

void TestStartup::showsTheDemoInstallationInServiceMode() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    testing::DialogRecorder recorder;
    auto form = start("/S");
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
    QCOMPARE(child<QLabel>(*form, "Database")->text(), path);
    QCOMPARE(child<QLabel>(*form, "Stativ")->text(), QString("Inverted Stand IS-200 motorized"));
    for (const char* config : {"Config_0", "Config_1"})
        QCOMPARE(child<QLabel>(*form, config)->text(), QString("Confocal LSM-V & Spectral Detection"));
    QVERIFY(!child(*form, "Config_0")->isHidden());
    QVERIFY(child(*form, "CmdFile")->isEnabled());
    QVERIFY(child(*form, "CmdStore_0")->isEnabled());
    QVERIFY(child(*form, "CmdEdit_0")->isEnabled());
    QVERIFY(!child(*form, "ModeFrame_0")->isHidden());
    QVERIFY(child(*form, "ModeFrame_1")->isHidden());
    QVERIFY(!form->MarlinScanUnit());
    // Every control the other windows and tests address exists under its name, and every wheel
    // the load found can be reached.
    for (int i = 0; i < wheels::ButtonCount; ++i) {
        auto* wheel = child<QPushButton>(*form, QString("CmdNr_%1").arg(i));
        QVERIFY2(!wheel->isEnabled() || !wheel->isHidden(), qPrintable(wheel->objectName()));
    }
    for (int i = 0; i < wheels::FrameCount; ++i) {
        child(*form, QString("FrmObjective_%1").arg(i));
        child<QComboBox>(*form, QString("CmbFilter_%1").arg(i));
        child<QComboBox>(*form, QString("CmbIDPotential_%1").arg(i));
        QCOMPARE(child<QLabel>(*form, QString("LbPosition_%1").arg(i))->text(), QString::number(i % 8 + 1));
    }
}

void TestStartup::startsUserAndMarlinVariants() {
    {
        testing::Sandbox sandbox;
        QStringList statements = testing::smallInstallation();
        // The user start-up reads only the scan unit and the stand.
        statements << "INSERT INTO [Available FilterSets] VALUES ('FW1', 'Do not use')"
                   << "ALTER TABLE [Available Systems] DROP COLUMN [ID FCS Unit]"
                   << "ALTER TABLE [Available Systems] DROP COLUMN [ID Configuration]";
        sandbox.install(statements);
        testing::DialogRecorder recorder;
        auto form = start("");
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
        QVERIFY(child(*form, "Browse")->isHidden());
        QVERIFY(child(*form, "CmdFile")->isHidden());
        QVERIFY(child(*form, "RbMode_0")->isHidden());
        QVERIFY(child(*form, "RbMode_2")->isHidden());
        QVERIFY(child<QRadioButton>(*form, "RbMode_1")->isChecked());
        QCOMPARE(form->CurrentMode(), 1);
        QVERIFY(!child(*form, "ModeFrame_1")->isHidden());
        QVERIFY(child(*form, "ModeFrame_0")->isHidden());
        QCOMPARE(child<QLabel>(*form, "Config_1")->text(), QString()); // the user load leaves it empty
        // The usable "FW1" set turns the first cube button into the FW1 wheel.
        QCOMPARE(child<QPushButton>(*form, "CmdNr_5")->text(), QString("FW1"));
        QVERIFY(child(*form, "CmdNr_5")->isEnabled());
        for (const char* hidden : {"CmdNr_6", "CmdNr_7", "CmdNr_8"})
            QVERIFY(child(*form, hidden)->isHidden());
    }
    {
        testing::Sandbox sandbox;
        QStringList statements = testing::smallInstallation("2.05", "LSM 710 marlin");
        statements.replaceInStrings("('FW1', NULL)", "('FW1', 'Do not use')");
        statements << "ALTER TABLE [Available Systems] DROP COLUMN [ID FCS Unit]";
        sandbox.install(statements);
        testing::DialogRecorder recorder;
        auto marlin = start("");
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
        QVERIFY(marlin->MarlinScanUnit());
        QVERIFY(marlin->DatabaseValid());
        QVERIFY(marlin->findChild<QWidget*>("Browse")->isHidden());
        QVERIFY(!marlin->findChild<QWidget*>("RbMode_0")->isHidden());
        QCOMPARE(marlin->findChild<QPushButton*>("CmdNr_5")->text(),
                 QString("1"));     // "Do not use": no FW1 rule
        auto service = start("/S"); // the service start-up needs the FCS unit
        QVERIFY(!service->MarlinScanUnit());
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(recorder.texts().first().contains("'ID FCS Unit'"), qPrintable(recorder.texts().first()));
    }
}

void TestStartup::choosesTheFcsLoaderInServiceModeOnly() {
    testing::Sandbox sandbox;
    QStringList statements = testing::smallInstallation("2.05", "None", "FCS 3");
    statements
        << "DELETE FROM [Available FilterSets]"
        << "INSERT INTO [Available FilterSets] VALUES ('FCS EF1', NULL), ('FW2', NULL), ('DBS', NULL), "
           "('MBS', NULL)"
        << "INSERT INTO [Available FilterPlacement] VALUES ('FCS EF1', 1, 'None'), ('MBS', 1, 'HFT 1'), "
           "('DBS', 1, 'None')";
    sandbox.install(statements);
    testing::DialogRecorder recorder;
    auto service = start("/S");
    // Both changers can be reached: MBS on button 9, DBS on button 10.
    for (const auto& [button, caption] :
         {std::pair<QString, QString>{"CmdNr_9", "MBS"}, {"CmdNr_10", "DBS"}}) {
        auto* changer = child<QPushButton>(*service, button);
        QCOMPARE(changer->text(), caption);
        QVERIFY(changer->isEnabled() && !changer->isHidden());
    }
    service->showWheel(10);
    QVERIFY(!child(*service, "FrmObjective_16")->isHidden());
    QVERIFY(child(*service, "CmdNr_0")->isEnabled());
    QVERIFY(child(*service, "CmdNr_11")->isHidden());
    QVERIFY(!child(*service, "CmdFile")->isHidden());
    auto user = start("");
    QCOMPARE(user->CurrentMode(), 1);
    QCOMPARE(child<QPushButton>(*user, "CmdNr_9")->text(), QString("HFT")); // the user load, not the FCS one
    QVERIFY(child(*user, "CmdNr_6")->isEnabled());
    QVERIFY(!child(*user, "CmdNr_0")->isEnabled());
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('|')));
}

void TestStartup::reportsAMissingOrBrokenDatabase() {
    {
        testing::Sandbox sandbox; // nothing configured at all
        testing::DialogRecorder recorder;
        auto form = start("/S");
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(
            recorder.texts().first().contains(vocabulary::noDatabaseConfigured())); // as filterctl says it
        QVERIFY(recorder.texts().first().contains("machine.ini"));
        QVERIFY(recorder.texts().first().contains("Browse"));
        QVERIFY(recorder.ends.isEmpty());
        QVERIFY(child(*form, "Browse")->isEnabled());
        QVERIFY(child(*form, "CmdClose")->isEnabled());
        QVERIFY(!child(*form, "CmdFile")->isEnabled());
    }
    {
        testing::Sandbox sandbox;
        const QString missing = sandbox.path("gone.sqlite");
        sandbox.setDatabasePath(missing);
        testing::DialogRecorder recorder;
        auto form = start("");
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.texts().first().contains(missing));
        QCOMPARE(recorder.ends, QList<int>({1}));
    }
    {
        testing::Sandbox sandbox;
        sandbox.install({"CREATE TABLE [System Versions] ([Version Name] TEXT)"});
        testing::DialogRecorder recorder;
        auto form = start("/S");
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.texts().first().contains("'Available Systems'"));
        QVERIFY(child(*form, "Browse")->isEnabled());
    }
}

void TestStartup::browseRefusesFilesThatAreNotDatabases() {
    testing::Sandbox sandbox;
    sandbox.install(testing::smallInstallation());
    QFile text(sandbox.path("readme.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a database\n");
    text.close();
    QFile access(sandbox.path("old.mdb"));
    QVERIFY(access.open(QIODevice::WriteOnly));
    access.write(QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(4000, '\0'));
    access.close();

    testing::DialogRecorder recorder;
    auto form = start("/S");
    QVERIFY(recorder.messages.isEmpty());
    recorder.nextFiles = {sandbox.path("readme.txt"), sandbox.path("old.mdb")};
    for (const char* expected : {"not a database file", "Access database file"}) {
        recorder.messages.clear();
        QTest::mouseClick(child(*form, "Browse"), Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(recorder.texts().first().contains(expected), qPrintable(recorder.texts().first()));
        QVERIFY(child(*form, "Browse")->isEnabled());
        for (const char* unusable :
             {"CmdClose", "CmdFile", "CmdStore_0", "CmdEdit_0", "RbMode_0", "RbMode_1", "CmdNr_0"})
            QVERIFY2(!child(*form, unusable)->isEnabled(), unusable);
    }

    // A cancelled dialog changes nothing; a path whose folder is gone names the path.
    const QString shown = child<QLabel>(*form, "Database")->text();
    recorder.messages.clear();
    QTest::mouseClick(child(*form, "Browse"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(*form, "Database")->text(), shown);
    QVERIFY(recorder.messages.isEmpty());
    const QString lost = sandbox.path("lost/System_Configurations.sqlite");
    recorder.nextFiles = {lost};
    QTest::mouseClick(child(*form, "Browse"), Qt::LeftButton);
    QCOMPARE(recorder.texts(), QStringList({lost + ": Path not found"}));
    QVERIFY(child(*form, "CmdClose")->isEnabled());
}

void TestStartup::convertsAnAccessFileWhenAsked() {
    testing::Sandbox sandbox;
    sandbox.install(testing::smallInstallation());
    const QString nwind = sandbox.path("nwind.mdb");
    const QString dates = sandbox.path("dates.mdb");
    const QString nwindReference = testing::referenceFile("access/nwind.mdb");
    const QString datesReference = testing::referenceFile("access/DateTestDatabase.mdb");
    REQUIRE_REFERENCE(nwindReference);
    REQUIRE_REFERENCE(datesReference);
    QVERIFY(QFile::copy(nwindReference, nwind));
    QVERIFY(QFile::copy(datesReference, dates));
    {
        // Browse: asked, converted beside it with the report shown, then loaded as any database.
        testing::DialogRecorder recorder;
        auto form = start("/S");
        recorder.nextFiles = {nwind};
        recorder.answers = {QMessageBox::Yes};
        QTest::mouseClick(child(*form, "Browse"), Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 3);
        QVERIFY(recorder.texts()[0].contains(sandbox.path("nwind.sqlite") + "' and open that?"));
        QVERIFY(recorder.texts()[1].startsWith("converted 9 tables, 4032 rows (JET3) into"));
        QVERIFY(recorder.texts()[1].contains("\"Umsätze\": 830 rows, 14 fields"));
        QVERIFY(recorder.texts()[1].contains("The settings still name the Access file"));
        QVERIFY2(recorder.texts()[2].contains("'System Versions'"), qPrintable(recorder.texts()[2]));
        QCOMPARE(child<QLabel>(*form, "Database")->text(), sandbox.path("nwind.sqlite"));
        QVERIFY(child(*form, "Browse")->isEnabled());
    }
    {
        // Start-up on a configured Access file: declined, nothing is written.
        sandbox.setDatabasePath(dates);
        testing::DialogRecorder recorder;
        recorder.answers = {QMessageBox::No};
        auto form = start("/S");
        QCOMPARE(recorder.messages.size(), 2);
        QVERIFY(recorder.texts()[1].contains("Choose a database with Browse"));
        QVERIFY(!QFile::exists(sandbox.path("dates.sqlite")));
    }
    {
        // Accepted: the program goes on with the new file.
        testing::DialogRecorder recorder;
        recorder.answers = {QMessageBox::Yes};
        auto form = start("/S");
        QCOMPARE(recorder.messages.size(), 3);
        QVERIFY(recorder.texts()[1].startsWith("converted 1 table, 6 rows (JET4)"));
        QCOMPARE(child<QLabel>(*form, "Database")->text(), sandbox.path("dates.sqlite"));
        QVERIFY(recorder.ends.isEmpty());
    }
}

void TestStartup::closesThroughTheCloseButton() {
    testing::Sandbox sandbox;
    sandbox.install(testing::smallInstallation());
    testing::DialogRecorder recorder;
    auto form = start("/S");
    form->move(30, 60);
    QTest::mouseClick(child(*form, "CmdClose"), Qt::LeftButton);
    QCOMPARE(recorder.ends, QList<int>({0}));
    QVERIFY(!form->configDb().isOpen());
    QSettings user(sandbox.path("user.ini"), QSettings::IniFormat);
    QVERIFY(user.contains("software/veltrano/filter/filtercontrolform/Left"));

    form->close(); // the title bar: saves the position and ends too
    QCOMPARE(recorder.ends, QList<int>({0, 0}));
}

void TestStartup::endsByLeavingTheEventLoops() {
    // Without a test's handler the end leaves every event loop, a modal window's too, so that
    // main() returns the status and destructors run; nothing modal is shown after it.
    QDialog modal;
    bool modalReturned = false;
    QTimer::singleShot(0, &modal, [&] {
        QTimer::singleShot(0, [] { dialogs::endProgram(3); });
        modal.exec();
        modalReturned = true;
    });
    QCOMPARE(QCoreApplication::exec(), 3);
    QVERIFY(modalReturned);
    QVERIFY(dialogs::endRequested());
    QCOMPARE(dialogs::message("after the end", "t", QMessageBox::Yes | QMessageBox::No),
             int(QMessageBox::NoButton));
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
