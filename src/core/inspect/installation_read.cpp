#include "core/inspect/installation_read.h"

#include "core/exchange/package.h"
#include "core/startup/startup.h"

bool readInstallation(Database& db, InstallationRead* read, DbError* error) {
    if (!startup::readVersionText(db, &read->version, error))
        return false;
    read->versionAccepted = startup::isVersionAccepted(read->version);
    startup::SystemRecord system;
    using startup::SystemField;
    if (!startup::readSystem(db, {SystemField::ScanUnit, SystemField::FcsUnit}, &system, error))
        return false;
    read->installation.board = WheelBoard::design();
    LoadOptions options;
    options.serviceMode = true;
    options.writeFavourites = false;
    read->result = startup::needsFcsLoader(system) ? loadFcsWheels(db, options, read->installation)
                                                   : loadAllWheels(db, options, read->installation);
    return true;
}

std::vector<QStringList> placedCodes(const Database& db, const Installation& installation) {
    // One walk of the catalogue for every placed filter.
    QStringList names;
    for (const Installation::Wheel& wheel : installation.installedWheels())
        names << wheel.filters;
    const QStringList codes = codeNumbers(db, names);
    std::vector<QStringList> byButton(installation.placement.WheelFilters.size());
    int next = 0;
    for (const Installation::Wheel& wheel : installation.installedWheels()) {
        byButton[wheel.button] = codes.mid(next, wheel.filters.size());
        next += wheel.filters.size();
    }
    return byButton;
}
