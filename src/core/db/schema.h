#pragma once

// Every table name, field name and code of the configuration database is spelled here and nowhere else.

#include <QString>
#include <QVariant>

namespace schema {

namespace table {
inline const QString SystemVersions = QStringLiteral("System Versions");
inline const QString AvailableSystems = QStringLiteral("Available Systems");
inline const QString FilterSets = QStringLiteral("Available FilterSets");
inline const QString FilterPlacement = QStringLiteral("Available FilterPlacement");
inline const QString PotentialFilters = QStringLiteral("Potential Filters");
inline const QString FavouriteFilters = QStringLiteral("Favourite Filters");
} // namespace table

namespace field {
inline const QString VersionName = QStringLiteral("Version Name");
inline const QString IdConfiguration = QStringLiteral("ID Configuration");
inline const QString IdStand = QStringLiteral("ID Stand");
inline const QString IdScanUnit = QStringLiteral("ID Scan Unit");
inline const QString IdFcsUnit = QStringLiteral("ID FCS Unit");
inline const QString IdAvailable = QStringLiteral("ID Available");
inline const QString Status = QStringLiteral("Status");
inline const QString Position = QStringLiteral("Position");
inline const QString IdPotential = QStringLiteral("ID Potential");
inline const QString Type = QStringLiteral("Type");
inline const QString Summary = QStringLiteral("Summary");
inline const QString CodeNo = QStringLiteral("Veltrano Code No");
inline const QString LowerWavelength = QStringLiteral("Lower Wavelength");
inline const QString CenterWavelength = QStringLiteral("Center Wavelength");
inline const QString UpperWavelength = QStringLiteral("Upper Wavelength");
inline const QString OpaqueFor = QStringLiteral("Opaque for");
inline const QString CustomerAdded = QStringLiteral("Customer Added");
inline const QString Producer = QStringLiteral("Producer");
} // namespace field

// Values with a meaning of their own.
inline const QString StatusDoNotUse = QStringLiteral("Do not use");
inline const QString NoFilter = QStringLiteral("None");
inline const QString NoUnit = QStringLiteral("NONE");
inline const QString MarlinMark = QStringLiteral("MARLIN");
inline const QString DefaultProducer = QStringLiteral("Veltrano");

// Wheel-kind codes found inside "ID Available".
namespace wheel {
inline const QString Emission = QStringLiteral("EF");
inline const QString FilterWheel = QStringLiteral("FW");
inline const QString Fw1 = QStringLiteral("FW1");
inline const QString MainSplitter = QStringLiteral("HT");
inline const QString SecondarySplitter = QStringLiteral("NT");
inline const QString Mbs = QStringLiteral("MBS");
inline const QString Dbs = QStringLiteral("DBS");
inline const QString Fcs = QStringLiteral("FCS");
} // namespace wheel

// Filter-type codes of "Type".
namespace type {
inline const QString BandPass = QStringLiteral("BP");
inline const QString LongPass = QStringLiteral("LP");
inline const QString ShortPass = QStringLiteral("KP");
inline const QString Notch = QStringLiteral("NF");
inline const QString Fw1 = QStringLiteral("FW1");
inline const QString Fw2 = QStringLiteral("FW2");
inline const QString Fw3 = QStringLiteral("FW3");
inline const QString MainSplitter = QStringLiteral("HFT");
inline const QString SecondarySplitter = QStringLiteral("NT");
inline const QString NotchSplitter = QStringLiteral("NFT");
} // namespace type

} // namespace schema

namespace schema {
// A set whose "Status" is exactly "Do not use" is treated as absent; Null or anything else is usable.
inline bool isUsableStatus(const QVariant& status) {
    return status.isNull() || status.toString() != StatusDoNotUse;
}
} // namespace schema
