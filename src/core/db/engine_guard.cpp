// Connections set up for files from elsewhere; see engine_guard.h.

#include "core/db/engine_guard.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <array>
#include <atomic>
#include <ctime>
#include <sqlite3.h>

namespace engine_guard {

namespace {

std::atomic<qint64> boundForTests{0};

qint64 nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now); // a few tens of nanoseconds: asked every few thousand steps
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Each connection's bound, set when it is set up (an address a closed connection had is set again
// by the next connection that gets it).
QMutex boundsLock;
QHash<sqlite3*, qint64> boundsNs;

qint64 boundNsOf(sqlite3* engine) {
    const QMutexLocker locked(&boundsLock);
    return boundsNs.value(engine, 10000 * qint64(1000000));
}

// The engine's time on a statement: the time between two progress reports counts only when it is
// short, so that a caller's own work between rows (a diff stepping two walks in turn, a window
// waiting for the user) is not counted against the statement. Kept per connection on the thread
// that runs it (a connection runs on one thread at a time); a statement's start resets it.
struct Clock {
    sqlite3* engine = nullptr;
    qint64 boundNs = 0;
    qint64 engineNs = 0;
    qint64 lastNs = 0;
};
constexpr qint64 ContinuousNs = 20 * 1000000;
thread_local std::array<Clock, 16> clocks{};
thread_local size_t nextClock = 0;

Clock& clockOf(sqlite3* engine) {
    for (Clock& clock : clocks)
        if (clock.engine == engine)
            return clock;
    Clock& reused = clocks[nextClock++ % clocks.size()]; // in turn: a thread runs few at once
    reused = {engine, boundNsOf(engine), 0, nowNs()};
    return reused;
}

int statementBegun(unsigned, void*, void* statement, void*) {
    sqlite3* engine = sqlite3_db_handle(static_cast<sqlite3_stmt*>(statement));
    clockOf(engine) = {engine, boundNsOf(engine), 0, nowNs()};
    return 0;
}

int progress(void* context) {
    Clock& clock = clockOf(static_cast<sqlite3*>(context));
    const qint64 now = nowNs();
    if (now - clock.lastNs < ContinuousNs)
        clock.engineNs += now - clock.lastNs;
    clock.lastNs = now;
    return clock.engineNs > clock.boundNs ? 1 : 0;
}

} // namespace

qint64 statementBoundMs(qint64 fileBytes) {
    if (const qint64 forTests = boundForTests.load())
        return forTests;
    const qint64 tenMiB = 10 * 1024 * 1024;
    return 10000 + std::max<qint64>(0, fileBytes - tenMiB) / tenMiB * 1000;
}

QString statementBoundText(qint64 fileBytes) {
    const qint64 ms = statementBoundMs(fileBytes);
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

void harden(sqlite3* engine, qint64 fileBytes) {
    if (!engine)
        return;
    sqlite3_db_config(engine, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(engine, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(engine, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(engine, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    // Far above what the program writes (a measured curve of 100,000 points is under 2 MB of text,
    // its longest statement a few KB) and far below what would exhaust memory.
    sqlite3_limit(engine, SQLITE_LIMIT_LENGTH, 64 * 1024 * 1024);
    sqlite3_limit(engine, SQLITE_LIMIT_SQL_LENGTH, 1024 * 1024);
    sqlite3_limit(engine, SQLITE_LIMIT_COLUMN, 1000);
    sqlite3_limit(engine, SQLITE_LIMIT_EXPR_DEPTH, 200);
    sqlite3_limit(engine, SQLITE_LIMIT_COMPOUND_SELECT, 20);
    sqlite3_limit(engine, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 1000);
    sqlite3_limit(engine, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
    sqlite3_trace_v2(engine, SQLITE_TRACE_STMT, &statementBegun, nullptr);
    {
        const QMutexLocker locked(&boundsLock);
        boundsNs.insert(engine, statementBoundMs(fileBytes) * 1000000);
    }
    sqlite3_progress_handler(engine, 4096, &progress, engine);
}

void harden(sqlite3* engine, const QString& path) {
    harden(engine, QFileInfo(path).size());
}

sqlite3* openReadOnly(const char* file) {
    sqlite3* engine = nullptr;
    if (!file || !*file ||
        sqlite3_open_v2(file, &engine, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close(engine);
        return nullptr;
    }
    harden(engine, QString::fromUtf8(file));
    return engine;
}

void setStatementBoundMs(qint64 ms) {
    boundForTests = ms;
}

} // namespace engine_guard
