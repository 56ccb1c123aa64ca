#pragma once

#include "core/db/result.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <utility>

class Cursor;
class QSqlError;
class QThread;
namespace gate {
struct Baseline;
}

using FieldValues = QList<std::pair<QString, QVariant>>;
class Database;

// Told of every write transaction of a database opened for writing, so that it can be recorded
// (the history of changes). The record is written inside the transaction, so that both commit
// together or neither does.
class WriteRecorder {
public:
    virtual ~WriteRecorder() = default;
    // Before a write transaction begins (outside it): what the record needs at hand.
    virtual bool prepare(Database& db, Result* error) = 0;
    // Inside the transaction, just before it commits.
    virtual bool record(Database& db, Result* error) = 0;
    // After the transaction committed or rolled back.
    virtual void finish(Database& db, bool committed) = 0;
    virtual void tableCreated(const QString& table) = 0;
};

// One open configuration database file. Never creates a file; failures carry the error numbers of
// result.h with a description that names the file, table or field.
class Database {
public:
    enum class FieldType { Text, YesNo };
    // How long a statement waits for another program's lock before it fails.
    static constexpr int BusyTimeoutMs = 750;

    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    enum class Access { ReadWrite, ReadOnly };
    // How messages name the file: an installation unless told otherwise before open().
    static inline const QString InstallationNoun = QStringLiteral("The configuration database");
    void setNoun(const QString& noun) { m_noun = noun; }
    bool open(const QString& path, Result* error, Access access = Access::ReadWrite);
    // Every database opened for writing from then on gets a recorder from the factory (the
    // programs set it at start; tests of other things leave it unset).
    using RecorderFactory = std::function<std::unique_ptr<WriteRecorder>(Database& db)>;
    static void setRecorderFactory(RecorderFactory factory);
    WriteRecorder* recorder() const { return m_recorder.get(); }
    // Whether opening the file for writing rolled back a write that a crashed writer had left.
    bool recoveredInterruptedWrite() const { return m_recoveredJournal; }
    bool inTransaction() const { return m_inTransaction; }
    bool isWritable() const { return m_gate != nullptr; }
    void close();
    bool isOpen() const { return !m_path.isEmpty(); }
    // A Microsoft Access (Jet or ACE) file, told by its content: refused here, converted by access/.
    static bool isAccessFile(const QString& path);
    QString path() const { return m_path; }

    bool hasTable(const QString& table) const;
    // Whether the table exists; false with *error set when the engine could not tell (a lock).
    bool findTable(const QString& table, Result* error) const;
    // What stands under the name: "table", "view", "virtual table", or nothing. The program reads
    // and writes tables only: anything else of a table's name is another program's code.
    QString tableKind(const QString& table, Result* error = nullptr) const;
    // As findTable, with "no table" as the error when there is none.
    bool requireTable(const QString& table, Result* error) const;
    QStringList fieldNames(const QString& table) const;

    // Walks the table in stored row order; rows can be edited, deleted and added through it.
    std::unique_ptr<Cursor> openTable(const QString& table, Result* error) const;
    // The same on its first row; an empty table is an error, as positioning on a missing row is.
    std::unique_ptr<Cursor> openFirstRow(const QString& table, Result* error) const;
    Result emptyTableError(const QString& table) const;
    // A read-only snapshot of one SELECT whose values are all bound.
    std::unique_ptr<Cursor> openQuery(const QString& sql, const QVariantList& values, Result* error) const;

    bool exec(const QString& sql, const QVariantList& values, Result* error) const;
    bool createTable(const QString& table, const QStringList& textFields, Result* error);
    bool addField(const QString& table, const QString& field, FieldType type, Result* error);

    bool beginTransaction(Result* error);
    bool commit(Result* error);
    void rollback();

    // Whether rows of the table can be changed now: ReadOnly for a file, folder or connection that
    // cannot be written, Locked while another program holds the file. Writes nothing.
    bool checkWritable(const QString& table, Result* error) const;

    QString fileName() const;
    // The engine's failure as the program tells it apart: a lock, a read-only or damaged file, or
    // any other failure of `what`.
    Result engineError(const QString& what, const QSqlError& failure) const;
    // The same for a result code of the engine's own interface.
    Result engineError(const QString& what, int resultCode, const QString& engineText) const;
    // The engine's connection (sqlite3*), for readers that use its interface directly.
    void* engineHandle() const;
    // The connection passes to another thread, which uses it from then on (Qt's SQL driver answers
    // only the thread it belongs to). Called from the thread that opened it.
    void handOverTo(QThread* thread);

private:
    QSqlDatabase connection() const;
    bool execStatement(const QString& sql, const QVariantList& values, Result* error) const;
    // A write outside a transaction gets one of its own, so that it is gated and recorded with it.
    bool execInOwnTransaction(const QString& sql, const QVariantList& values, Result* error);

    QString m_connection;
    QString m_path;
    QString m_noun = InstallationNoun;
    std::unique_ptr<WriteRecorder> m_recorder;
    // Opened for writing: every write transaction passes the write gate before its commit.
    std::unique_ptr<gate::Baseline> m_gate;
    bool m_inTransaction = false;
    bool m_recoveredJournal = false;
};

// Rolls back unless committed, so that writes that belong together all land or none does.
class Transaction {
public:
    explicit Transaction(Database& db, Result* error) : m_db(db), m_active(db.beginTransaction(error)) {}
    ~Transaction() {
        if (m_active)
            m_db.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool isActive() const { return m_active; }
    bool commit(Result* error) {
        const bool ok = m_active && m_db.commit(error);
        m_active = false;
        return ok;
    }

private:
    Database& m_db;
    bool m_active;
};

// The engine's failure (a result code and its text, while doing `what`) as the program tells it
// apart, naming the file as `noun` ("The configuration database") and its path.
Result describeEngineFailure(const QString& noun, const QString& path, const QString& what, int resultCode,
                             const QString& text);

// Quotes a table or field name for SQL text; user values are always bound instead.
QString sqlName(const QString& name);
