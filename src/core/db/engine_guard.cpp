// Connections set up for files from elsewhere; see engine_guard.h.

#include "core/db/engine_guard.h"

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <ctime>
#include <sqlite3.h>

namespace engine_guard {

namespace {

std::atomic<qint64> boundForTests{0};

qint64 nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now); // a few nanoseconds: asked every few thousand steps
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// When the statement running on this thread began, and when the engine last reported progress.
// A pause longer than a second between reports is the caller's own time between rows: the bound
// counts the engine's time, so the count begins again there.
thread_local qint64 statementStart = 0;
thread_local qint64 lastProgress = 0;

int statementBegun(unsigned, void*, void*, void*) {
    statementStart = lastProgress = nowMs();
    return 0;
}

int progress(void* bound) {
    const qint64 now = nowMs();
    if (now - lastProgress > 1000)
        statementStart = now;
    lastProgress = now;
    return now - statementStart > qint64(reinterpret_cast<quintptr>(bound)) ? 1 : 0;
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
    sqlite3_progress_handler(engine, 4096, &progress,
                             reinterpret_cast<void*>(quintptr(statementBoundMs(fileBytes))));
}

void harden(sqlite3* engine, const QString& path) {
    harden(engine, QFileInfo(path).size());
}

void setStatementBoundMs(qint64 ms) {
    boundForTests = ms;
}

} // namespace engine_guard
