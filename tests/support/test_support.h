#pragma once

#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <deque>
#include <tuple>

namespace testing {

// Files made by others (real Access files, the OME schema) live beside the project in
// ../shared/reference, never in it: a clone without them skips the tests that read them.
QString referenceFile(const QString& relative);
QString missingReference(const QString& path);

// A file's bytes as a hash: equal before and after means nothing was written.
QByteArray digest(const QString& path);
// Creates a SQLite file from SQL statements (the program itself never creates one), or runs them on
// an existing file as another program would, past the program's own checks.
void createDatabase(const QString& path, const QStringList& statements);
// The statements of samples/demo.sql; with samples/demo-fcs.sql after them, the FCS-only demo.
QStringList demoStatements();
QStringList fcsDemoStatements();
// A small installation: emission wheel EF1, turret FW1 and changer HT with a filter each, a
// catalogue of the placed filters and a favourite list with "None".
QStringList smallInstallation(const QString& version = QStringLiteral("2.05"),
                              const QString& scanUnit = QStringLiteral("LSM 5"),
                              const QString& fcsUnit = QStringLiteral("NONE"));

// An installation described row by row; statements() gives the SQL that builds it.
struct InstallationRows {
    QString version = QStringLiteral("2.05");
    QString scanUnit = QStringLiteral("LSM 5");
    QString fcsUnit = QStringLiteral("NONE");
    QList<std::pair<QString, QVariant>> sets;                 // "ID Available", "Status"
    QList<std::tuple<QString, QVariant, QString>> placements; // "ID Available", "Position", "ID Potential"
    QList<std::tuple<QString, QString, QVariant>> catalogue;  // "ID Potential", "Type", "Veltrano Code No"
    QList<std::pair<QString, QVariant>> favourites;           // "ID Potential", "Type"
    bool withFavouriteTable = true;

    QStringList statements() const;
};

// Every row of a table with each value's storage type: "rowid|text:'BP 1'|integer:2".
QStringList exactRows(const QString& path, const QString& table);
// Every row of "Available FilterPlacement" as "ID Available|Position|ID Potential", in stored order.
QStringList placementRows(const QString& path);

// A temporary folder that holds the settings hives (FILTER_REGISTRY_DIR) and databases.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Writes the database path into the machine hive.
    void setDatabasePath(const QString& databasePath);
    // Creates a database in the sandbox and registers it as the configured one.
    QString install(const QStringList& statements,
                    const QString& name = QStringLiteral("System_Configurations.sqlite"));

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

} // namespace testing

// Skips the running test, naming the missing file, when a reference file is not beside the project.
#define REQUIRE_REFERENCE(path)                                                                              \
    do {                                                                                                     \
        if (!QFileInfo::exists(path))                                                                        \
            QSKIP(qPrintable(testing::missingReference(path)));                                              \
    } while (false)
