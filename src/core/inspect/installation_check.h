#pragma once

// Finds what in a configuration database would make the program stop, leave something out or
// misbehave, and says what the program would do with it. Reads only.

#include "core/session/placement_session.h"

#include <QString>
#include <vector>

struct Finding {
    bool problem; // false: a note
    QString table;
    QString where; // the wheel and position, or the filter
    QString text;  // what is wrong and what the program does with it
    // The program cannot start on the file, or its load ends there: what no write may add.
    bool stopsLoad = false;
};

// The session has started the file (read-only is enough); the report is that start's.
std::vector<Finding> checkInstallation(PlacementSession& session, const PlacementSession::LoadReport& report);

// A finding in words, as filterctl check prints it: `problem: "Table", where: text`.
QString findingLine(const Finding& finding);

// Starts the file read-only as the service start-up does and checks it; false, with why, when it
// could not be started (not found, not a database, locked).
bool checkFile(const QString& path, std::vector<Finding>* findings, Result* error);
// The same in words ("no findings" when there are none), or why it could not be started.
QStringList checkFileLines(const QString& path);
