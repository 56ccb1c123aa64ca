#include "core/db/database.h"

#include "core/db/cursor.h"
#include "core/db/engine_guard.h"
#include "core/gate/write_gate.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <array>
#include <sqlite3.h>

// The engine's own words behind a failure, for whoever reads the log (QT_LOGGING_RULES=
// "filtercontrol.engine.info=true"); users read the description.
Q_LOGGING_CATEGORY(engineLog, "filtercontrol.engine", QtWarningMsg)

Result Result::make(int code, const QString& description, const QString& detail) {
    if (!detail.isEmpty())
        qCInfo(engineLog).noquote() << description << "--" << detail;
    return Result{code, description, detail};
}

namespace {

QAtomicInt connectionCounter;
Database::RecorderFactory recorderFactory;

// Statements that change rows or tables; the rest read.
bool isWrite(const QString& sql) {
    const QString head = sql.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
    return head == QLatin1String("INSERT") || head == QLatin1String("UPDATE") ||
           head == QLatin1String("DELETE") || head == QLatin1String("CREATE") ||
           head == QLatin1String("ALTER") || head == QLatin1String("DROP");
}

// The engine's primary result codes the program tells apart.
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;
constexpr int SqliteReadOnly = 8;
constexpr int SqliteInterrupt = 9;
constexpr int SqliteIoErr = 10;
constexpr int SqliteCorrupt = 11;
constexpr int SqliteFull = 13;
constexpr int SqliteCantOpen = 14;
constexpr int SqliteNotADatabase = 26;

void bindAll(QSqlQuery& query, const QVariantList& values) {
    for (const QVariant& value : values)
        query.addBindValue(value);
}

enum class FileKind { Empty, Sqlite, Access, Other, Unreadable };

FileKind sniffFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::Unreadable;
    const QByteArray head = file.read(32);
    if (head.isEmpty())
        return FileKind::Empty;
    if (head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return FileKind::Sqlite;
    const QByteArray jetTag = head.mid(4, 15);
    if (head.startsWith(QByteArray("\0\1\0\0", 4)) &&
        (jetTag == "Standard Jet DB" || jetTag == "Standard ACE DB"))
        return FileKind::Access;
    return FileKind::Other;
}

// Whether a writer holds the file's write lock (the engine's reserved lock), as a writer does
// from its first change to its commit. Asked of the engine itself on a connection of its own: it
// knows this process's locks as well, and its closing never drops them (a descriptor of our own,
// closed, would drop every lock this process holds on the file).
bool writerActive(const QString& path) {
    sqlite3* probe = nullptr;
    int reserved = 0;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &probe, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_file* file = nullptr;
        if (sqlite3_file_control(probe, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
            file->pMethods)
            file->pMethods->xCheckReservedLock(file, &reserved);
    }
    sqlite3_close_v2(probe);
    return reserved != 0;
}

// A journal beside the file that a writer left when it ended before its write completed: it has a
// header, and no writer that is still at work holds the file.
bool hasHotJournal(const QString& path) {
    QFile journal(path + QStringLiteral("-journal"));
    if (!journal.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = journal.read(8);
    return header.size() == 8 && header != QByteArray(8, '\0') && !writerActive(path);
}

QString withNothingStored(const QString& description) {
    const QString nothing = QStringLiteral("Nothing was stored.");
    return description.endsWith(nothing) ? description : description + QLatin1Char(' ') + nothing;
}

QString inSentence(const QString& noun) {
    return noun.left(1).toLower() + noun.mid(1);
}

Result interruptedWriteError(const QString& path, const QString& noun) {
    const QString shown = QDir::toNativeSeparators(path);
    const QString advice =
        noun == Database::InstallationNoun
            ? QStringLiteral("Start the program on it, or run 'filterctl apply' on it, then "
                             "read it again.")
            : QStringLiteral("The next program run by a user who may write it does so.");
    return Result::make(dberr::InterruptedWrite,
                        QStringLiteral("An interrupted write left its journal '%1-journal' beside %2 '%1', "
                                       "which is not complete until it is opened for writing: that restores "
                                       "its last complete state. %3")
                            .arg(shown, inSentence(noun), advice));
}

// Whether a failure's subject is a statement's text (never shown) rather than a table's name.
bool isStatement(const QString& what) {
    static const QRegularExpression statement(
        QStringLiteral("^\\s*(SELECT|INSERT|UPDATE|DELETE|CREATE|ALTER|DROP|PRAGMA|ATTACH|DETACH)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return statement.match(what).hasMatch();
}

QString standsInPlace(const QString& shownPath, const QString& table, const QString& kind) {
    return QStringLiteral("The database '%1' has no table '%2': a %3 of that name stands in its place, and "
                          "this program reads tables only.")
        .arg(shownPath, table, kind);
}

Result notADatabase(const QString& path) {
    return Result::make(dberr::NotADatabase,
                        QStringLiteral("'%1' is not a database file (unrecognized database format).")
                            .arg(QDir::toNativeSeparators(path)));
}

Result lockedError(const QString& shownPath, const QString& noun) {
    return Result::make(dberr::Locked,
                        QStringLiteral("%1 is in use by another program.\n'%2' is "
                                       "locked; try again once the other program has finished with it.")
                            .arg(noun, shownPath));
}

Result accessFile(const QString& path) {
    return Result::make(
        dberr::NotADatabase,
        QStringLiteral("'%1' is a Microsoft Access database file; Filter Control reads SQLite databases. "
                       "Convert it into one: choose it with Browse in service mode (filter /S), which offers "
                       "the conversion, or run \"filterctl import-mdb FILE NEW.sqlite\".")
            .arg(QDir::toNativeSeparators(path)));
}

} // namespace

bool Database::isAccessFile(const QString& path) {
    return sniffFile(path) == FileKind::Access;
}

namespace {

// Checks what can be told before the engine sees the file.
bool checkFile(const QString& path, Result* error) {
    const QString shown = QDir::toNativeSeparators(path);
    if (path.trimmed().isEmpty())
        return fail(error, dberr::InvalidPath,
                    QStringLiteral("No database file is named (the path is empty)."));
    const QFileInfo info(path);
    if (!info.dir().exists())
        return fail(error, dberr::InvalidPath,
                    QStringLiteral("'%1' is not a valid path: the folder '%2' does not exist.")
                        .arg(shown, QDir::toNativeSeparators(info.absolutePath())));
    if (!info.exists())
        return fail(error, dberr::EngineFileNotFound,
                    QStringLiteral("Could not find the database file '%1'.").arg(shown));
    if (info.isDir())
        return fail(error, dberr::InvalidPath,
                    QStringLiteral("'%1' is a folder, not a database file.").arg(shown));
    switch (sniffFile(path)) {
    case FileKind::Sqlite:
        return true;
    case FileKind::Access:
        if (error)
            *error = accessFile(path);
        return false;
    case FileKind::Unreadable:
        return fail(error, dberr::CannotOpen,
                    QStringLiteral("The database file '%1' cannot be read (permission denied?).").arg(shown));
    case FileKind::Empty:
    case FileKind::Other:
        break;
    }
    if (error)
        *error = notADatabase(path);
    return false;
}

// The engine's primary result code; the driver leaves it out for a failed commit, whose text is
// the engine's own message for the code.
int primaryResultCode(const QSqlError& failure) {
    // The driver gives the code as text, and none for a failed commit.
    bool numeric = false;
    const int code = failure.nativeErrorCode().toInt(&numeric);
    if (numeric)
        return code & 0xff;
    static const std::array<std::pair<const char*, int>, 5> messages{
        {{"database is locked", SqliteBusy},
         {"database table is locked", SqliteLocked},
         {"readonly database", SqliteReadOnly},
         {"malformed", SqliteCorrupt},
         {"file is not a database", SqliteNotADatabase}}};
    for (const auto& [text, known] : messages)
        if (failure.databaseText().contains(QLatin1String(text)))
            return known;
    return -1;
}

// The engine's failure as the program tells it apart.
} // namespace

Result describeEngineFailure(const QString& noun, const QString& path, const QString& what, int resultCode,
                             const QString& text) {
    const QString shown = QDir::toNativeSeparators(path);
    switch (resultCode & 0xff) {
    case SqliteBusy:
    case SqliteLocked:
        return lockedError(shown, noun);
    case SqliteReadOnly:
        return Result::make(dberr::ReadOnly,
                            QStringLiteral("%1 '%2' is read-only: the file or its "
                                           "folder cannot be written, so nothing can be stored in it.")
                                .arg(noun, shown));
    case SqliteCorrupt:
        return Result::make(dberr::Damaged,
                            QStringLiteral("%1 '%2' is damaged (%3).").arg(noun, shown, text));
    case SqliteIoErr:
        return Result::make(dberr::QueryFailed,
                            QStringLiteral("%1 '%2' could not be read or written: the system reported an "
                                           "input/output error (%3).")
                                .arg(noun, shown, text));
    case SqliteFull:
        return Result::make(dberr::QueryFailed,
                            QStringLiteral("%1 '%2' cannot grow: the disk is full (%3). Nothing was stored.")
                                .arg(noun, shown, text));
    case SqliteCantOpen:
        return Result::make(dberr::CannotOpen,
                            QStringLiteral("%1 '%2' cannot be opened (%3).").arg(noun, shown, text));
    case SqliteNotADatabase:
        return notADatabase(path);
    case SqliteInterrupt:
        return Result::make(
            dberr::QueryFailed,
            QStringLiteral("Reading %1 '%2'%3 took longer than %4 and was ended: the file is not as this "
                           "program writes it ('filterctl check' names what is wrong in it).")
                .arg(inSentence(noun), shown,
                     isStatement(what) || what.isEmpty() ? QString()
                                                         : QStringLiteral(", table '%1',").arg(what),
                     engine_guard::statementBoundText(QFileInfo(path).size())));
    default:
        break;
    }
    static const QRegularExpression view(QStringLiteral("access to view \"([^\"]+)\" prohibited"));
    if (const QRegularExpressionMatch found = view.match(text); found.hasMatch())
        return Result::make(dberr::TableNotFound,
                            standsInPlace(shown, found.captured(1), QStringLiteral("view")));
    // A table or field that is not there is named as such; a statement's text is never shown.
    static const QRegularExpression missing(QStringLiteral("no such (table|column): ([^ ]+)"));
    const QRegularExpressionMatch found = missing.match(text);
    if (found.hasMatch()) {
        const bool table = found.captured(1) == QLatin1String("table");
        QString name = found.captured(2);
        name.remove(QRegularExpression(QStringLiteral("^(main|history|spectra)\\.")));
        return Result::make(table ? dberr::TableNotFound : dberr::FieldNotFound,
                            QStringLiteral("The database '%1' has no %2 '%3'.")
                                .arg(shown, table ? QStringLiteral("table") : QStringLiteral("field"), name));
    }
    const QString doing = isStatement(what) ? QStringLiteral("reading or writing") : what;
    return Result::make(
        dberr::QueryFailed,
        QStringLiteral("Database '%1', %2: the database engine refused it (its result code %3).")
            .arg(shown, doing)
            .arg(resultCode),
        text);
}

namespace {

QString typeName(Database::FieldType type) {
    switch (type) {
    case Database::FieldType::YesNo:
        return QStringLiteral("BOOLEAN");
    case Database::FieldType::Text:
        break;
    }
    return QStringLiteral("TEXT");
}

} // namespace

QString sqlName(const QString& name) {
    return QLatin1Char('[') + name + QLatin1Char(']');
}

Database::Database()
    : m_connection(QStringLiteral("filter-control-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

Database::~Database() {
    close();
}

QSqlDatabase Database::connection() const {
    return QSqlDatabase::database(m_connection, false);
}

QString Database::fileName() const {
    return QDir::toNativeSeparators(m_path);
}

bool Database::open(const QString& path, Result* error, Access access) {
    close();
    if (!checkFile(path, error))
        return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const bool interrupted = hasHotJournal(absolute);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        // mode=rw: the engine must never create a missing file. Another program's lock is waited
        // for briefly, then reported, so that the window does not seem to hang.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        db.setDatabaseName(
            QString::fromLatin1(QUrl::fromLocalFile(absolute).toEncoded()) +
            (access == Access::ReadOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw")));
        if (!db.open()) {
            const QString reason = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            if (error)
                *error = Result::make(dberr::CannotOpen,
                                      QStringLiteral("The database file '%1' cannot be opened.")
                                          .arg(QDir::toNativeSeparators(absolute)),
                                      reason);
            return false;
        }
        engine_guard::harden(static_cast<sqlite3*>(engineHandle()), absolute);
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const QSqlError failure = check.lastError();
            check = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            if (error) {
                *error = describeEngineFailure(m_noun, absolute, QString(), primaryResultCode(failure),
                                               failure.text());
                if (error->code == dberr::QueryFailed)
                    *error = notADatabase(absolute);
                if (error->code == dberr::ReadOnly && interrupted)
                    *error = interruptedWriteError(absolute, m_noun);
            }
            return false;
        }
    }
    // Opened for writing, the engine has put the file back as the last complete write left it.
    m_recoveredJournal = interrupted && !hasHotJournal(absolute);
    m_path = absolute;
    if (access == Access::ReadWrite) {
        m_gate = std::make_unique<gate::Baseline>();
        sqlite3_update_hook(static_cast<sqlite3*>(engineHandle()), &gate::rowWritten, m_gate.get());
        if (recorderFactory)
            m_recorder = recorderFactory(*this);
    }
    return true;
}

void Database::handOverTo(QThread* thread) {
    if (QSqlDatabase db = connection(); db.isValid() && db.driver())
        db.driver()->moveToThread(thread);
}

void Database::setRecorderFactory(RecorderFactory factory) {
    recorderFactory = std::move(factory);
}

void Database::close() {
    m_recorder.reset();
    if (auto* engine = static_cast<sqlite3*>(engineHandle()); engine && m_gate)
        sqlite3_update_hook(engine, nullptr, nullptr);
    m_gate.reset();
    m_inTransaction = false;
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_path.clear();
}

Result Database::engineError(const QString& what, const QSqlError& failure) const {
    return describeEngineFailure(m_noun, m_path, what, primaryResultCode(failure), failure.text());
}

Result Database::engineError(const QString& what, int resultCode, const QString& engineText) const {
    return describeEngineFailure(m_noun, m_path, what, resultCode, engineText);
}

void* Database::engineHandle() const {
    const QVariant handle = connection().driver() ? connection().driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<void* const*>(handle.constData());
}

bool Database::checkWritable(const QString& table, Result* error) const {
    // A journal is created beside the file, so a folder that cannot be written stops every store.
    const QFileInfo file(m_path);
    if (isOpen() && !QFileInfo(file.absolutePath()).isWritable())
        return fail(error, dberr::ReadOnly,
                    QStringLiteral("%1 '%2' is read-only: its folder '%3' cannot be "
                                   "written, so nothing can be stored in it.")
                        .arg(m_noun, fileName(), QDir::toNativeSeparators(file.absolutePath())));
    // An update that matches no row asks for the write lock and writes nothing.
    // Not recorded: it changes nothing, and a history file must not appear for it.
    return execStatement(QStringLiteral("UPDATE %1 SET rowid = rowid WHERE 0").arg(sqlName(table)), {},
                         error);
}

bool Database::hasTable(const QString& table) const {
    return findTable(table, nullptr);
}

bool Database::findTable(const QString& table, Result* error) const {
    return tableKind(table, error) == QLatin1String("table");
}

QString Database::tableKind(const QString& table, Result* error) const {
    if (!isOpen())
        return {};
    QSqlQuery query(connection());
    query.prepare(QStringLiteral("SELECT type, sql LIKE 'CREATE VIRTUAL TABLE%' FROM sqlite_master WHERE "
                                 "type IN ('table', 'view') AND name = ? COLLATE NOCASE"));
    query.addBindValue(table);
    if (!query.exec()) {
        if (error)
            *error = engineError(table, query.lastError());
        return {};
    }
    if (!query.next())
        return {};
    return query.value(1).toBool() ? QStringLiteral("virtual table") : query.value(0).toString();
}

bool Database::requireTable(const QString& table, Result* error) const {
    Result lookup;
    const QString kind = tableKind(table, &lookup);
    if (kind == QLatin1String("table"))
        return true;
    if (lookup.isError()) {
        if (error)
            *error = lookup;
        return false;
    }
    if (!kind.isEmpty())
        return fail(error, dberr::TableNotFound, standsInPlace(fileName(), table, kind));
    return fail(error, dberr::TableNotFound,
                QStringLiteral("The database '%1' has no table '%2'.").arg(fileName(), table));
}

QStringList Database::fieldNames(const QString& table) const {
    QStringList names;
    if (!hasTable(table))
        return names;
    QSqlQuery query(connection());
    if (query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(sqlName(table))))
        while (query.next())
            names << query.value(1).toString();
    return names;
}

std::unique_ptr<Cursor> Database::openTable(const QString& table, Result* error) const {
    if (!requireTable(table, error))
        return nullptr;
    // Named apart so that a table's own key column (which SQLite may report for rowid) keeps its name.
    const QString sql =
        QStringLiteral("SELECT rowid AS [fc rowid], * FROM %1 ORDER BY rowid").arg(sqlName(table));
    std::unique_ptr<Cursor> cursor(new Cursor(*this, connection(), table, sql, {}));
    if (!cursor->run()) {
        if (error)
            *error = cursor->error();
        return nullptr;
    }
    return cursor;
}

Result Database::emptyTableError(const QString& table) const {
    return Result::make(dberr::QueryFailed,
                        QStringLiteral("The table '%1' in '%2' has no rows.").arg(table, fileName()));
}

std::unique_ptr<Cursor> Database::openFirstRow(const QString& table, Result* error) const {
    auto cursor = openTable(table, error);
    if (cursor && cursor->atEnd()) {
        if (error)
            *error = emptyTableError(table);
        return nullptr;
    }
    return cursor;
}

std::unique_ptr<Cursor> Database::openQuery(const QString& sql, const QVariantList& values,
                                            Result* error) const {
    std::unique_ptr<Cursor> cursor(new Cursor(*this, connection(), QString(), sql, values));
    if (!cursor->run()) {
        if (error)
            *error = cursor->error();
        return nullptr;
    }
    return cursor;
}

bool Database::exec(const QString& sql, const QVariantList& values, Result* error) const {
    if (m_gate && !m_inTransaction && isWrite(sql))
        return const_cast<Database*>(this)->execInOwnTransaction(sql, values, error);
    return execStatement(sql, values, error);
}

bool Database::execStatement(const QString& sql, const QVariantList& values, Result* error) const {
    if (!isOpen())
        return fail(error, dberr::QueryFailed, QStringLiteral("No database is open."));
    QSqlQuery query(connection());
    if (!query.prepare(sql) || (bindAll(query, values), !query.exec())) {
        if (error)
            *error = engineError(sql, query.lastError());
        return false;
    }
    return true;
}

bool Database::execInOwnTransaction(const QString& sql, const QVariantList& values, Result* error) {
    Transaction transaction(*this, error);
    return transaction.isActive() && execStatement(sql, values, error) && transaction.commit(error);
}

bool Database::createTable(const QString& table, const QStringList& textFields, Result* error) {
    QStringList columns;
    for (const QString& field : textFields)
        columns << sqlName(field) + QStringLiteral(" TEXT");
    const bool created =
        exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(sqlName(table), columns.join(QStringLiteral(", "))),
             {}, error);
    if (created && m_recorder)
        m_recorder->tableCreated(table);
    return created;
}

bool Database::addField(const QString& table, const QString& field, FieldType type, Result* error) {
    if (!requireTable(table, error))
        return false;
    return exec(
        QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(sqlName(table), sqlName(field), typeName(type)),
        {}, error);
}

bool Database::beginTransaction(Result* error) {
    QSqlDatabase db = connection();
    if (!db.isOpen())
        return fail(error, dberr::QueryFailed, QStringLiteral("No database is open."));
    if (m_recorder && !m_recorder->prepare(*this, error))
        return false;
    // A write transaction takes the write lock at once, so that another program's short write is
    // waited for (a deferred one that read first would be refused at once, to avoid a deadlock).
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (error)
            *error = engineError(QStringLiteral("begin"), begin.lastError());
        if (m_recorder)
            m_recorder->finish(*this, false);
        return false;
    }
    m_inTransaction = true;
    // Read under the write lock: the state this write starts from.
    if (const Result read = m_gate ? gate::baseline(*this, m_gate.get()) : Result(); read.isError()) {
        rollback();
        if (error)
            *error = read;
        return false;
    }
    return true;
}

bool Database::commit(Result* error) {
    QSqlDatabase db = connection();
    // The engine ends a transaction itself on some failures (a full disk, an I/O error): there is
    // nothing left to check, record or commit, and what failed is said by the engine's last error.
    auto* engine = static_cast<sqlite3*>(engineHandle());
    if (engine && sqlite3_get_autocommit(engine)) {
        const Result failure =
            describeEngineFailure(m_noun, m_path, QStringLiteral("writing"), sqlite3_extended_errcode(engine),
                                  QString::fromUtf8(sqlite3_errmsg(engine)));
        rollback();
        if (error)
            *error = Result::make(failure.code, withNothingStored(failure.description));
        return false;
    }
    if (const Result refused = m_gate ? gate::check(*this, *m_gate) : Result(); refused.isError()) {
        rollback();
        if (error)
            *error = refused;
        return false;
    }
    if (m_recorder && !m_recorder->record(*this, error)) {
        rollback();
        return false;
    }
    m_inTransaction = false;
    // The history's record can be what the engine ended the transaction on.
    if (engine && sqlite3_get_autocommit(engine)) {
        const Result failure =
            describeEngineFailure(m_noun, m_path, QStringLiteral("writing"), sqlite3_extended_errcode(engine),
                                  QString::fromUtf8(sqlite3_errmsg(engine)));
        if (m_recorder)
            m_recorder->finish(*this, false);
        if (error)
            *error = Result::make(failure.code, withNothingStored(failure.description));
        return false;
    }
    if (!db.commit()) {
        // The engine's own code: the driver gives none for a failed commit.
        const Result failure = engine
                                   ? engineError(QStringLiteral("commit"), sqlite3_extended_errcode(engine),
                                                 QString::fromUtf8(sqlite3_errmsg(engine)))
                                   : engineError(QStringLiteral("commit"), db.lastError());
        db.rollback();
        if (m_recorder)
            m_recorder->finish(*this, false);
        if (error)
            *error = Result::make(failure.code, withNothingStored(failure.description), failure.detail);
        return false;
    }
    if (m_recorder)
        m_recorder->finish(*this, true);
    return true;
}

void Database::rollback() {
    connection().rollback();
    m_inTransaction = false;
    if (m_recorder)
        m_recorder->finish(*this, false);
}
