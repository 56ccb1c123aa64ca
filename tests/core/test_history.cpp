#include "support/test_support.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/cursor.h"
#include "core/history/history.h"
#include "core/history/record_lines.h"
#include "core/session/placement_session.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <sqlite3.h>

// The history of changes on real files: every kind of write leaves one record, an undo puts the
// rows back as they were, byte for byte, and refuses where a later change touched them.
class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { history::recordEveryWrite(QStringLiteral("test")); }
    void init() { history::setUnavailableQuestion({}); }
    void recordsAndUndoesAStore();
    void undoesCatalogueAndFavouriteChanges();
    void refusesAWriteItCannotRecord();
    void recordsTwoWritersAtOnce();
    void neverUndoesIntoAnInstallationThatCannotStart();
    void browsesALongHistoryAsLines();
};

using namespace testing;

namespace {

// Every row of a table with its rowid and each value's type, as the engine holds them.
std::vector<history::Record> records(const QString& path) {
    std::vector<history::Record> list;
    Result error;
    if (!history::readRecords(history::pathFor(path), {}, &list, &error))
        qWarning("%s", qPrintable(error.description));
    return list;
}

bool undo(Database& db, qint64 id, bool force, Result* error) {
    history::UndoPlan plan;
    return history::planUndo(db, id, &plan, error) && history::executeUndo(db, plan, force, error);
}

} // namespace

void TestHistory::recordsAndUndoesAStore() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    const QStringList before = exactRows(path, "Available FilterPlacement");
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.start(path).complete());
    // The load completed the favourite list: that is a write of its own.
    const std::vector<history::Record> atLoad = records(path);
    QCOMPARE(int(atLoad.size()), 1);
    QVERIFY2(atLoad.front().summary.startsWith("added '"), qPrintable(atLoad.front().summary));

    QStringList chosen = session.installation().placement.WheelFilters[0].value();
    chosen[1] = "LP 560";
    QVERIFY(session.storeWheel(0, chosen, {}).stored);
    std::vector<history::Record> list = records(path);
    QCOMPARE(int(list.size()), 2);
    const history::Record store = list.front();
    QCOMPARE(store.summary, QString("EF1 2: BP 505-530 -> LP 560"));
    QCOMPARE(store.program, QString("test"));
    QVERIFY2(!store.configuration.isEmpty() && !store.stand.isEmpty() && !store.user.isEmpty(),
             qPrintable(store.configuration + "|" + store.stand + "|" + store.user));

    // A later change of the same row: the undo names it and refuses, unless forced.
    chosen[1] = "KP 685";
    QVERIFY(session.storeWheel(0, chosen, {}).stored);
    history::UndoPlan plan;
    QVERIFY(history::planUndo(session.database(), store.id, &plan, nullptr));
    QVERIFY(plan.hasConflicts());
    QVERIFY2(plan.conflictText().contains("EF1 2"), qPrintable(plan.conflictText()));
    Result error;
    QVERIFY(!history::executeUndo(session.database(), plan, false, &error));
    QVERIFY(undo(session.database(), records(path).front().id, false, &error)); // the later one first
    QVERIFY(undo(session.database(), store.id, false, &error));
    QCOMPARE(exactRows(path, "Available FilterPlacement"), before);
    list = records(path);
    QCOMPARE(int(list.size()), 5);
    QCOMPARE(list.front().undoes, store.id); // an undo is a record of its own
    QCOMPARE(list.front().summary, QString("EF1 2: LP 560 -> BP 505-530"));

    // Filtered by wheel and by text.
    std::vector<history::Record> ef1;
    QVERIFY(history::readRecords(history::pathFor(path), {QDateTime(), "EF1", QString()}, &ef1, nullptr));
    QCOMPARE(int(ef1.size()), 4);
    QVERIFY(history::readRecords(history::pathFor(path), {QDateTime(), "EF2", QString()}, &ef1, nullptr));
    QVERIFY(ef1.empty());
    QVERIFY(history::readRecords(history::pathFor(path), {QDateTime(), QString(), "kp 685"}, &ef1, nullptr));
    QCOMPARE(int(ef1.size()), 2);
    // The newest few, alone and under a filter: the same records as the whole list's first.
    std::vector<history::Record> newest;
    QVERIFY(history::readRecords(history::pathFor(path), {QDateTime(), QString(), QString(), 2}, &newest,
                                 nullptr));
    QCOMPARE(int(newest.size()), 2);
    QCOMPARE(newest[0].id, list[0].id);
    QCOMPARE(newest[1].id, list[1].id);
    QVERIFY(
        history::readRecords(history::pathFor(path), {QDateTime(), "EF1", QString(), 3}, &newest, nullptr));
    QVERIFY(history::readRecords(history::pathFor(path), {QDateTime(), "EF1", QString()}, &ef1, nullptr));
    QCOMPARE(int(newest.size()), 3);
    QCOMPARE(newest.back().id, ef1[2].id);
}

void TestHistory::undoesCatalogueAndFavouriteChanges() {
    Sandbox sandbox;
    const QString path = sandbox.install(
        demoStatements() << "DROP TABLE [Favourite Filters]"
                         << "DELETE FROM [Potential Filters] WHERE [Type] = 'FW1'"
                         << "DELETE FROM [Available FilterSets] WHERE [ID Available] LIKE 'FW%'"
                         << "UPDATE [Available Systems] SET [ID Scan Unit] = 'MARLIN'");
    const QStringList catalogue = exactRows(path, "Potential Filters");
    // A user's load creates the favourite list and completes it: one record.
    PlacementSession user(startup::Variant::User);
    QVERIFY(user.start(path).complete());
    std::vector<history::Record> list = records(path);
    QCOMPARE(int(list.size()), 2);
    QVERIFY2(list[1].summary == "created 'Favourite Filters'; added 'None' to 'Favourite Filters'",
             qPrintable(list[1].summary));
    const qint64 created = list[1].id;
    const qint64 completed = list[0].id;

    Database db;
    QVERIFY(db.open(path, nullptr));
    bool found = false;
    QVERIFY(catalogue::deleteFirstNamed(db, "Potential Filters", "NF 561", &found, nullptr) && found);
    QVERIFY(catalogue::addFavourite(db, "KP 545", "KP", nullptr));
    list = records(path);
    QCOMPARE(list[1].summary, QString("removed 'NF 561' from 'Potential Filters'"));
    QCOMPARE(list[0].summary, QString("added 'KP 545' to 'Favourite Filters'"));
    Result error;
    QVERIFY2(undo(db, list[1].id, false, &error), qPrintable(error.description));
    QCOMPARE(exactRows(path, "Potential Filters"), catalogue); // the same rowid, the same values
    QVERIFY2(undo(db, list[0].id, false, &error), qPrintable(error.description));
    QVERIFY(!exactRows(path, "Favourite Filters").join('\n').contains("KP 545"));
    // The created table goes again with the rows that record added, once nothing else is in it.
    QVERIFY(!undo(db, created, false, &error));
    QVERIFY2(undo(db, completed, false, &error), qPrintable(error.description));
    QVERIFY2(undo(db, created, false, &error), qPrintable(error.description));
    QVERIFY(!db.hasTable("Favourite Filters"));
}

void TestHistory::refusesAWriteItCannotRecord() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    QDir().mkpath(history::pathFor(path)); // a folder in its place: it cannot be opened
    const QStringList before = exactRows(path, "Available FilterPlacement");
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false); // a load that writes nothing
    QVERIFY(session.start(path).complete());
    QStringList chosen = session.installation().placement.WheelFilters[0].value();
    chosen[1] = "LP 560";
    PlacementSession::StoreReport report = session.storeWheel(0, chosen, {});
    QVERIFY(!report.stored);
    QVERIFY2(report.message.startsWith("The history of changes '") &&
                 report.message.endsWith("Nothing was stored."),
             qPrintable(report.message));
    QCOMPARE(exactRows(path, "Available FilterPlacement"), before);

    // The user may go on without a history for the rest of the run.
    QString asked;
    history::setUnavailableQuestion([&](const QString& reason, bool) {
        asked = reason;
        return history::WhenUnavailable::WithoutHistory;
    });
    report = session.storeWheel(0, chosen, {});
    QVERIFY(report.stored);
    QVERIFY(!asked.isEmpty() && history::isSuspended());
    QVERIFY(exactRows(path, "Available FilterPlacement") != before);
}

void TestHistory::recordsTwoWritersAtOnce() {
    // Two programs store at the same time; each write that committed has its one record.
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    QProcess other;
    other.start(QStringLiteral(STORE_LOOP), {path, "EF2", "BP 420-480", "BP 450-490", "40"});
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false);
    QVERIFY(session.start(path).complete());
    int stored = 0;
    for (int round = 0; round < 40; ++round) {
        QStringList chosen = session.installation().placement.WheelFilters[0].value();
        chosen[2] = round % 2 ? "BP 505-550" : "LP 560";
        const bool changes = chosen[2] != session.shownRows(0)[2].filter;
        const auto report = session.storeWheel(0, chosen, {});
        stored += report.stored && changes ? 1 : 0;
        QVERIFY2(report.stored || report.message.contains("in use by another program"),
                 qPrintable(report.message));
    }
    QVERIFY(other.waitForFinished(60000));
    QCOMPARE(other.exitCode(), 0);
    std::vector<history::Record> list = records(path);
    const auto mine =
        std::count_if(list.begin(), list.end(), [](const history::Record& r) { return r.program == "test"; });
    const auto theirs = list.size() - size_t(mine);
    QCOMPARE(int(mine), stored);
    QCOMPARE(int(theirs), QString::fromUtf8(other.readAllStandardOutput()).trimmed().toInt());
}

void TestHistory::neverUndoesIntoAnInstallationThatCannotStart() {
    // A filter added to the catalogue and then placed: undoing its addition would stop the program at
    // its next start, so the undo is refused, even forced, and nothing changes.
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    Database db;
    QVERIFY(db.open(path, nullptr));
    QVERIFY(db.exec("INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES ('BP 999 New', 'BP')",
                    QVariantList(), nullptr));
    const qint64 added = records(path)[0].id;
    QVERIFY(
        db.exec("UPDATE [Available FilterPlacement] SET [ID Potential] = 'BP 999 New' WHERE [ID Available] = "
                "'EF1' AND [Position] = 2",
                QVariantList(), nullptr));
    const QStringList catalogue = exactRows(path, "Potential Filters");
    const int recorded = int(records(path).size());
    Result error;
    QVERIFY(!undo(db, added, true, &error));
    QCOMPARE(error.code, dberr::Refused);
    QVERIFY2(error.description.contains(
                 "The filter 'BP 999 New' (EF1 2) is not in 'Potential Filters': the program would not start "
                 "with it. Nothing was written."),
             qPrintable(error.description));
    QCOMPARE(exactRows(path, "Potential Filters"), catalogue);
    QCOMPARE(int(records(path).size()), recorded);
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.start(path).complete());
}

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"

namespace {

// Generated records the windows must show as written: other users' names, a separator inside a
// summary, writes still pending (never shown). Enough of them to be read in two halves.
void fillHistory(const QString& installation, int count, QRandomGenerator& random) {
    const QStringList users = {"anna", "Müller", "LAB@ADMIN", "ops"};
    const QStringList summaries = {"EF1 2: BP 505-530 -> LP 560", "added 'KP 685' to 'Potential Filters'",
                                   "HT 3: HFT 405/488 -> None", QString("odd\x1fname"), "ÉTÉ 525/50"};
    sqlite3* history = nullptr;
    QCOMPARE(sqlite3_open(history::pathFor(installation).toUtf8().constData(), &history), SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(history,
                                "INSERT INTO actions (at, user, host, program, summary, undoes, pending) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?)",
                                -1, &insert, nullptr),
             SQLITE_OK);
    const auto bindText = [&](int column, const QString& text) {
        sqlite3_bind_text(insert, column, text.toUtf8().constData(), -1, SQLITE_TRANSIENT);
    };
    sqlite3_exec(history, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
        bindText(1, QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(i).toString(Qt::ISODateWithMs));
        bindText(2, users[random.bounded(int(users.size()))]);
        bindText(3, QString("host%1").arg(random.bounded(3)));
        bindText(4, random.bounded(2) ? "filter /S" : "filterctl");
        bindText(5, summaries[random.bounded(int(summaries.size()))] + QString::number(random.bounded(100)));
        if (random.bounded(10) == 0)
            sqlite3_bind_int64(insert, 6, random.bounded(50) + 1);
        else
            sqlite3_bind_null(insert, 6);
        if (random.bounded(50) == 0)
            sqlite3_bind_int(insert, 7, 1);
        else
            sqlite3_bind_null(insert, 7);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    QCOMPARE(sqlite3_exec(history, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(history);
}

QString lineOf(const history::Record& record) {
    return QStringList{QString::number(record.id),
                       record.at,
                       record.user + '@' + record.host,
                       record.program,
                       record.summary,
                       record.undoes ? QString::number(record.undoes) : QString()}
        .join(QChar(0x1f));
}

} // namespace

// The history window's lines: the newest read first and the older after them give every complete
// record, field for field, in readRecords' order; a search finds exactly the records whose fields
// hold the text, ignoring case, whether typed anew or narrowed by one more key.
void TestHistory::browsesALongHistoryAsLines() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.start(path).complete()); // writes the first record, and with it the history
    QRandomGenerator random(40);
    fillHistory(path, 52000, random);
    if (QTest::currentTestFailed())
        return;
    const std::vector<history::Record> expected = records(path);
    QVERIFY(expected.size() > 50000);

    // A history another program made without the fields is refused with the file named, not shown
    // as empty lines.
    const QString foreign = sandbox.path("foreign.history.sqlite");
    createDatabase(foreign, {"CREATE TABLE actions (id INTEGER PRIMARY KEY, at TEXT)", "INSERT INTO actions "
                                                                                       "(at) VALUES ('x')"});
    for (const int count : {500, 0}) {
        history::RecordLines none;
        Result refused;
        QVERIFY(!history::readRecordLines(foreign, 0, count, &none, nullptr, &refused));
        QVERIFY2(refused.description.contains("foreign.history.sqlite"), qPrintable(refused.description));
        QVERIFY(none.isEmpty());
    }

    history::RecordLines lines;
    history::RecordLines older;
    Result error;
    QVERIFY(history::readRecordLines(history::pathFor(path), 0, 500, &lines, nullptr, &error));
    QCOMPARE(lines.size(), 500);
    QVERIFY(history::readRecordLines(history::pathFor(path), lines.oldestId(), 0, &older, nullptr, &error));
    lines.appendOlder(std::move(older));
    QCOMPARE(size_t(lines.size()), expected.size());
    QStringList haystacks;
    for (int row = 0; row < lines.size(); ++row) {
        const history::Record shown = lines.record(row);
        const history::Record& want = expected[size_t(row)];
        const QString wantSummary = QString(want.summary).replace(QChar(0x1f), QChar(0x241f));
        if (shown.id != want.id || shown.at != want.at || shown.user != want.user ||
            shown.host != want.host || shown.program != want.program || shown.summary != wantSummary ||
            shown.undoes != want.undoes)
            QFAIL(qPrintable(QString("row %1: %2 against %3").arg(row).arg(lineOf(shown), lineOf(want))));
        haystacks << lineOf(shown);
    }

    const auto plainFind = [&](const QString& text, const std::vector<int>* among) {
        std::vector<int> rows;
        for (int row = 0; row < haystacks.size(); ++row)
            if ((!among || std::binary_search(among->begin(), among->end(), row)) &&
                haystacks[row].contains(text, Qt::CaseInsensitive))
                rows.push_back(row);
        return rows;
    };
    QStringList needles = {"ef1 2",         "MÜLLER",       "lab@admin", "2026-01-01T00:0",
                           "\u00e9T\u00c9", "nothing here", "",          "\u241f"};
    for (int i = 0; i < 24; ++i) { // pieces of real lines, in random case
        const QString& line = haystacks[random.bounded(int(haystacks.size()))];
        const int from = random.bounded(int(line.size()));
        QString piece = line.mid(from, 1 + random.bounded(6)).remove(QChar(0x1f));
        for (QChar& c : piece)
            if (random.bounded(2))
                c = c.toUpper();
        needles << piece;
    }
    for (int n = 0; n < needles.size(); ++n) {
        const QString& needle = needles[n];
        const std::vector<int> found = lines.find(needle);
        QVERIFY2(found == plainFind(needle, nullptr), qPrintable("searching " + needle));
        // filterctl history --search reads through the same rule.
        std::vector<history::Record> read;
        QVERIFY(
            history::readRecords(history::pathFor(path), {QDateTime(), QString(), needle}, &read, &error));
        QCOMPARE(read.size(), found.size());
        for (size_t i = 0; i < read.size(); ++i)
            QCOMPARE(read[i].id, expected[size_t(found[i])].id);
        const QString longer = needle + "1";
        QVERIFY2(lines.find(longer, &found) == plainFind(longer, &found),
                 qPrintable("narrowing to " + longer));
    }
}
