#include "core/db/column_reader.h"

#include "core/db/database.h"

#include <sqlite3.h>

ColumnReader::ColumnReader(const Database& db, const QString& table, const QStringList& fields)
    : m_db(db), m_table(table) {
    if (!db.hasTable(table)) {
        fail(&m_error, dberr::TableNotFound,
             QStringLiteral("The database '%1' has no table '%2'.").arg(db.fileName(), table));
        return;
    }
    const QStringList present = db.fieldNames(table);
    QStringList quoted;
    for (const QString& field : fields) {
        if (!present.contains(field, Qt::CaseInsensitive)) {
            fail(
                &m_error, dberr::FieldNotFound,
                QStringLiteral("The table '%1' in '%2' has no field '%3'.").arg(table, db.fileName(), field));
            return;
        }
        quoted << sqlName(field);
    }
    const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                               .arg(quoted.join(QStringLiteral(", ")), sqlName(table))
                               .toUtf8();
    sqlite3* engine = static_cast<sqlite3*>(db.engineHandle());
    const int result =
        engine ? sqlite3_prepare_v2(engine, sql.constData(), int(sql.size()), &m_statement, nullptr)
               : SQLITE_MISUSE;
    if (result != SQLITE_OK)
        m_error =
            db.engineError(table, result, engine ? QString::fromUtf8(sqlite3_errmsg(engine)) : QString());
}

ColumnReader::~ColumnReader() {
    sqlite3_finalize(m_statement);
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

int ColumnReader::indexIn(int field, const std::vector<QByteArray>& utf8Values) const {
    const QByteArrayView bytes = utf8(field);
    for (size_t i = 0; i < utf8Values.size(); ++i)
        if (!bytes.isNull() && bytes == utf8Values[i])
            return int(i);
    return -1;
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
