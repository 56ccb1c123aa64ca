#include "core/catalogue/catalogue_tables.h"
#include "core/db/cursor.h"
#include "core/history/history.h"
#include "gui/history/history_window.h"
#include "gui/mainwindow/main_window.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QtTest>
#include <sqlite3.h>

// The history window on real files: the records newest first, a search, the undo's preview and the
// undo itself, the main window showing the result.
class TestHistoryWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { history::recordEveryWrite(QStringLiteral("filter /S")); }
    void undoesAStoreAndACatalogueRemoval();
    void readsALongHistoryBehindTheNewest();
};

using namespace testing;

namespace {

QStringList catalogueRows(const QString& path) {
    Database db;
    db.open(path, nullptr, Database::Access::ReadOnly);
    QStringList rows;
    auto cursor =
        db.openQuery("SELECT rowid, quote([ID Potential]), quote([Type]), quote([Veltrano Code No]) "
                     "FROM [Potential Filters] ORDER BY rowid",
                     {}, nullptr);
    for (; cursor && !cursor->atEnd(); cursor->next())
        rows << cursor->textAt(0) + cursor->textAt(1) + cursor->textAt(2) + cursor->textAt(3);
    return rows;
}

// Chooses the first record whose line holds the text, as a user searching the list does.
void find(HistoryWindow& window, const QString& text) {
    auto* search = child<QLineEdit>(window, "Search");
    search->clear();
    QTest::keyClicks(search, text);
    auto* records = child<QTableView>(window, "Records");
    records->setFocus();
    QTest::keyClick(records, Qt::Key_Home);
}

QString preview(HistoryWindow& window) {
    return child<QPlainTextEdit>(window, "UndoPreview")->toPlainText();
}

} // namespace

void TestHistoryWindow::undoesAStoreAndACatalogueRemoval() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    const QStringList placement = placementRows(path);
    const QStringList catalogue = catalogueRows(path);
    DialogRecorder recorder;
    MainWindow form;
    form.load("/S");
    QVERIFY(!child(form, "CmdHistory")->isHidden());
    choose(child<QComboBox>(form, "CmbFilter_1"), "LP 560");
    click(form, "CmdStore_0");
    {
        Database other; // as the catalogue windows' own handle
        QVERIFY(other.open(path, nullptr));
        bool found = false;
        QVERIFY(catalogue::deleteFirstNamed(other, "Potential Filters", "KP 545", &found, nullptr) && found);
    }
    QVERIFY(recorder.messages.isEmpty());

    const auto exercise = [&](HistoryWindow& window) {
        // Newest first: the removal, then the store.
        auto* records = child<QTableView>(window, "Records");
        QVERIFY(records->model()->index(0, 4).data().toString().contains("removed 'KP 545'"));
        find(window, "EF1 2");
        QVERIFY2(child<QLabel>(window, "RecordCount")->text().startsWith("1 of "),
                 qPrintable(child<QLabel>(window, "RecordCount")->text()));
        QVERIFY2(preview(window).contains("EF1 2: LP 560 -> BP 505-530"), qPrintable(preview(window)));
        click(window, "CmdUndo");
        QCOMPARE(placementRows(path), placement);

        find(window, "KP 545");
        QVERIFY2(preview(window).contains("puts 'KP 545' back into 'Potential Filters'"),
                 qPrintable(preview(window)));
        click(window, "CmdUndo");
        QCOMPARE(catalogueRows(path), catalogue);

        // The store's record, undone already: its row no longer holds what it wrote.
        find(window, "EF1 2: BP 505-530 -> LP 560");
        QVERIFY2(preview(window).contains("A later change touched EF1 2"), qPrintable(preview(window)));
        QVERIFY(!child(window, "CmdUndo")->isEnabled());
    };
    dialogs::setModalHandler([&](QDialog* dialog) {
        exercise(*static_cast<HistoryWindow*>(dialog));
        return 0;
    });
    click(form, "CmdHistory");
    dialogs::setModalHandler({});
    // The main window shows the installation as the undo left it.
    QCOMPARE(child<QComboBox>(form, "CmbFilter_1")->currentText(), QString("BP 505-530"));
    QVERIFY(!form.isMarkedUnstored(1));
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('\n')));
}

// A history longer than the window shows at once: the newest records are there at once and a
// search covers them; the older ones follow, searched too; the window closes or undoes while they
// are being read, without a lock in the way or a crash.
void TestHistoryWindow::readsALongHistoryBehindTheNewest() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    {
        PlacementSession session(startup::Variant::Service);
        QVERIFY(session.start(path).complete());
        QStringList chosen = session.installation().placement.WheelFilters[0].value();
        chosen[1] = "LP 560";
        QVERIFY(session.storeWheel(0, chosen, {}).stored);
    }
    sqlite3* history = nullptr;
    QCOMPARE(sqlite3_open(history::pathFor(path).toUtf8().constData(), &history), SQLITE_OK);
    // 700 copies of the store's record, each with its own words and the store's rows.
    QCOMPARE(
        sqlite3_exec(history,
                     "BEGIN; INSERT INTO actions (at, user, host, program, summary) WITH RECURSIVE n(i) AS "
                     "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 700) SELECT at, user, host, program, "
                     "'copy ' || i || ' of the store' FROM n, (SELECT * FROM actions ORDER BY id DESC LIMIT "
                     "1); INSERT INTO changes (action, tbl, row, kind, place, wheel) SELECT a.id, c.tbl, "
                     "c.row, c.kind, c.place, c.wheel FROM actions a, (SELECT * FROM changes ORDER BY id "
                     "DESC LIMIT 1) c WHERE a.summary LIKE 'copy %'; INSERT INTO cells (change, side, col, "
                     "value) SELECT ch.id, v.side, v.col, v.value FROM changes ch, (SELECT * FROM cells "
                     "WHERE change = (SELECT max(change) FROM cells)) v WHERE ch.action IN (SELECT id FROM "
                     "actions WHERE summary LIKE 'copy %'); COMMIT;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(history);
    Database db;
    QVERIFY(db.open(path, nullptr));
    DialogRecorder recorder;
    {
        HistoryWindow window(db);
        QVERIFY(window.isReading()); // its records arrive through the event loop
        auto* records = child<QTableView>(window, "Records");
        QCOMPARE(records->model()->rowCount(), 500);
        QTest::keyClicks(child<QLineEdit>(window, "Search"), "COPY 1");
        QVERIFY2(child<QLabel>(window, "RecordCount")
                     ->text()
                     .endsWith("of 500 records, reading the older ones\u2026"),
                 qPrintable(child<QLabel>(window, "RecordCount")->text()));
        QTRY_VERIFY(!window.isReading());
        // copy 1, 10-19, 100-199: the older ones (below 201) found as they arrive.
        QCOMPARE(child<QLabel>(window, "RecordCount")->text(), QString("111 of 702 records"));
        QCOMPARE(records->model()->index(110, 4).data().toString(), QString("copy 1 of the store"));
    }
    {
        HistoryWindow window(db);
        QVERIFY(window.isReading());
        click(window, "CmdClose"); // closed while reading
        QVERIFY(!window.isReading());
    }
    {
        HistoryWindow window(db);
        QVERIFY(window.isReading());
        QVERIFY(child(window, "CmdUndo")->isEnabled()); // the newest copy: EF1 2 back to BP 505-530
        click(window, "CmdUndo");
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.texts().join('\n')));
        QVERIFY(window.changedInstallation());
        QVERIFY(placementRows(path).contains("EF1|2|BP 505-530"));
        QTRY_VERIFY(!window.isReading());
        QCOMPARE(child<QLabel>(window, "RecordCount")->text(), QString("703 of 703 records"));
    }
}

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
