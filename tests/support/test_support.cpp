#include "test_support.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/exchange/workbook.h"
#include "core/startup/helper_programs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace testing {

QString referenceFile(const QString& relative) {
    return QDir(QStringLiteral(FC_REFERENCE_DIR)).filePath(relative);
}

QString missingReference(const QString& path) {
    return QStringLiteral("%1 is missing: the reference files are in the project's shared folder "
                          "(../shared/reference beside the clone); see README, \"Reference files\"")
        .arg(QDir::cleanPath(path));
}

QByteArray digest(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QStringList exactRows(const QString& path, const QString& table) {
    Database db;
    db.open(path, nullptr, Database::Access::ReadOnly);
    QStringList rows;
    const QStringList fields = db.fieldNames(table);
    QStringList columns{"rowid"};
    for (const QString& field : fields)
        columns << QString("typeof([%1]) || ':' || quote([%1])").arg(field);
    auto cursor = db.openQuery(QString("SELECT %1 FROM [%2] ORDER BY rowid").arg(columns.join(", "), table),
                               QVariantList(), nullptr);
    for (; cursor && !cursor->atEnd(); cursor->next()) {
        QStringList values;
        for (int i = 0; i <= fields.size(); ++i)
            values << cursor->textAt(i);
        rows << values.join('|');
    }
    return rows;
}

void createDatabase(const QString& path, const QStringList& statements) {
    const QString name = QStringLiteral("test-create");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        // One transaction (unless the statements bring their own): a file a test builds is written
        // once, not synced after every row.
        const bool ownTransaction = std::any_of(statements.begin(), statements.end(), [](const QString& sql) {
            return sql.trimmed().startsWith(QLatin1String("BEGIN"), Qt::CaseInsensitive);
        });
        QVERIFY(ownTransaction || db.transaction());
        for (const QString& statement : statements)
            QVERIFY2(query.exec(statement),
                     qPrintable(statement + QStringLiteral(": ") + query.lastError().text()));
        QVERIFY(ownTransaction || db.commit());
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

namespace {
QStringList sqlFileStatements(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("FC_DEMO_SQL does not name the demo SQL");
    QStringList statements;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString& part : text.split(QRegularExpression(QStringLiteral(";\\s*\\n")))) {
        QStringList lines = part.split(QLatin1Char('\n'));
        lines.erase(
            std::remove_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("--"); }),
            lines.end());
        const QString statement = lines.join(QLatin1Char('\n')).trimmed();
        if (!statement.isEmpty())
            statements << statement;
    }
    return statements;
}
} // namespace

QStringList demoStatements() {
    return sqlFileStatements(qEnvironmentVariable("FC_DEMO_SQL"));
}

QStringList fcsDemoStatements() {
    const QFileInfo demo(qEnvironmentVariable("FC_DEMO_SQL"));
    return demoStatements() + sqlFileStatements(demo.dir().filePath(QStringLiteral("demo-fcs.sql")));
}

QStringList smallInstallation(const QString& version, const QString& scanUnit, const QString& fcsUnit) {
    InstallationRows small;
    small.version = version;
    small.scanUnit = scanUnit;
    small.fcsUnit = fcsUnit;
    small.sets = {{"EF1", QVariant()}, {"FW1", QVariant()}, {"HT", QVariant()}};
    small.placements = {{"EF1", 1, "None"}, {"EF1", 2, "BP 1"}, {"FW1", 1, "Cube 1"}, {"HT", 1, "HFT 1"}};
    small.catalogue = {
        {"None", "", QVariant()}, {"BP 1", "BP", "C-1"}, {"Cube 1", "FW1", "C-2"}, {"HFT 1", "HFT", "C-3"}};
    small.favourites = {{"None", " "}};
    return small.statements();
}

namespace {
QString literal(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.typeId() == QMetaType::Int)
        return QString::number(value.toInt());
    return QLatin1Char('\'') + value.toString().replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}
} // namespace

QStringList InstallationRows::statements() const {
    QStringList sql{
        "CREATE TABLE [System Versions] ([Version Name] TEXT)",
        QStringLiteral("INSERT INTO [System Versions] VALUES (%1)").arg(literal(version)),
        "CREATE TABLE [Available Systems] ([ID Configuration] TEXT, [ID Stand] TEXT, [ID Scan Unit] TEXT, "
        "[ID FCS Unit] TEXT)",
        QStringLiteral("INSERT INTO [Available Systems] VALUES ('Small & Co', 'Stand S', %1, %2)")
            .arg(literal(scanUnit), literal(fcsUnit))};
    sql << "CREATE TABLE [Available FilterSets] ([ID Available] TEXT, [Status] TEXT)"
        << "CREATE TABLE [Available FilterPlacement] ([ID Available] TEXT, [Position] INTEGER, [ID "
           "Potential] TEXT)"
        << "CREATE TABLE [Potential Filters] ([ID Potential] TEXT, [Type] TEXT, [Summary] TEXT, "
           "[Veltrano Code No] TEXT, [Lower Wavelength] REAL, [Center Wavelength] REAL, [Upper Wavelength] "
           "REAL, "
           "[Opaque for] REAL, [Customer Added] BOOLEAN, [Producer] TEXT)";
    for (const auto& [id, status] : sets)
        sql << QStringLiteral("INSERT INTO [Available FilterSets] VALUES (%1, %2)")
                   .arg(literal(id), literal(status));
    for (const auto& [id, position, filter] : placements)
        sql << QStringLiteral("INSERT INTO [Available FilterPlacement] VALUES (%1, %2, %3)")
                   .arg(literal(id), literal(position), literal(filter));
    for (const auto& [name, type, code] : catalogue)
        sql << QStringLiteral(
                   "INSERT INTO [Potential Filters] ([ID Potential], [Type], [Summary], [Veltrano Code No]) "
                   "VALUES (%1, %2, %3, %4)")
                   .arg(literal(name), type.isEmpty() ? QStringLiteral("NULL") : literal(type),
                        literal(QStringLiteral("About ") + name), literal(code));
    if (withFavouriteTable) {
        sql << "CREATE TABLE [Favourite Filters] ([ID Potential] TEXT, [Type] TEXT)";
        for (const auto& [name, type] : favourites)
            sql << QStringLiteral("INSERT INTO [Favourite Filters] VALUES (%1, %2)")
                       .arg(literal(name), literal(type));
    }
    return sql;
}

namespace {
// Every test program reads foreign files through the readers the build made.
const bool readersNamed = (helpers::setFolder(QStringLiteral(FC_HELPER_FOLDER)), true);
} // namespace

QStringList placementRows(const QString& path) {
    Database db;
    Result error;
    if (!db.open(path, &error))
        qFatal("%s", qPrintable(error.description));
    QStringList rows;
    auto cursor = db.openTable(QStringLiteral("Available FilterPlacement"), &error);
    for (; cursor && !cursor->atEnd(); cursor->next())
        rows << cursor->text(QStringLiteral("ID Available")) + QLatin1Char('|') +
                    cursor->text(QStringLiteral("Position")) + QLatin1Char('|') +
                    cursor->text(QStringLiteral("ID Potential"));
    return rows;
}

Sandbox::Sandbox() : m_previous(qgetenv("FILTER_REGISTRY_DIR")) {
    qputenv("FILTER_REGISTRY_DIR", m_dir.path().toUtf8());
}

Sandbox::~Sandbox() {
    if (m_previous.isEmpty())
        qunsetenv("FILTER_REGISTRY_DIR");
    else
        qputenv("FILTER_REGISTRY_DIR", m_previous);
}

void Sandbox::setDatabasePath(const QString& databasePath) {
    QSettings machine(m_dir.filePath(QStringLiteral("machine.ini")), QSettings::IniFormat);
    machine.setValue(QStringLiteral("software/veltrano/cp/database/Path"), databasePath);
}

QString Sandbox::install(const QStringList& statements, const QString& name) {
    const QString file = path(name);
    createDatabase(file, statements);
    setDatabasePath(file);
    return file;
}

} // namespace testing
