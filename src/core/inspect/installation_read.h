#pragma once

// The installation as the service start-up loads it, for callers without windows: the FCS unit's
// loader for a system with an FCS unit and no scan unit, the loader of all wheels otherwise; the
// whole catalogue as candidates; nothing written.

#include "core/placement/loader.h"

class Database;

struct InstallationRead {
    Installation installation;
    LoadResult result;
    bool versionAccepted = true;
    QString version;
};

// False, with *error, when the system cannot be identified at all (no "System Versions" or
// "Available Systems" row, a missing field).
bool readInstallation(Database& db, InstallationRead* read, DbError* error);

// Each placed filter's code number ("Veltrano Code No" of its first catalogue row), by button.
std::vector<QStringList> placedCodes(const Database& db, const Installation& installation);
