#pragma once

// The placement of every installed wheel in the forms other tools read: Micro-Manager's
// state-device labels, CSV, JSON, and a configuration workbook that the package window and
// `filterctl apply` read back.

#include "core/placement/installation.h"

#include <QHash>
#include <vector>

class Database;

struct ExportedWheel {
    int button;
    QString availableId;
    wheels::Mode mode;
    QStringList filters; // position 1 first
    QStringList codes;   // the code number of each filter
};
std::vector<ExportedWheel> exportedWheels(const Database& db, const Installation& installation);

// "Label,<device>,<position from 0>,<filter>" lines; a device is named by its "ID Available"
// unless renamed.
QString microManagerLabels(const std::vector<ExportedWheel>& wheels,
                           const QHash<QString, QString>& deviceNames);
QString placementCsv(const std::vector<ExportedWheel>& wheels);
QByteArray placementJson(const std::vector<ExportedWheel>& wheels, const QString& database);

// Writes an .xlsx with one package sheet: the beam-splitter wheels in the upper block, the
// emission wheels in the lower one. Wheels that do not fit the layout (cube turrets, more than six
// beam-splitter or seven emission wheels) are named in *leftOut.
bool writePackageWorkbook(const QString& path, const QString& sheetName,
                          const std::vector<ExportedWheel>& wheels, QStringList* leftOut, QString* error);
