#pragma once

// Start-up decisions that need no window: the command line, the version check and the
// description of the installed system.

#include "core/db/result.h"

#include <QString>
#include <vector>

class Database;

namespace startup {

enum class Variant { User, Service, Invalid };

// The whole command line decides: empty is user mode, exactly "/S" or "/s" service mode.
Variant variantOf(const QString& commandLine);

constexpr int MinVersion = 20500;
inline const QString MinVersionText = QStringLiteral("2.05");

// The version text read as a numeric literal (leading number, "." as decimal point, 0 when there
// is none), times 10000, rounded.
int versionNumber(const QString& text);
bool isVersionAccepted(const QString& text);
QString versionMessage(const QString& text);
// Reads "Version Name" of the first "System Versions" row.
bool readVersionText(const Database& db, QString* text, Result* error);

struct SystemRecord {
    QString configuration;
    QString stand;
    QString scanUnit; // upper case
    QString fcsUnit;  // upper case, Null read as empty
};
// Each start-up step reads only the fields it needs, so a field that no step of a variant reads
// may be missing from the table.
enum class SystemField { Configuration, Stand, ScanUnit, FcsUnit };
// Those fields of the first row of "Available Systems".
bool readSystem(const Database& db, const std::vector<SystemField>& fields, SystemRecord* system,
                Result* error);
bool isMarlin(const SystemRecord& system);
// A system with an FCS unit and no scan unit has a loader of its own in service mode.
bool needsFcsLoader(const SystemRecord& system);

// Whether "Available FilterSets" has a usable set named exactly "FW1".
bool hasUsableFw1Set(const Database& db, bool* found, Result* error);

// The existence check before a load: error 76 for a missing folder, 53 for a missing file,
// 70 for one that cannot be read.
bool checkFileExists(const QString& path, Result* error);

} // namespace startup
