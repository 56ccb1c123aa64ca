#pragma once

// Reads chosen fields of a table in stored row order through the engine's own interface, for the
// walks over whole catalogues: several times faster than a general query, since nothing but the
// asked fields is fetched and no value is wrapped. A missing table or field is error 3078 or 3265,
// as for a cursor; the engine's failures are told apart as the database layer does.

#include "core/db/result.h"

#include <QByteArrayView>
#include <QStringList>
#include <vector>

#include <functional>

class Database;
struct sqlite3;
struct sqlite3_stmt;

class ColumnReader {
public:
    // Asked for as a field, the row's identity.
    static inline const QString RowId = QStringLiteral("rowid");

    ColumnReader(const Database& db, const QString& table, const QStringList& fields);
    ~ColumnReader();

    // Reads a large table in two halves at once (rowids up to the middle, then the rest), each on
    // a connection and in a thread of its own; `read` is called once for each part, with the part's
    // number, from the two threads, and is to keep what it reads apart by part. Both halves read
    // one state of the file: the first connection's read lock keeps writers out until the second
    // has its own. Where that cannot be had (a write-ahead log, a second connection refused, a small
    // table), the table is read whole as one part. Returns the number of parts read, 0 on a failure.
    // A condition picks rows as a query's WHERE does; its ? marks take the values, as texts.
    using PartReader = std::function<void(ColumnReader& rows, int part)>;
    static int readInParts(const Database& db, const QString& table, const QStringList& fields,
                           const PartReader& read, Result* error, const QString& condition = QString(),
                           const QStringList& values = QStringList());
    ColumnReader(const ColumnReader&) = delete;
    ColumnReader& operator=(const ColumnReader&) = delete;

    // Moves to the next row (the first at the first call); false at the end or on a failure.
    bool next();
    // Null reads as a null (and empty) QString; a number as the engine writes it.
    QString text(int field) const;
    // Whether the field holds a text (not a number, a blob or Null).
    bool isText(int field) const;
    // The field's bytes as the engine holds them, valid until the next row.
    QByteArrayView utf8(int field) const;
    // The position in the list of the field's text, or -1; compared without making a QString, for
    // walks that test a code against a few values.
    int indexIn(int field, const std::vector<QByteArray>& utf8Values) const;
    // The values for indexIn.
    static std::vector<QByteArray> utf8Values(const QStringList& texts);
    const Result& error() const { return m_error; }

private:
    ColumnReader(const Database& db, sqlite3* engine, const QString& table, const QByteArray& sql,
                 const QStringList& values, bool inRowidOrder);
    void useWalkCache(sqlite3* engine);
    void prepare(sqlite3* engine, const QByteArray& sql, const QStringList& values);
    static QByteArray selectSql(const QString& table, const QStringList& fields, const QString& where);

    const Database& m_db;
    QString m_table;
    sqlite3_stmt* m_statement = nullptr;
    Result m_error;
    sqlite3* m_cacheEngine = nullptr; // whose cache size is set back at the end
    QByteArray m_cacheSize;
};
