#include "core/db/cursor.h"

#include <QSqlError>
#include <QSqlRecord>

Cursor::Cursor(const Database& db, QSqlDatabase connection, QString table, QString sql, QVariantList values)
    : m_db(db), m_connection(std::move(connection)), m_table(std::move(table)), m_sql(std::move(sql)),
      m_values(std::move(values)), m_query(m_connection) {
    m_query.setForwardOnly(true);
}

bool Cursor::run() {
    m_atEnd = true;
    m_error = Result();
    if (!m_query.prepare(m_sql)) {
        m_error = m_db.engineError(m_table.isEmpty() ? m_sql : m_table, m_query.lastError());
        return false;
    }
    for (const QVariant& value : m_values)
        m_query.addBindValue(value);
    if (!m_query.exec()) {
        m_error = m_db.engineError(m_table.isEmpty() ? m_sql : m_table, m_query.lastError());
        return false;
    }
    if (m_fieldIndex.isEmpty()) {
        const QSqlRecord record = m_query.record();
        for (int i = 0; i < record.count(); ++i)
            m_fieldIndex.insert(record.fieldName(i).toLower(), i);
    }
    fetch(m_query.next());
    return !m_error.isError();
}

bool Cursor::fetch(bool ok) {
    m_edited.clear();
    m_deleted = false;
    m_atEnd = !ok;
    if (!ok && m_query.lastError().isValid())
        m_error = m_db.engineError(m_table.isEmpty() ? m_sql : m_table, m_query.lastError());
    m_rowid = ok && !m_table.isEmpty() ? m_query.value(0).toLongLong() : -1;
    return ok;
}

bool Cursor::first() {
    m_query.finish();
    return run() && !m_atEnd;
}

bool Cursor::next() {
    if (m_atEnd)
        return false;
    return fetch(m_query.next());
}

int Cursor::fieldIndex(const QString& field) {
    // Hot loops ask for the same few names; look them up as given before folding the case.
    auto it = m_fieldIndex.constFind(field);
    if (it != m_fieldIndex.constEnd())
        return *it;
    const int index = m_fieldIndex.value(field.toLower(), -1);
    if (index < 0) {
        m_error = Result::make(
            dberr::FieldNotFound,
            QStringLiteral("The table '%1' in '%2' has no field '%3'.")
                .arg(m_table.isEmpty() ? QStringLiteral("query") : m_table, m_db.fileName(), field));
        return -1;
    }
    m_fieldIndex.insert(field, index);
    return index;
}

QVariant Cursor::value(const QString& field) {
    return valueAt(fieldIndex(field));
}

QVariant Cursor::valueAt(int column) const {
    if (column < 0 || m_atEnd)
        return QVariant();
    auto edited = m_edited.constFind(column);
    if (edited != m_edited.constEnd())
        return *edited;
    return m_query.value(column);
}

bool Cursor::failed(Result* error, const Result& what) {
    m_error = what;
    if (error)
        *error = what;
    return false;
}

bool Cursor::requireRow(Result* error) {
    if (m_table.isEmpty())
        return failed(
            error, Result::make(dberr::QueryFailed, QStringLiteral("A query snapshot cannot be changed.")));
    if (m_atEnd || m_deleted)
        return failed(error, Result::make(dberr::QueryFailed,
                                           QStringLiteral("No current row in table '%1'.").arg(m_table)));
    return true;
}

bool Cursor::edit(const QString& field, const QVariant& value, Result* error) {
    if (!requireRow(error))
        return false;
    const int index = fieldIndex(field);
    if (index < 0)
        return failed(error, m_error);
    Result dbError;
    if (!m_db.exec(
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?").arg(sqlName(m_table), sqlName(field)),
            {value, m_rowid}, &dbError))
        return failed(error, dbError);
    m_edited.insert(index, value);
    return true;
}

bool Cursor::deleteRow(Result* error) {
    if (!requireRow(error))
        return false;
    Result dbError;
    if (!m_db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(sqlName(m_table)), {m_rowid},
                   &dbError))
        return failed(error, dbError);
    m_deleted = true;
    return true;
}

bool Cursor::addRow(const FieldValues& values, Result* error) {
    if (m_table.isEmpty())
        return failed(
            error, Result::make(dberr::QueryFailed, QStringLiteral("A query snapshot cannot be changed.")));
    QStringList names;
    QStringList marks;
    QVariantList bound;
    for (const auto& [field, value] : values) {
        if (fieldIndex(field) < 0)
            return failed(error, m_error);
        names << sqlName(field);
        marks << QStringLiteral("?");
        bound << value;
    }
    Result dbError;
    if (!m_db.exec(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(sqlName(m_table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
            bound, &dbError))
        return failed(error, dbError);
    return true;
}
