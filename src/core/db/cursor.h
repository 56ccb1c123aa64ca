#pragma once

#include "core/db/database.h"

#include <QHash>
#include <QSqlQuery>

// A position in the rows of one table (stored order) or of one query snapshot. Reading a field
// that does not exist records error 3265; check error() after a walk.
class Cursor {
public:
    bool first();
    bool next();
    bool atEnd() const { return m_atEnd; }

    QVariant value(const QString& field);
    // For walks over many rows: resolve a field once, then read it by its column.
    int column(const QString& field) { return fieldIndex(field); }
    QVariant valueAt(int column) const;
    QString textAt(int column) const { return valueAt(column).toString(); }
    // Null reads as the empty text.
    QString text(const QString& field) { return value(field).toString(); }
    bool isNull(const QString& field) { return value(field).isNull(); }

    bool edit(const QString& field, const QVariant& value, Result* error);
    bool deleteRow(Result* error);
    bool addRow(const FieldValues& values, Result* error);

    // The current row's identity in its table; -1 for a query snapshot.
    qint64 rowid() const { return m_rowid; }
    const Result& error() const { return m_error; }

private:
    friend class Database;
    Cursor(const Database& db, QSqlDatabase connection, QString table, QString sql, QVariantList values);

    bool run();
    bool fetch(bool ok);
    int fieldIndex(const QString& field);
    bool requireRow(Result* error);
    bool failed(Result* error, const Result& what);

    const Database& m_db;
    QSqlDatabase m_connection;
    QString m_table; // empty for a query snapshot
    QString m_sql;
    QVariantList m_values;
    QSqlQuery m_query;
    QHash<QString, int> m_fieldIndex;
    QHash<int, QVariant> m_edited;
    qint64 m_rowid = -1;
    bool m_atEnd = true;
    bool m_deleted = false;
    Result m_error;
};
