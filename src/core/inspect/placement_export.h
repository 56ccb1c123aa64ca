#pragma once

// The placement of every installed wheel in the forms other tools read: Micro-Manager's
// state-device labels, CSV, JSON, and a configuration workbook that the package window and
// `filterctl apply` read back.

#include "core/placement/installation.h"

#include <QHash>
#include <optional>
#include <vector>

class Database;

// A wheel's rows in stored order, each named by its "Position" value as the table holds it.
struct ExportedWheel {
    int button;
    QString availableId;
    wheels::Mode mode;
    QStringList filters;    // the rows the windows show, in stored order
    QStringList codes;      // the code number of each filter
    QVariantList positions; // each row's "Position": Null, a number or a text

    // The position number of row r for the formats that need one: its "Position" when that is a
    // whole number from 1 to 8 that no earlier row of the wheel holds.
    std::optional<int> positionNumber(int r) const;
};
std::vector<ExportedWheel> exportedWheels(const Database& db, const Installation& installation);
// The rows that have no position number, named for a message ("EF1 row 3 (\"Position\" three)").
QStringList rowsWithoutNumber(const std::vector<ExportedWheel>& wheels);

// "Label,<device>,<position from 0>,<filter>" lines for the rows with a position number; a device
// is named by its "ID Available" unless renamed.
QString microManagerLabels(const std::vector<ExportedWheel>& wheels,
                           const QHash<QString, QString>& deviceNames);
QString placementCsv(const std::vector<ExportedWheel>& wheels);
QByteArray placementJson(const std::vector<ExportedWheel>& wheels, const QString& database);

// Writes an .xlsx with one package sheet: the beam-splitter wheels in the upper block, the
// emission wheels in the lower one. Wheels that do not fit the layout (cube turrets, more than six
// beam-splitter or seven emission wheels) are named in *leftOut.
bool writePackageWorkbook(const QString& path, const QString& sheetName,
                          const std::vector<ExportedWheel>& wheels, QStringList* leftOut, QString* error);
