#pragma once

// The placement of every installed wheel in the forms other tools read: Micro-Manager's
// state-device labels, CSV, and a configuration workbook that the package window and
// `filterctl apply` read back.

#include "core/db/result.h"
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
// `withCodes`: look the code numbers up (one walk of a large catalogue).
std::vector<ExportedWheel> exportedWheels(const Database& db, const Installation& installation,
                                          bool withCodes = true);
// The rows that have no position number, named for a message ("EF1 row 3 (\"Position\" three)").
QStringList rowsWithoutNumber(const std::vector<ExportedWheel>& wheels);

// Device names two wheels would share (one device of Micro-Manager's would hold both wheels'
// positions): "the device 'A' for EF1 and EF2", each clash once.
QStringList microManagerDeviceClashes(const std::vector<ExportedWheel>& wheels,
                                      const QHash<QString, QString>& deviceNames);
// "Label,<device>,<position from 0>,<label>" lines for the rows with a position number, as
// Micro-Manager's configuration reader takes them: exactly four comma-separated fields, none empty,
// a line each, and one position per label of a device (a repeated filter name, "None" included,
// is labelled "None (5)" after its position). A device is named by its "ID Available" unless
// renamed. A name with a comma or a line break is refused (named in *refused) unless `replacement`
// is given, which then stands in for each such character.
QString microManagerLabels(const std::vector<ExportedWheel>& wheels,
                           const QHash<QString, QString>& deviceNames, const QString& replacement,
                           QStringList* refused);
// The name a Micro-Manager line can carry, or none when it holds a comma or a line break.
std::optional<QString> microManagerName(const QString& name, const QString& replacement);

// An OME-XML (schema 2016-06) Instrument: the stand as its microscope, a Filter for each placed
// filter and beam splitter (FilterWheel naming the wheel and position, the band as its
// TransmittanceRange), and a FilterSet for each placed filter cube.
QByteArray omeInstrument(const Database& db, const QString& stand, const std::vector<ExportedWheel>& wheels);
QString placementCsv(const std::vector<ExportedWheel>& wheels);

// Writes an .xlsx with one package sheet: the beam-splitter wheels in the upper block, the
// emission wheels in the lower one. Wheels that do not fit the layout (cube turrets, more than six
// beam-splitter or seven emission wheels) are named in *leftOut.
bool writePackageWorkbook(const QString& path, const QString& sheetName,
                          const std::vector<ExportedWheel>& wheels, QStringList* leftOut, Result* error);
