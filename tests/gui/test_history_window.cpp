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

// The history window on real files: the records newest first, a search, the undo's preview and the
// undo itself, the main window showing the result.
class TestHistoryWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { history::recordEveryWrite(QStringLiteral("filter /S")); }
    void undoesAStoreAndACatalogueRemoval();
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

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
