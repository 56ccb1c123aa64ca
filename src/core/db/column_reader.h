#pragma once

// Reads chosen fields of a table in stored row order through the engine's own interface, for the
// walks over whole catalogues: several times faster than a general query, since nothing but the
// asked fields is fetched and no value is wrapped. A missing table or field is error 3078 or 3265,
// as for a cursor; the engine's failures are told apart as the database layer does.

#include "core/db/db_error.h"

#include <QByteArrayView>
#include <QStringList>
#include <vector>

class Database;
struct sqlite3_stmt;

class ColumnReader {
public:
    ColumnReader(const Database& db, const QString& table, const QStringList& fields);
    ~ColumnReader();
    ColumnReader(const ColumnReader&) = delete;
    ColumnReader& operator=(const ColumnReader&) = delete;

    // Moves to the next row (the first at the first call); false at the end or on a failure.
    bool next();
    // Null reads as a null (and empty) QString; a number as the engine writes it.
    QString text(int field) const;
    // The field's bytes as the engine holds them, valid until the next row.
    QByteArrayView utf8(int field) const;
    // The position in the list of the field's text, or -1; compared without making a QString, for
    // walks that test a code against a few values.
    int indexIn(int field, const std::vector<QByteArray>& utf8Values) const;
    const DbError& error() const { return m_error; }

private:
    const Database& m_db;
    QString m_table;
    sqlite3_stmt* m_statement = nullptr;
    DbError m_error;
};
