// Times the history of changes at the size a busy facility reaches: bench_history [RECORDS...]
// (default 100000) builds the demo installation with that many records in its history and prints
// what a service engineer waits for: the history window opened and shown (median), every record
// in it, each key of a search typed, and the preview of an undo (median).

#include "core/history/history.h"
#include "core/history/record_lines.h"
#include "core/session/placement_session.h"
#include "gui/history/history_window.h"
#include "median_time.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sqlite3.h>

namespace {

bool run(sqlite3* db, const QByteArray& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "%s\n", message);
    sqlite3_free(message);
    return false;
}

// The demo installation with one real store recorded, its record then repeated to the count.
bool build(const QString& path, int records) {
    QFile demo(QStringLiteral(FC_DEMO_SQL));
    sqlite3* db = nullptr;
    if (!demo.open(QIODevice::ReadOnly) || sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK ||
        !run(db, demo.readAll()))
        return false;
    sqlite3_close(db);
    PlacementSession session(startup::Variant::Service);
    if (!session.start(path).complete())
        return false;
    QStringList chosen = session.installation().placement.WheelFilters[0].value();
    chosen[1] = QStringLiteral("LP 560");
    if (!session.storeWheel(0, chosen, {}).stored)
        return false;
    sqlite3_open(history::pathFor(path).toUtf8().constData(), &db);
    const QByteArray copies = QByteArray::number(records);
    const bool filled = run(
        db,
        "BEGIN; CREATE TEMP TABLE n AS WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k "
        "WHERE i < " +
            copies +
            ") SELECT i FROM k;"
            "INSERT INTO actions (at, user, host, program, configuration, stand, scan_unit, summary) "
            "SELECT strftime('%Y-%m-%dT%H:%M:%f', 'now', '-' || i || ' minutes'), 'user' || (i % 7), 'host', "
            "'filter /S', configuration, stand, scan_unit, 'EF' || (i % 4 + 1) || ' ' || (i % 8 + 1) || ': "
            "BP ' || "
            "i || ' -> LP ' || i FROM n, (SELECT * FROM actions LIMIT 1);"
            "INSERT INTO changes (action, tbl, row, kind, place, wheel) SELECT a.id, c.tbl, c.row, c.kind, "
            "c.place, "
            "c.wheel FROM actions a, (SELECT * FROM changes LIMIT 1) c WHERE a.id > 1;"
            "INSERT INTO cells (change, side, col, value) SELECT ch.id, v.side, v.col, v.value FROM changes "
            "ch, "
            "(SELECT * FROM cells WHERE change = 1) v WHERE ch.id > 1; COMMIT;");
    sqlite3_close(db);
    return filled;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    history::recordEveryWrite(QStringLiteral("bench"));
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(QByteArray(argv[i]).toInt());
    if (sizes.empty())
        sizes = {100000};
    for (int size : sizes) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("System_Configurations.sqlite"));
        if (!build(path, size)) {
            std::fprintf(stderr, "could not build the installation\n");
            return 1;
        }
        Database db;
        if (!db.open(path, nullptr))
            return 1;
        std::vector<history::Record> records;
        const double read =
            medianMs(7, [&] { history::readRecords(history::pathFor(path), {}, &records, nullptr); });
        history::RecordLines lines;
        const Timing linesRead = timeRuns(
            3, [&] { history::readRecordLines(history::pathFor(path), 0, 0, &lines, nullptr, nullptr); });
        const double window = medianMs(7, [&] {
            HistoryWindow shown(db);
            shown.show();
            QCoreApplication::processEvents();
        });
        QElapsedTimer clock;
        clock.start();
        HistoryWindow open(db);
        open.show();
        while (open.isReading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double allRead = clock.nsecsElapsed() / 1e6;
        auto* search = open.findChild<QLineEdit*>(QStringLiteral("Search"));
        std::vector<double> keys;
        for (int round = 0; round < 7; ++round) {
            search->clear();
            QCoreApplication::processEvents();
            for (QChar key : QStringLiteral("EF1 2")) {
                clock.restart();
                QTest::keyClicks(search, QString(key));
                QCoreApplication::processEvents();
                keys.push_back(clock.nsecsElapsed() / 1e6);
            }
        }
        std::sort(keys.begin(), keys.end());
        history::UndoPlan plan;
        const double preview = medianMs(7, [&] { history::planUndo(db, records.back().id, &plan, nullptr); });
        std::printf(
            "%8d records | every record read %6.1f ms; as the window's lines %.1f / %.1f / %.1f ms\n"
            "         | history window shown %6.1f ms (goal 200), all records in it %6.1f ms\n"
            "         | a key of a search %5.1f / %5.1f / %5.1f ms (min / median / max of 35, goal 100)\n"
            "         | undo preview %5.1f ms (goal 50)\n",
            int(records.size()), read, linesRead.min, linesRead.median, linesRead.max, window, allRead,
            keys.front(), keys[keys.size() / 2], keys.back(), preview);
    }
    return 0;
}
