#include "core/catalogue/new_filter.h"
#include "core/db/database.h"
#include "core/exchange/store.h"
#include "gui/mainwindow/main_window.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QtTest>

// The database as other programs and damage leave it: incomplete loads, locks, changes made by
// another program, unusable rows and read-only files. Nothing is written that the user did not choose.
class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void refusesToStoreAfterAnIncompleteLoad();
    void reportsALockAsALock();
    void asksBeforeOverwritingAnotherProgramsChange();
    void namesPositionsThatCannotBeWritten();
    void movesNothingBetweenRows();
    void saysWhenTheDatabaseIsReadOnly();
    void namesAPathTooLongForTheSettings();
};

using namespace testing;

namespace {

std::unique_ptr<MainWindow> start(const QString& commandLine = "/S") {
    auto form = std::make_unique<MainWindow>();
    form->load(commandLine);
    return form;
}

QString statusLine(MainWindow& form) {
    auto* line = child<QLabel>(form, "StatusLine");
    return line->isHidden() ? QString() : line->text();
}

// Another program's connection to the same file.
struct OtherProgram {
    Database db;
    explicit OtherProgram(const QString& path) {
        if (!db.open(path, nullptr))
            qFatal("cannot open the database a second time");
    }
    void set(const QString& wheel, int position, const QString& filter) {
        QVERIFY(db.exec("UPDATE [Available FilterPlacement] SET [ID Potential] = ? WHERE [ID Available] = ? "
                        "AND [Position] = ?",
                        {filter, wheel, position}, nullptr));
    }
};

} // namespace

void TestFaults::refusesToStoreAfterAnIncompleteLoad() {
    for (const QString& commandLine : {QString("/S"), QString()}) {
        Sandbox sandbox;
        const QString path = sandbox.install(demoStatements() << "DROP TABLE [Potential Filters]");
        const QStringList before = placementRows(path);
        DialogRecorder recorder;
        auto form = start(commandLine);
        QVERIFY2(statusLine(*form).contains("'Potential Filters'"), qPrintable(statusLine(*form)));
        QVERIFY(!form->loadComplete());
        const int mode = commandLine.isEmpty() ? 1 : 0;
        form->showWheel(form->SelectedWheel(mode));
        click(*form, QString("CmdStore_%1").arg(mode));
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.texts().first().startsWith("Nothing was stored"));
        QCOMPARE(placementRows(path), before);
    }
}

void TestFaults::reportsALockAsALock() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    const QStringList before = placementRows(path);
    {
        OtherProgram other(path);
        QVERIFY(other.db.exec("BEGIN EXCLUSIVE", QVariantList(), nullptr));
        for (const QString& commandLine : {QString("/S"), QString()}) {
            DialogRecorder recorder;
            auto form = start(commandLine);
            QCOMPARE(recorder.messages.size(), 1);
            QVERIFY2(recorder.texts().first().contains("in use by another program"),
                     qPrintable(recorder.texts().first()));
            QVERIFY(recorder.texts().first().contains(QDir::toNativeSeparators(path)));
            QCOMPARE(recorder.ends, commandLine.isEmpty() ? QList<int>{1} : QList<int>{});
        }
        other.db.rollback();
    }
    DialogRecorder recorder;
    auto form = start();
    QVERIFY(recorder.messages.isEmpty());
    OtherProgram other(path);
    QVERIFY(other.db.exec("BEGIN IMMEDIATE", QVariantList(), nullptr)); // a writer that has not finished
    choose(child<QComboBox>(*form, "CmbFilter_2"), "None");
    click(*form, "CmdStore_0");
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY(recorder.texts().first().startsWith("The configuration database is in use by another program."));
    other.db.rollback();
    QCOMPARE(placementRows(path), before);
    click(*form, "CmdStore_0"); // once the other program has finished, the same press stores
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY(placementRows(path).contains("EF1|3|None"));
}

void TestFaults::asksBeforeOverwritingAnotherProgramsChange() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    DialogRecorder recorder;
    auto form = start();
    OtherProgram other(path);
    other.set("EF1", 2, "LP 560");
    // A position the user left as it was keeps the other program's change, without a question.
    choose(child<QComboBox>(*form, "CmbFilter_2"), "None");
    click(*form, "CmdStore_0");
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY(placementRows(path).contains("EF1|2|LP 560"));
    QVERIFY(placementRows(path).contains("EF1|3|None"));

    // One the user changed too is named in the question.
    other.set("EF1", 3, "BP 505-550");
    choose(child<QComboBox>(*form, "CmbFilter_1"), "KP 685");
    choose(child<QComboBox>(*form, "CmbFilter_2"), "LP 650");
    recorder.answers = {QMessageBox::No};
    click(*form, "CmdStore_0");
    QCOMPARE(recorder.messages.size(), 1);
    const dialogs::Message question = recorder.messages.first();
    QVERIFY(question.buttons & QMessageBox::No);
    QVERIFY2(question.text.contains("position 2, 3") && question.text.contains("'LP 560'") &&
                 question.text.contains("'KP 685'"),
             qPrintable(question.text));
    QVERIFY(placementRows(path).contains("EF1|2|LP 560"));
    QVERIFY(placementRows(path).contains("EF1|3|BP 505-550")); // nothing was written

    recorder.answers = {QMessageBox::Yes};
    click(*form, "CmdStore_0");
    QVERIFY(placementRows(path).contains("EF1|2|KP 685"));
    QVERIFY(placementRows(path).contains("EF1|3|LP 650"));
    click(*form, "CmdStore_0"); // its own store is no other program's change
    QCOMPARE(recorder.messages.size(), 2);

    // A change made while the user was asked is not overwritten either.
    other.set("EF1", 4, "LP 650");
    choose(child<QComboBox>(*form, "CmbFilter_3"), "BP 505-530");
    recorder.onMessage = [&] { other.set("EF1", 4, "KP 685"); };
    recorder.answers = {QMessageBox::Yes};
    click(*form, "CmdStore_0");
    recorder.onMessage = nullptr;
    QVERIFY(recorder.texts().last().contains("while it was being stored"));
    QVERIFY(placementRows(path).contains("EF1|4|KP 685"));
}

void TestFaults::namesPositionsThatCannotBeWritten() {
    Sandbox sandbox;
    const QString path = sandbox.install(
        demoStatements()
        << "UPDATE [Available FilterPlacement] SET [Position] = 'three' WHERE [ID Available] = "
           "'EF1' AND [Position] = 3");
    DialogRecorder recorder;
    auto form = start();
    choose(child<QComboBox>(*form, "CmbFilter_2"), "None");
    choose(child<QComboBox>(*form, "CmbFilter_3"), "None");
    click(*form, "CmdStore_0");
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY(placementRows(path).contains("EF1|4|None"));
    QVERIFY(placementRows(path).contains("EF1|three|BP 505-550"));
    QVERIFY2(statusLine(*form).contains("position 3") && statusLine(*form).contains("not a number"),
             qPrintable(statusLine(*form)));

    // No filter name is ever written, whatever the frames show.
    WheelStorePlan plan;
    const std::vector<PlacementRow>& rows = form->session().shownRows(0);
    QVERIFY(planShownWheelStore(form->configDb(), "EF1", rows, {"LP 560", ""}, &plan, nullptr));
    QCOMPARE(int(plan.writes.size()), 1);
    QVERIFY(plan.notWrittenNote().contains("position 2 (no filter is chosen)"));
}

void TestFaults::movesNothingBetweenRows() {
    // Another tool deleted EF1's first row and inserted it again: its rows stand as 2, 3, ... 8, 1.
    Sandbox sandbox;
    const QString path = sandbox.install(
        demoStatements()
        << "DELETE FROM [Available FilterPlacement] WHERE [ID Available] = 'EF1' AND [Position] = 1"
        << "INSERT INTO [Available FilterPlacement] VALUES ('EF1', 1, 'None')");
    const QStringList before = placementRows(path);
    DialogRecorder recorder;
    auto form = start();
    click(*form, "CmdStore_0"); // nothing touched: nothing written, nothing asked
    QCOMPARE(placementRows(path), before);
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY(statusLine(*form).isEmpty());

    choose(child<QComboBox>(*form, "CmbFilter_0"), "LP 650"); // shows the row of "Position" 2
    choose(child<QComboBox>(*form, "CmbFilter_7"), "KP 685"); // the row of "Position" 1
    click(*form, "CmdStore_0");
    QCOMPARE(placementRows(path), before);
    QVERIFY(recorder.messages.isEmpty());
    QVERIFY2(statusLine(*form).contains("position 1 (its row holds \"Position\" 2)") &&
                 statusLine(*form).contains("position 8 (its row holds \"Position\" 1)"),
             qPrintable(statusLine(*form)));
    QVERIFY(form->isMarkedUnstored(0)); // what was not written stays marked

    // Another program swaps two rows' "Position" after the load: neither is written over.
    const QString inOrder = sandbox.install(demoStatements(), "in-order.sqlite");
    auto fresh = start();
    OtherProgram other(inOrder);
    QVERIFY(other.db.exec("UPDATE [Available FilterPlacement] SET [Position] = 7 - [Position] WHERE "
                          "[ID Available] = 'EF1' AND [Position] IN (3, 4)", QVariantList(), nullptr));
    const QStringList swapped = placementRows(inOrder);
    choose(child<QComboBox>(*fresh, "CmbFilter_2"), "LP 650");
    choose(child<QComboBox>(*fresh, "CmbFilter_3"), "KP 685");
    click(*fresh, "CmdStore_0");
    QCOMPARE(placementRows(inOrder), swapped);
    QVERIFY2(statusLine(*fresh).contains("position 3 (its row holds \"Position\" 4)") &&
                 statusLine(*fresh).contains("position 4 (its row holds \"Position\" 3)"),
             qPrintable(statusLine(*fresh)));
}

void TestFaults::saysWhenTheDatabaseIsReadOnly() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    const QStringList before = placementRows(path);
    Database readOnly; // as the engine opens a file it may not write
    QVERIFY(readOnly.open(path, nullptr, Database::Access::ReadOnly));
    Result error;
    QVERIFY(!readOnly.checkWritable("Available FilterPlacement", &error));
    QCOMPARE(error.code, dberr::ReadOnly);
    WheelStorePlan plan;
    QVERIFY(planPackageWheelStore(readOnly, "EF1", {"LP 560", "LP 560"}, &plan, nullptr));
    const StoreResult result = executeStorePlan(readOnly, plan);
    QCOMPARE(result.outcome, StoreResult::Outcome::Failed);
    QVERIFY2(result.error.description.contains("is read-only"), qPrintable(result.error.description));

    DialogRecorder recorder;
    auto form = start();
    QVERIFY(form->configDb().exec("PRAGMA query_only = 1", QVariantList(), nullptr));
    choose(child<QComboBox>(*form, "CmbFilter_2"), "None");
    click(*form, "CmdStore_0");
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY2(recorder.texts().first().contains("is read-only"), qPrintable(recorder.texts().first()));
    QCOMPARE(placementRows(path), before);
}

void TestFaults::namesAPathTooLongForTheSettings() {
    Sandbox sandbox;
    sandbox.setDatabasePath("/" + QString(260, 'x') + ".sqlite");
    DialogRecorder recorder;
    auto form = start();
    QCOMPARE(recorder.messages.size(), 1);
    QVERIFY2(recorder.texts().first().contains("longer than the 248 characters"),
             qPrintable(recorder.texts().first()));
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
