#pragma once

// Finds what in a configuration database would make the program stop, leave something out or
// misbehave, and says what the program would do with it. Reads only.

#include <QString>
#include <vector>

class Database;

struct Finding {
    bool problem; // false: a note
    QString table;
    QString where; // the wheel and position, or the filter
    QString text;  // what is wrong and what the program does with it
};

std::vector<Finding> checkInstallation(Database& db);
