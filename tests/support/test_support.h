#pragma once

#include "app/dialogs.h"

#include <QStringList>
#include <QTemporaryDir>
#include <deque>

namespace testing {

// Creates a SQLite file from SQL statements (the program itself never creates one).
void createDatabase(const QString& path, const QStringList& statements);
// The statements of samples/demo.sql.
QStringList demoStatements();
// A small installation: version, system, sets and placement rows as given, a catalogue of the
// placed filters and a favourite list with "None".
QStringList smallInstallation(const QString& version = QStringLiteral("2.05"),
                              const QString& scanUnit = QStringLiteral("LSM 5"),
                              const QString& fcsUnit = QStringLiteral("NONE"));

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

// Answers message boxes and file dialogs and records every message and program end.
class DialogRecorder {
public:
    DialogRecorder();
    ~DialogRecorder();
    QList<dialogs::Message> messages;
    QList<int> ends;
    std::deque<QString> nextFiles; // answers for file dialogs; empty means cancelled

    QStringList texts() const;
};

} // namespace testing
