#include "core/history/history.h"
#include "core/history/history_file.h"
#include "core/history/side_files.h"

#include "core/db/engine_guard.h"
#include "core/db/schema.h"
#include "core/vocabulary/vocabulary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUrl>
#include <algorithm>
// The engine reports each row change before it is made; Debian's library is built with this hook.
#define SQLITE_ENABLE_PREUPDATE_HOOK
#include <sqlite3.h>

namespace history {

namespace {

QString programName;
std::function<WhenUnavailable(const QString&, bool)> unavailableQuestion;
bool suspended = false;
qint64 nextUndoes = 0;

// `H` stands for the history's schema name on the connection that writes it.
const char* const Schema[] = {
    "CREATE TABLE IF NOT EXISTS H.actions (id INTEGER PRIMARY KEY, at TEXT, user TEXT, host TEXT, "
    "program TEXT, configuration TEXT, stand TEXT, scan_unit TEXT, summary TEXT, undoes INTEGER, pending "
    "INTEGER)",
    "CREATE TABLE IF NOT EXISTS H.changes (id INTEGER PRIMARY KEY, action INTEGER, tbl TEXT, row INTEGER, "
    "kind INTEGER, place TEXT, wheel TEXT)",
    // No declared type: each value keeps the engine's own type and bytes, so an undo restores them.
    "CREATE TABLE IF NOT EXISTS H.cells (change INTEGER, side INTEGER, col TEXT, value)",
    "CREATE INDEX IF NOT EXISTS H.changes_action ON changes (action)",
    "CREATE INDEX IF NOT EXISTS H.cells_change ON cells (change)",
};

QByteArray inSchema(const char* sql, const char* schema) {
    return QByteArray(sql).replace("H.", QByteArray(schema) + '.');
}

bool run(sqlite3* engine, const QByteArray& sql) {
    return sqlite3_exec(engine, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

struct ValueDeleter {
    void operator()(sqlite3_value* value) const { sqlite3_value_free(value); }
};
using Value = std::unique_ptr<sqlite3_value, ValueDeleter>;

// A row change as the engine reported it, merged per row over the transaction.
struct Captured {
    QString table;
    qint64 rowid;
    RowChange::Kind kind;
    std::vector<Value> before; // the row before the transaction's first change of it
    std::vector<Value> after;  // after its last
    bool vanished = false;     // inserted and deleted again: nothing to record
};

// One statement on the engine's connection, its values bound as the engine holds them.
class Statement {
public:
    Statement(sqlite3* engine, const QByteArray& sql) : Statement(engine, sql.constData()) {}
    Statement(sqlite3* engine, const char* sql) : m_engine(engine) {
        if (sqlite3_prepare_v2(engine, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    bool ok() const { return m_statement != nullptr; }
    sqlite3_stmt* get() { return m_statement; }
    void bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 number) { sqlite3_bind_int64(m_statement, index, number); }
    void bind(int index, const sqlite3_value* value) { sqlite3_bind_value(m_statement, index, value); }
    bool run() {
        const int result = sqlite3_step(m_statement);
        sqlite3_reset(m_statement);
        return result == SQLITE_DONE || result == SQLITE_ROW;
    }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_engine)); }

private:
    sqlite3* m_engine;
    sqlite3_stmt* m_statement = nullptr;
};

// Read from a copy: asking the engine for a value's text converts the value itself, and a BLOB
// recorded after that would be put back by an undo as text.
QString textOf(const sqlite3_value* value) {
    if (!value || sqlite3_value_type(const_cast<sqlite3_value*>(value)) == SQLITE_NULL)
        return QString();
    const Value copy(sqlite3_value_dup(value));
    if (!copy)
        return QString();
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(copy.get()));
    return QString::fromUtf8(text, sqlite3_value_bytes(copy.get()));
}

// The super-journals a killed writer left beside the installation (a write that ends normally
// removes its own). Called while this write holds the installation's write lock and has written
// the history, so both files' journals are rolled back and no other writer is committing: every
// one left is stale.
void removeStaleSuperJournals(const QString& installationPath) {
    const QFileInfo file(installationPath);
    const QString prefix = file.fileName() + QStringLiteral("-mj");
    for (const QString& name : file.dir().entryList(QDir::Files | QDir::Hidden))
        if (name.startsWith(prefix))
            QFile::remove(file.dir().filePath(name));
}

// A pending record made complete (its write committed) or taken out again (it did not).
// Inside the caller's transaction on the history.
bool settleIn(sqlite3* history, qint64 action, bool committed) {
    if (committed) {
        Statement done(history, "UPDATE actions SET pending = NULL WHERE id = ?1");
        done.bind(1, action);
        return done.ok() && done.run();
    }
    const char* const drops[] = {
        "DELETE FROM cells WHERE change IN (SELECT id FROM changes WHERE action = ?1)",
        "DELETE FROM changes WHERE action = ?1", "DELETE FROM actions WHERE id = ?1"};
    for (const char* sql : drops) {
        Statement drop(history, sql);
        drop.bind(1, action);
        if (!drop.ok() || !drop.run())
            return false;
    }
    return true;
}

bool settle(sqlite3* history, qint64 action, bool committed) {
    if (!run(history, "BEGIN IMMEDIATE"))
        return false;
    if (settleIn(history, action, committed))
        return run(history, "COMMIT");
    run(history, "ROLLBACK");
    return false;
}

std::vector<qint64> pendingRecords(sqlite3* history) {
    std::vector<qint64> pending;
    // Sorted here: asked to order them, the engine walks the whole table in its order instead.
    Statement find(history, "SELECT id FROM actions WHERE pending IS NOT NULL");
    while (find.ok() && sqlite3_step(find.get()) == SQLITE_ROW)
        pending.push_back(sqlite3_column_int64(find.get(), 0));
    std::sort(pending.begin(), pending.end());
    return pending;
}

// The pending records, each judged against what the installation has committed (on a connection
// of its own, which does not see an open write's changes) and settled inside the caller's
// transaction on the history. The caller holds the installation's write lock, so no writer stands
// between its record and its commit. False when one cannot be judged.
bool settlePending(sqlite3* history, const QString& installationPath) {
    const std::vector<qint64> pending = pendingRecords(history);
    if (pending.empty())
        return true;
    recoverSideFiles(installationPath); // the judging connection below only reads them
    Database installation;
    Result error;
    if (!installation.open(installationPath, &error, Database::Access::ReadOnly))
        return false;
    for (qint64 action : pending) {
        Record record;
        bool written = false;
        if (!readPendingRecord(pathFor(installationPath), action, &record, &error) ||
            !isInInstallation(installation, record, &written, &error) || !settleIn(history, action, written))
            return false;
    }
    return true;
}

class HistoryRecorder : public WriteRecorder {
public:
    explicit HistoryRecorder(Database& db) : m_engine(static_cast<sqlite3*>(db.engineHandle())) {
        if (m_engine)
            sqlite3_preupdate_hook(m_engine, &HistoryRecorder::hook, this);
    }
    ~HistoryRecorder() override {
        if (m_engine)
            sqlite3_preupdate_hook(m_engine, nullptr, nullptr);
        sqlite3_close_v2(m_history);
    }

    bool prepare(Database& db, Result*) override {
        if (suspended || !m_engine)
            return true;
        if (!m_modeKnown) {
            Statement mode(m_engine, "PRAGMA main.journal_mode");
            m_wal = mode.ok() && sqlite3_step(mode.get()) == SQLITE_ROW &&
                    qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0)), "wal") == 0;
            m_modeKnown = true;
        }
        // A WAL installation commits apart from its attached files: its record is written first, as
        // pending, on a connection of its own (and what a crash left pending is settled then).
        if (m_attached || m_history)
            return true;
        recoverSideFiles(db.path()); // before this write settles the super-journals a killed one left
        const QString path = pathFor(db.path());
        // Made here, as the installation is, and never removed: another writer may hold it open.
        QString why;
        if (!QFileInfo::exists(path) && !createLike(path, db.path(), &why)) {
            m_unavailable =
                Result::make(dberr::ReadOnly, QStringLiteral("%1 '%2' cannot be created: %3")
                                                  .arg(HistoryNoun, QDir::toNativeSeparators(path), why));
            return true; // the write decides, when it has something to record
        }
        if (m_wal) {
            if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_history, SQLITE_OPEN_READWRITE,
                                nullptr) != SQLITE_OK) {
                keepEngineError(m_history);
                sqlite3_close_v2(m_history);
                m_history = nullptr;
                m_unavailable = historyFailure(db);
                return true;
            }
            sqlite3_busy_timeout(m_history, 750);
            engine_guard::harden(m_history, path);
        } else {
            Statement attach(m_engine, "ATTACH DATABASE ?1 AS history");
            attach.bind(1, QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()) +
                               QStringLiteral("?mode=rw"));
            if (!attach.ok() || !attach.run()) {
                keepEngineError(m_engine);
                m_unavailable = historyFailure(db);
                return true;
            }
            m_attached = true;
        }
        m_unavailable = Result();
        return true;
    }

    bool record(Database& db, Result* error) override {
        const bool nothing = m_created.isEmpty() && std::all_of(m_changes.begin(), m_changes.end(),
                                                                [](const Captured& c) { return c.vanished; });
        if (suspended || nothing)
            return true;
        Result unavailable = m_unavailable;
        if (!unavailable.isError() && !write(db.path()))
            unavailable = historyFailure(db);
        // A full disk or an I/O error of the history can end the whole transaction: then there is
        // nothing left to store, with or without a history, and nothing to ask.
        if (sqlite3_get_autocommit(m_engine))
            return fail(error, dberr::QueryFailed,
                        historyFailure(db).description + QStringLiteral(" Nothing was stored."));
        if (!unavailable.isError()) {
            if (!m_wal)
                removeStaleSuperJournals(db.path());
            return true;
        }
        const bool damaged = isDamage(unavailable);
        QString reason = unavailable.description;
        if (damaged)
            reason +=
                QStringLiteral(" It can be set aside (renamed with the date, nothing deleted) to begin a new "
                               "one: 'filterctl history --set-aside', or Set aside when the program asks.");
        const WhenUnavailable answer =
            unavailableQuestion ? unavailableQuestion(reason, damaged) : WhenUnavailable::Refuse;
        if (answer == WhenUnavailable::WithoutHistory) {
            suspended = true;
            return true;
        }
        if (answer == WhenUnavailable::SetAside && damaged) {
            // Renamed once this transaction has ended and the file is let go (finish).
            m_setAside = true;
            reason =
                QStringLiteral("%1 '%2' is set aside (renamed with the date beside it, nothing deleted); the "
                               "next write begins a new one.")
                    .arg(HistoryNoun, QDir::toNativeSeparators(pathFor(db.path())));
        }
        const QString notStored = QStringLiteral(" Nothing was stored.");
        return fail(error, dberr::QueryFailed, reason.endsWith(notStored) ? reason : reason + notStored);
    }

    void finish(Database& db, bool committed) override {
        m_changes.clear();
        m_rowIndex.clear();
        m_created.clear();
        if (m_pending > 0)
            settle(m_history, m_pending, committed); // a failure here is settled by the next write
        m_pending = 0;
        if (m_setAside)
            setAsideNow(db.path());
    }

    // The damaged history let go by this connection, then renamed; tried again after the next
    // write while it is still held.
    void setAsideNow(const QString& installationPath) {
        if (m_attached && run(m_engine, "DETACH DATABASE history"))
            m_attached = false;
        if (m_history) {
            sqlite3_close_v2(m_history);
            m_history = nullptr;
        }
        if (m_attached)
            return;
        QString aside;
        (void)setAside(installationPath, &aside); // refused when it can be read after all
        m_setAside = false;
    }

    static bool isDamage(const Result& failure) {
        return failure.code == dberr::Damaged || failure.code == dberr::NotADatabase;
    }

    void tableCreated(const QString& table) override { m_created << table; }

private:
    static void hook(void* self, sqlite3* engine, int op, const char* database, const char* table,
                     sqlite3_int64 oldRowid, sqlite3_int64 newRowid) {
        // The installation's tables, and the side tables a write attached beside them.
        if (qstrcmp(database, "main") != 0 && !(spectraTable().schema == QLatin1String(database) &&
                                                spectraTable().table == QString::fromUtf8(table)))
            return;
        static_cast<HistoryRecorder*>(self)->capture(engine, op, QString::fromUtf8(table), oldRowid,
                                                     newRowid);
    }

    static std::vector<Value> values(sqlite3* engine, bool old) {
        std::vector<Value> row;
        for (int i = 0; i < sqlite3_preupdate_count(engine); ++i) {
            sqlite3_value* value = nullptr;
            (old ? sqlite3_preupdate_old : sqlite3_preupdate_new)(engine, i, &value);
            row.emplace_back(value ? sqlite3_value_dup(value) : nullptr);
        }
        return row;
    }

    void capture(sqlite3* engine, int op, const QString& table, qint64 oldRowid, qint64 newRowid) {
        const qint64 rowid = op == SQLITE_INSERT ? newRowid : oldRowid;
        const QString key = table + QLatin1Char('\n') + QString::number(rowid);
        const auto known = m_rowIndex.find(key);
        if (known == m_rowIndex.end()) {
            Captured change{table, rowid,
                            op == SQLITE_INSERT   ? RowChange::Kind::Insert
                            : op == SQLITE_DELETE ? RowChange::Kind::Delete
                                                  : RowChange::Kind::Update,
                            op == SQLITE_INSERT ? std::vector<Value>() : values(engine, true),
                            op == SQLITE_DELETE ? std::vector<Value>() : values(engine, false)};
            m_rowIndex.insert(key, m_changes.size());
            m_changes.push_back(std::move(change));
            return;
        }
        // A row changed again in the same transaction: the first values before, the last after.
        Captured& change = m_changes[*known];
        if (op == SQLITE_DELETE) {
            change.after.clear();
            change.vanished = change.kind == RowChange::Kind::Insert;
            change.kind = RowChange::Kind::Delete;
        } else {
            if (change.kind == RowChange::Kind::Delete) // deleted and inserted again
                change.kind = RowChange::Kind::Update;
            change.vanished = false;
            change.after = values(engine, false);
        }
    }

    QStringList columns(const QString& table) const {
        QStringList names;
        Statement info(m_engine, "SELECT name FROM pragma_table_info(?1, ?2) ORDER BY cid");
        if (!info.ok())
            return names;
        info.bind(1, table);
        const SideTable* side = sideTableNamed(table);
        info.bind(2, side ? side->schema : QStringLiteral("main"));
        while (sqlite3_step(info.get()) == SQLITE_ROW)
            names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0)));
        return names;
    }

    // Where the windows name a row: "EF1 2" for a position, the filter's name otherwise.
    static std::pair<QString, QString> placeOf(const QString& table, const QStringList& names,
                                               const std::vector<Value>& row) {
        const auto field = [&](const QString& name) {
            const int index = int(names.indexOf(name));
            return index >= 0 && index < int(row.size()) ? textOf(row[size_t(index)].get()) : QString();
        };
        if (table == schema::table::FilterPlacement) {
            const QString wheel = field(schema::field::IdAvailable);
            return {wheel + QLatin1Char(' ') + field(schema::field::Position), wheel};
        }
        return {field(schema::field::IdPotential), QString()};
    }

    // The engine's last failure, named as the history's (never the installation's), with the
    // remedy when it is a matter of who may write it.
    Result historyFailure(const Database& db) const {
        const QString path = pathFor(db.path());
        if (const QString problem = permissionProblem(path, db.path()); !problem.isEmpty())
            return Result::make(dberr::ReadOnly, problem);
        return describeEngineFailure(HistoryNoun, path, QStringLiteral("writing"), m_lastCode, m_lastText);
    }
    void keepEngineError(sqlite3* engine) {
        m_lastCode = sqlite3_extended_errcode(engine);
        m_lastText = QString::fromUtf8(sqlite3_errmsg(engine));
    }

    // Inside the installation's transaction: the record in the attached history (rollback
    // journal: both commit together), or (WAL) committed on the history's own connection as
    // pending before the installation commits, and settled in finish().
    bool write(const QString& installationPath) {
        sqlite3* target = m_wal ? m_history : m_engine;
        const char* schema = m_wal ? "main" : "history";
        // The engine's error is kept for historyFailure: the rollback's own result would replace it.
        const auto failed = [&]() {
            keepEngineError(target);
            run(target, m_wal ? "ROLLBACK" : "ROLLBACK TO history_record; RELEASE history_record");
            return false;
        };
        if (!run(target, m_wal ? "BEGIN IMMEDIATE" : "SAVEPOINT history_record"))
            return failed();
        for (const char* statement : Schema)
            if (!run(target, inSchema(statement, schema)))
                return failed();
        if (!addPendingColumn(target, schema) || (m_wal && !settlePending(target, installationPath)))
            return failed();
        const qint64 action = writeAction(target, schema);
        if (action <= 0)
            return failed();
        Statement change(target, inSchema("INSERT INTO H.changes (action, tbl, row, kind, place, wheel) "
                                          "VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                                          schema));
        Statement cell(
            target,
            inSchema("INSERT INTO H.cells (change, side, col, value) VALUES (?1, ?2, ?3, ?4)", schema));
        if (!change.ok() || !cell.ok())
            return failed();
        for (const QString& table : std::as_const(m_created))
            if (!insertChange(change, action, table, 0, RowChange::Kind::CreateTable, table, QString()))
                return failed();
        for (const Captured& captured : m_changes) {
            if (captured.vanished)
                continue;
            const QStringList names = columns(captured.table);
            const auto [place, wheel] =
                placeOf(captured.table, names, captured.after.empty() ? captured.before : captured.after);
            if (!insertChange(change, action, captured.table, captured.rowid, captured.kind, place, wheel))
                return failed();
            const qint64 changeId = sqlite3_last_insert_rowid(target);
            for (int side = 0; side < 2; ++side) {
                const std::vector<Value>& row = side == 0 ? captured.before : captured.after;
                for (size_t i = 0; i < row.size() && i < size_t(names.size()); ++i) {
                    cell.bind(1, changeId);
                    cell.bind(2, qint64(side));
                    cell.bind(3, names[int(i)]);
                    cell.bind(4, row[i].get());
                    if (!cell.run())
                        return failed();
                }
            }
        }
        if (!run(target, m_wal ? "COMMIT" : "RELEASE history_record"))
            return failed();
        m_pending = m_wal ? action : 0;
        return true;
    }

    // A history made before records could be pending gains the column. The few pending records
    // are found through an index of their own: every write and every reader looks for them, and a
    // walk over a million records took 150 ms.
    static bool addPendingColumn(sqlite3* target, const char* schema) {
        Statement has(target, "SELECT 1 FROM pragma_table_info('actions', ?1) WHERE name = 'pending'");
        has.bind(1, QString::fromLatin1(schema));
        const bool present = has.ok() && sqlite3_step(has.get()) == SQLITE_ROW;
        return (present ||
                run(target, inSchema("ALTER TABLE H.actions ADD COLUMN pending INTEGER", schema))) &&
               run(target, inSchema("CREATE INDEX IF NOT EXISTS H.actions_pending ON actions (pending) WHERE "
                                    "pending IS NOT NULL",
                                    schema));
    }

    static bool insertChange(Statement& change, qint64 action, const QString& table, qint64 rowid,
                             RowChange::Kind kind, const QString& place, const QString& wheel) {
        change.bind(1, action);
        change.bind(2, table);
        change.bind(3, rowid);
        change.bind(4, qint64(kind));
        change.bind(5, place);
        change.bind(6, wheel);
        return change.run();
    }

    QString summary() const {
        QStringList parts;
        for (const QString& table : m_created)
            parts << QStringLiteral("created '%1'").arg(table);
        for (const Captured& captured : m_changes) {
            if (captured.vanished)
                continue;
            const QStringList names = columns(captured.table);
            const QString place =
                placeOf(captured.table, names, captured.after.empty() ? captured.before : captured.after)
                    .first;
            const int filter = int(names.indexOf(schema::field::IdPotential));
            const auto filterOf = [&](const std::vector<Value>& row) {
                return filter >= 0 && filter < int(row.size()) ? textOf(row[size_t(filter)].get())
                                                               : QString();
            };
            if (captured.kind == RowChange::Kind::Insert)
                parts << QStringLiteral("added '%1' to '%2'").arg(place, captured.table);
            else if (captured.kind == RowChange::Kind::Delete)
                parts << QStringLiteral("removed '%1' from '%2'").arg(place, captured.table);
            else if (captured.table == schema::table::FilterPlacement)
                parts << vocabulary::changeLine(place, filterOf(captured.before), filterOf(captured.after));
            else
                parts << QStringLiteral("changed '%1' in '%2'").arg(place, captured.table);
        }
        constexpr int Shown = 4;
        QString text = QStringList(parts.mid(0, Shown)).join(QStringLiteral("; "));
        if (parts.size() > Shown)
            text += QStringLiteral("; and %1 more").arg(parts.size() - Shown);
        return text;
    }

    qint64 writeAction(sqlite3* target, const char* schema) {
        // The installation's identity as it stands in this transaction.
        QString identity[3];
        {
            Statement system(m_engine, "SELECT [ID Configuration], [ID Stand], [ID Scan Unit] "
                                       "FROM main.[Available Systems] LIMIT 1");
            if (system.ok() && sqlite3_step(system.get()) == SQLITE_ROW)
                for (int i = 0; i < 3; ++i)
                    identity[i] = textOf(sqlite3_column_value(system.get(), i));
        }
        Statement action(target,
                         inSchema("INSERT INTO H.actions (at, user, host, program, configuration, stand, "
                                  "scan_unit, summary, undoes, pending) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                                  "?7, ?8, ?9, ?10)",
                                  schema));
        if (!action.ok())
            return 0;
        action.bind(1, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        action.bind(2, realUserName());
        action.bind(3, realHostName());
        action.bind(4, programName);
        for (int i = 0; i < 3; ++i)
            action.bind(5 + i, identity[i]);
        action.bind(8, summary());
        if (nextUndoes > 0)
            action.bind(9, nextUndoes);
        else
            sqlite3_bind_null(action.get(), 9);
        nextUndoes = 0;
        if (m_wal)
            action.bind(10, qint64(1));
        else
            sqlite3_bind_null(action.get(), 10);
        return action.run() ? sqlite3_last_insert_rowid(target) : 0;
    }

    sqlite3* m_engine;
    sqlite3* m_history = nullptr; // WAL: the history's own connection
    bool m_modeKnown = false;
    bool m_wal = false;
    qint64 m_pending = 0; // WAL: the record written as pending for this transaction
    bool m_attached = false;
    int m_lastCode = 0;
    QString m_lastText;
    Result m_unavailable;
    bool m_setAside = false;
    std::vector<Captured> m_changes;
    QHash<QString, size_t> m_rowIndex;
    QStringList m_created;
};

} // namespace

void reconcile(const QString& installationPath) {
    const QString path = pathFor(installationPath);
    if (QFileInfo(path).size() <= 0)
        return;
    sqlite3* history = nullptr;
    sqlite3* lock = nullptr;
    const auto done = [&] {
        sqlite3_close_v2(lock);
        sqlite3_close_v2(history);
    };
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &history, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        return done();
    sqlite3_busy_timeout(history, 750);
    engine_guard::harden(history, path);
    if (pendingRecords(history).empty())
        return done();
    // Under the installation's write lock no writer stands between its record and its commit.
    if (sqlite3_open_v2(QFile::encodeName(installationPath).constData(), &lock, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK ||
        (sqlite3_busy_timeout(lock, 750), engine_guard::harden(lock, installationPath),
         !run(lock, "BEGIN IMMEDIATE")))
        return done();
    if (run(history, "BEGIN IMMEDIATE"))
        run(history, settlePending(history, installationPath) ? "COMMIT" : "ROLLBACK");
    run(lock, "ROLLBACK");
    done();
}

QString pathFor(const QString& databasePath) {
    const QFileInfo file(databasePath);
    return file.dir().filePath(file.completeBaseName() + QStringLiteral(".history.sqlite"));
}

void recordEveryWrite(const QString& program) {
    programName = program;
    Database::setRecorderFactory([](Database& db) { return std::make_unique<HistoryRecorder>(db); });
}

void setUnavailableQuestion(std::function<WhenUnavailable(const QString&, bool)> ask) {
    unavailableQuestion = std::move(ask);
    suspended = false;
}

bool isSuspended() {
    return suspended;
}

void setNextUndoes(qint64 id) {
    nextUndoes = id;
}

} // namespace history
