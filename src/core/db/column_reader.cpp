#include "core/db/column_reader.h"

#include "core/db/database.h"
#include "core/db/engine_guard.h"

#include <memory>
#include <sqlite3.h>
#include <thread>

namespace {

// Below this span of rowids a second connection and thread cost more than they save.
constexpr sqlite3_int64 RowsWorthParts = 50000;

bool fieldsPresent(const Database& db, const QString& table, const QStringList& fields, Result* error) {
    if (!db.requireTable(table, error))
        return false;
    const QStringList present = db.fieldNames(table);
    for (const QString& field : fields)
        if (!present.contains(field, Qt::CaseInsensitive) && field != ColumnReader::RowId)
            return fail(
                error, dberr::FieldNotFound,
                QStringLiteral("The table '%1' in '%2' has no field '%3'.").arg(table, db.fileName(), field));
    return true;
}

// The first column of a one-row query as text, or nothing.
QByteArray queryText(sqlite3* engine, const QByteArray& sql) {
    sqlite3_stmt* statement = nullptr;
    QByteArray text;
    if (sqlite3_prepare_v2(engine, sql.constData(), int(sql.size()), &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        text = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return text;
}

// Pages of cache a walk in rowid order keeps: it reads each page once.
constexpr int WalkCachePages = 16;

} // namespace

ColumnReader::ColumnReader(const Database& db, const QString& table, const QStringList& fields)
    : m_db(db), m_table(table) {
    if (fieldsPresent(db, table, fields, &m_error)) {
        auto* engine = static_cast<sqlite3*>(db.engineHandle());
        useWalkCache(engine);
        prepare(engine, selectSql(table, fields, QString()), {});
    }
}

ColumnReader::ColumnReader(const Database& db, sqlite3* engine, const QString& table, const QByteArray& sql,
                           const QStringList& values, bool inRowidOrder)
    : m_db(db), m_table(table) {
    if (inRowidOrder)
        useWalkCache(engine);
    prepare(engine, sql, values);
}

ColumnReader::~ColumnReader() {
    sqlite3_finalize(m_statement);
    if (m_cacheEngine)
        queryText(m_cacheEngine, "PRAGMA cache_size = " + m_cacheSize);
}

// The engine's own cache (2 MiB a connection) would be fresh memory in a new process or on a new
// connection, a page fault every 4 KiB: a tenth of a second at a million rows on a virtual machine.
// A few pages serve a walk; the connection's size is set back when the walk ends.
void ColumnReader::useWalkCache(sqlite3* engine) {
    if (!engine)
        return;
    m_cacheSize = queryText(engine, "PRAGMA cache_size");
    if (m_cacheSize.isEmpty())
        return;
    m_cacheEngine = engine;
    queryText(engine, "PRAGMA cache_size = " + QByteArray::number(WalkCachePages));
}

QByteArray ColumnReader::selectSql(const QString& table, const QStringList& fields, const QString& where) {
    QStringList quoted;
    for (const QString& field : fields)
        quoted << sqlName(field);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(quoted.join(QStringLiteral(", ")), sqlName(table));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return (sql + QStringLiteral(" ORDER BY rowid")).toUtf8();
}

void ColumnReader::prepare(sqlite3* engine, const QByteArray& sql, const QStringList& values) {
    int result = engine ? sqlite3_prepare_v2(engine, sql.constData(), int(sql.size()), &m_statement, nullptr)
                        : SQLITE_MISUSE;
    for (int i = 0; result == SQLITE_OK && i < values.size(); ++i) {
        const QByteArray value = values[i].toUtf8();
        result =
            sqlite3_bind_text(m_statement, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    }
    if (result != SQLITE_OK)
        m_error =
            m_db.engineError(m_table, result, engine ? QString::fromUtf8(sqlite3_errmsg(engine)) : QString());
}

bool ColumnReader::next() {
    if (!m_statement || m_error.isError())
        return false;
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        m_error = m_db.engineError(m_table, result,
                                   QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement))));
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    return false;
}

int ColumnReader::readInParts(const Database& db, const QString& table, const QStringList& fields,
                              const PartReader& read, Result* error, const QString& condition,
                              const QStringList& values) {
    const auto report = [error](const Result& failure) {
        if (error)
            *error = failure;
        return 0;
    };
    auto* engine = static_cast<sqlite3*>(db.engineHandle());
    Result missing;
    if (!fieldsPresent(db, table, fields, &missing))
        return report(missing);
    const auto reader = [&](sqlite3* on, const QString& rows) {
        QStringList where;
        for (const QString& part : {condition, rows})
            if (!part.isEmpty())
                where << QLatin1Char('(') + part + QLatin1Char(')');
        return std::unique_ptr<ColumnReader>(
            new ColumnReader(db, on, table, selectSql(table, fields, where.join(QStringLiteral(" AND "))),
                             values, condition.isEmpty()));
    };
    const auto whole = [&] {
        auto rows = reader(engine, QString());
        read(*rows, 0);
        return rows->error().isError() ? report(rows->error()) : 1;
    };
    if (!engine)
        return whole(); // which tells why
    // Each its own query: the engine finds a lone min() or max() of the rowid without a walk.
    const QByteArray from = " FROM " + sqlName(table).toUtf8();
    const qint64 lowest = queryText(engine, "SELECT min(rowid)" + from).toLongLong();
    const qint64 highest = queryText(engine, "SELECT max(rowid)" + from).toLongLong();
    // Inside a transaction the connection may see its own changes, which another one would not;
    // with a write-ahead log, a reader does not keep writers out: the halves might see two states.
    if (highest - lowest < RowsWorthParts || !sqlite3_get_autocommit(engine) ||
        queryText(engine, "PRAGMA journal_mode").toLower() == "wal")
        return whole();
    // Each connection takes its read lock with a one-row read kept open while the halves are read.
    // The first's lock keeps writers out until the second has its own, so both read one state.
    const auto holdReadLock = [&](sqlite3* on) {
        const QByteArray sql = "SELECT 1" + from + " LIMIT 1";
        sqlite3_stmt* holder = nullptr;
        if (sqlite3_prepare_v2(on, sql.constData(), int(sql.size()), &holder, nullptr) != SQLITE_OK ||
            sqlite3_step(holder) != SQLITE_ROW) {
            sqlite3_finalize(holder);
            return std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>(nullptr, sqlite3_finalize);
        }
        return std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>(holder, sqlite3_finalize);
    };
    auto firstLock = holdReadLock(engine);
    if (!firstLock)
        return whole();
    sqlite3* secondEngine = engine_guard::openReadOnly(sqlite3_db_filename(engine, "main"));
    auto secondLock = holdReadLock(secondEngine);
    if (!secondEngine || !secondLock) {
        firstLock.reset();
        sqlite3_close(secondEngine);
        return whole();
    }
    const QString middle = QString::number(lowest / 2 + highest / 2);
    auto first = reader(engine, QStringLiteral("rowid <= ") + middle);
    auto second = reader(secondEngine, QStringLiteral("rowid > ") + middle);
    std::thread worker([&] { read(*second, 1); });
    read(*first, 0);
    worker.join();
    const Result failure = first->error().isError() ? first->error() : second->error();
    second.reset();
    secondLock.reset();
    sqlite3_close(secondEngine);
    return failure.isError() ? report(failure) : 2;
}

bool ColumnReader::isText(int field) const {
    return sqlite3_column_type(m_statement, field) == SQLITE_TEXT;
}

QByteArrayView ColumnReader::utf8(int field) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, field));
    return bytes ? QByteArrayView(bytes, sqlite3_column_bytes(m_statement, field)) : QByteArrayView();
}

QString ColumnReader::text(int field) const {
    // The engine gives no text for Null, which reads as a null QString.
    const QByteArrayView bytes = utf8(field);
    return bytes.isNull() ? QString() : QString::fromUtf8(bytes);
}

int ColumnReader::indexIn(int field, const std::vector<QByteArray>& utf8Values) const {
    const QByteArrayView bytes = utf8(field);
    for (size_t i = 0; i < utf8Values.size(); ++i)
        if (!bytes.isNull() && bytes == utf8Values[i])
            return int(i);
    return -1;
}

std::vector<QByteArray> ColumnReader::utf8Values(const QStringList& texts) {
    std::vector<QByteArray> utf8;
    for (const QString& text : texts)
        utf8.push_back(text.toUtf8());
    return utf8;
}
