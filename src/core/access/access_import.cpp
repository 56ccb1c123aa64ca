#include "core/access/access_import.h"

#include "core/access/mdb_stream.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/startup/helper_programs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <sqlite3.h>

namespace accessdb {

namespace {

// The reader passes a record at least every few milliseconds on any real file; a reader that
// stays silent this long is stuck on a damaged one.
constexpr int SilenceLimitMs = 15000;
constexpr qint64 ProgressEveryRows = 2000;

// Column types whose SQLite affinity keeps each value as the reader passed it (a text stays a
// text, a number a number); the names say what the Access field was.
QString columnType(FieldKind kind) {
    switch (kind) {
    case FieldKind::YesNo:
        return QStringLiteral("BOOLEAN");
    case FieldKind::Byte:
    case FieldKind::Integer:
    case FieldKind::Long:
    case FieldKind::Attachment:
        return QStringLiteral("INTEGER");
    case FieldKind::Currency:
        return QStringLiteral("CURRENCY");
    case FieldKind::Decimal:
        return QStringLiteral("DECIMAL");
    case FieldKind::Single:
    case FieldKind::Double:
        return QStringLiteral("REAL");
    case FieldKind::Date:
        return QStringLiteral("DATETIME");
    case FieldKind::Binary:
    case FieldKind::Ole:
        return QStringLiteral("BLOB");
    case FieldKind::Text:
    case FieldKind::Memo:
    case FieldKind::ReplicationId:
    case FieldKind::Other:
        break;
    }
    return QStringLiteral("TEXT");
}

// The new file, written in one transaction under its temporary name.
class SqliteWriter {
public:
    ~SqliteWriter() {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
    }
    bool open(const QString& path) {
        return sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                               nullptr) == SQLITE_OK &&
               exec("BEGIN");
    }
    bool createTable(const AccessRecord& head) {
        QStringList columns;
        for (const AccessColumn& column : head.columns)
            columns << sqlName(column.name) + QLatin1Char(' ') + columnType(column.kind);
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        m_columns = int(head.columns.size());
        const QString marks =
            QStringList(QVector<QString>(m_columns, QStringLiteral("?"))).join(QLatin1Char(','));
        return exec(QStringLiteral("CREATE TABLE %1 (%2)")
                        .arg(sqlName(head.text), columns.join(QStringLiteral(", ")))) &&
               sqlite3_prepare_v2(m_db,
                                  QStringLiteral("INSERT INTO %1 VALUES (%2)")
                                      .arg(sqlName(head.text), marks)
                                      .toUtf8()
                                      .constData(),
                                  -1, &m_insert, nullptr) == SQLITE_OK;
    }
    bool insert(const QVariantList& values) {
        if (!m_insert || values.size() != m_columns)
            return false;
        for (int i = 0; i < m_columns; ++i)
            bind(i + 1, values[i]);
        const bool done = sqlite3_step(m_insert) == SQLITE_DONE;
        sqlite3_reset(m_insert);
        return done;
    }
    qint64 count(const QString& table) {
        sqlite3_stmt* statement = nullptr;
        qint64 rows = -1;
        if (sqlite3_prepare_v2(
                m_db, QStringLiteral("SELECT count(*) FROM %1").arg(sqlName(table)).toUtf8().constData(), -1,
                &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            rows = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return rows;
    }
    bool commit() { return exec("COMMIT"); }
    QString error() const {
        return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
    }

private:
    bool exec(const QString& sql) {
        return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    void bind(int index, const QVariant& value) {
        switch (value.typeId()) {
        case QMetaType::LongLong:
            sqlite3_bind_int64(m_insert, index, value.toLongLong());
            break;
        case QMetaType::Double:
            sqlite3_bind_double(m_insert, index, value.toDouble());
            break;
        case QMetaType::QString: {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text(m_insert, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            sqlite3_bind_blob(m_insert, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default:
            sqlite3_bind_null(m_insert, index);
        }
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    int m_columns = 0;
};

// Reads the reader's records as they come and writes them; ends on the last record, a failure,
// a cancel or a reader that stopped.
class Conversion {
public:
    Conversion(const QString& source, ImportReport& report, const ImportProgress& progress)
        : m_source(source), m_report(report), m_progress(progress) {}

    bool run(const QString& temporary) {
        if (!m_writer.open(temporary))
            return fail(QStringLiteral("the new file cannot be written: %1").arg(m_writer.error()));
        m_reader.setStandardInputFile(m_source);
        // libmdb's warnings on a damaged file would pile up unread.
        m_reader.setStandardErrorFile(QProcess::nullDevice());
        const QString program = helpers::program(helpers::MdbReader);
        m_reader.start(program, {});
        if (!m_reader.waitForStarted())
            return fail(QStringLiteral("the Access reader '%1' cannot be started")
                            .arg(QDir::toNativeSeparators(program)));
        const bool done = readRecords();
        if (m_reader.state() != QProcess::NotRunning) {
            m_reader.kill();
            m_reader.waitForFinished();
        }
        return done;
    }

private:
    bool readRecords() {
        QDataStream in(&m_reader);
        QDeadlineTimer silence(SilenceLimitMs);
        for (;;) {
            AccessRecord record;
            in.startTransaction();
            in >> record;
            if (in.commitTransaction()) {
                silence.setRemainingTime(SilenceLimitMs);
                if (record.tag == AccessRecord::Done)
                    return m_writer.commit() ||
                           fail(QStringLiteral("the new file cannot be written: %1").arg(m_writer.error()));
                if (!take(record))
                    return false;
                continue;
            }
            if (in.status() == QDataStream::ReadCorruptData)
                return stopped();
            if (m_reader.state() == QProcess::NotRunning && !m_reader.bytesAvailable())
                return stopped();
            if (m_progress && !m_progress(m_table.name, m_table.read)) {
                m_report.cancelled = true;
                return fail(QStringLiteral("the conversion was cancelled"));
            }
            if (!m_reader.waitForReadyRead(200) && silence.hasExpired())
                return fail(
                    QStringLiteral("reading it stopped making progress for %1 s").arg(SilenceLimitMs / 1000));
        }
    }

    bool take(const AccessRecord& record) {
        switch (record.tag) {
        case AccessRecord::File:
            m_report.format = record.text;
            return true;
        case AccessRecord::Table:
            m_table = TableCopy{record.text, int(record.columns.size()), 0, 0, 0};
            if (!m_writer.createTable(record))
                return fail(
                    QStringLiteral("table \"%1\" cannot be created: %2").arg(record.text, m_writer.error()));
            return true;
        case AccessRecord::Row:
            if (!m_writer.insert(record.values))
                return fail(QStringLiteral("a row of table \"%1\" cannot be written: %2")
                                .arg(m_table.name, m_writer.error()));
            ++m_table.read;
            if (m_progress && m_table.read % ProgressEveryRows == 0 &&
                !m_progress(m_table.name, m_table.read)) {
                m_report.cancelled = true;
                return fail(QStringLiteral("the conversion was cancelled"));
            }
            return true;
        case AccessRecord::TableEnd:
            m_table.stored = record.stored;
            m_table.written = m_writer.count(m_table.name);
            m_report.tables.push_back(m_table);
            return true;
        case AccessRecord::Failure:
            return fail(record.text);
        case AccessRecord::Done:
            break;
        }
        return true;
    }

    // The reader ended without its last record: a crash or a limit met on a damaged file.
    bool stopped() {
        m_reader.waitForFinished(1000);
        if (m_reader.exitStatus() == QProcess::NormalExit &&
            m_reader.exitCode() == helpers::OutOfMemoryStatus)
            return fail(
                QStringLiteral("reading it needs more memory than the Access reader may take for it (%1 MiB)")
                    .arg(readerMemoryLimit(QFileInfo(m_source).size()) >> 20));
        return fail(
            QStringLiteral("the Access reader stopped on it: the file is damaged, or reading it needs "
                           "more than the reader's limits (%1 MiB, 60 s of processor time)")
                .arg(readerMemoryLimit(QFileInfo(m_source).size()) >> 20));
    }

    bool fail(const QString& why) {
        m_report.error = why;
        return false;
    }

    QString m_source;
    ImportReport& m_report;
    const ImportProgress& m_progress;
    QProcess m_reader;
    SqliteWriter m_writer;
    TableCopy m_table;
};

QStringList missingInstallationTables(const std::vector<TableCopy>& tables) {
    QStringList missing;
    for (const QString& needed :
         {schema::table::SystemVersions, schema::table::AvailableSystems, schema::table::FilterSets,
          schema::table::FilterPlacement, schema::table::PotentialFilters, schema::table::FavouriteFilters}) {
        const bool present = std::any_of(tables.begin(), tables.end(), [&](const TableCopy& table) {
            return table.name.compare(needed, Qt::CaseInsensitive) == 0;
        });
        if (!present)
            missing << needed;
    }
    return missing;
}

// Every table's three counts agree, or the first that does not, in words.
QString countMismatch(const std::vector<TableCopy>& tables) {
    for (const TableCopy& table : tables)
        if (!table.matches())
            return QStringLiteral(
                       "the file is damaged: the definition of table \"%1\" counts %2 rows, but %3 "
                       "could be read and %4 written")
                .arg(table.name)
                .arg(table.stored)
                .arg(table.read)
                .arg(table.written);
    return QString();
}

} // namespace

bool isAccessFile(const QString& path) {
    return Database::isAccessFile(path);
}

QString convertedName(const QString& source) {
    const QFileInfo info(source);
    const QDir folder = info.absoluteDir();
    QString name = folder.filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = folder.filePath(QStringLiteral("%1 (%2).sqlite").arg(info.completeBaseName()).arg(n));
    return name;
}

qint64 ImportReport::rows() const {
    qint64 sum = 0;
    for (const TableCopy& table : tables)
        sum += table.written;
    return sum;
}

bool ImportReport::holdsInstallation() const {
    return missingTables.isEmpty() || missingTables == QStringList{schema::table::FavouriteFilters};
}

ImportReport importAccessFile(const QString& source, const QString& target, const ImportProgress& progress) {
    ImportReport report;
    report.target = target;
    const QString shownSource = QDir::toNativeSeparators(source);
    const auto failed = [&](const QString& why) {
        report.error =
            QStringLiteral("'%1' cannot be converted: %2. Nothing was written.").arg(shownSource, why);
        return report;
    };
    if (!QFileInfo(source).isFile())
        return failed(QStringLiteral("there is no such file"));
    if (!isAccessFile(source))
        return failed(QStringLiteral("it is not a Microsoft Access database file"));
    if (QFileInfo::exists(target))
        return failed(QStringLiteral("'%1' exists already, and is never overwritten")
                          .arg(QDir::toNativeSeparators(target)));
    QTemporaryFile temporary(QFileInfo(target)
                                 .absoluteDir()
                                 .filePath(QStringLiteral(".%1.XXXXXX.part"))
                                 .arg(QFileInfo(target).fileName()));
    if (!temporary.open())
        return failed(QStringLiteral("no file can be written in '%1'")
                          .arg(QDir::toNativeSeparators(QFileInfo(target).absolutePath())));
    temporary.close();
    {
        Conversion conversion(source, report, progress);
        if (!conversion.run(temporary.fileName()))
            return failed(report.error);
    }
    const QString mismatch = countMismatch(report.tables);
    if (!mismatch.isEmpty())
        return failed(mismatch);
    if (!QFile::rename(temporary.fileName(), target))
        return failed(QStringLiteral("the new file cannot be put in place as '%1'")
                          .arg(QDir::toNativeSeparators(target)));
    temporary.setAutoRemove(false);
    // The installation is shared as the Access file was; its owner may write it.
    QFile::setPermissions(target,
                          QFile::permissions(source) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    report.missingTables = missingInstallationTables(report.tables);
    return report;
}

QStringList reportLines(const ImportReport& report) {
    if (!report.ok())
        return {report.error};
    QStringList lines{
        QStringLiteral("converted %1 table%2, %3 rows (%4) into %5; every table's rows counted in the "
                       "Access file, read and written agree:")
            .arg(report.tables.size())
            .arg(report.tables.size() == 1 ? "" : "s")
            .arg(report.rows())
            .arg(report.format, QDir::toNativeSeparators(report.target))};
    for (const TableCopy& table : report.tables)
        lines << QStringLiteral("  \"%1\": %2 rows, %3 fields")
                     .arg(table.name)
                     .arg(table.written)
                     .arg(table.fields);
    for (const QString& missing : report.missingTables)
        lines << (missing == schema::table::FavouriteFilters
                      ? QStringLiteral("note: no table \"%1\"; the first load creates it").arg(missing)
                      : QStringLiteral("problem: no table \"%1\", which an installation holds").arg(missing));
    return lines;
}

} // namespace accessdb
