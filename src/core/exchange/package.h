#pragma once

// Configuration packages: one worksheet each, an upper block of beam-splitter wheels (row 1,
// positions in rows 2 to 9) and a lower block of emission wheels (row 11, positions in rows 12
// to 19), one wheel every other column from A.

#include "core/exchange/store.h"

#include <QHash>
#include <QStringList>

class Database;
class Workbook;

// Wheels a package can hold: four to six in the upper block, four to seven in the lower one.
constexpr int PackageWheelCount = 13;

struct Package {
    QStringList wheelIds;     // the upper block's first, then the lower block's
    int upperExtraWheels = 0; // filled optional upper cells (columns I and K)
};
Package readPackage(Workbook& workbook, int sheet);

struct PackageWheel {
    bool upper = false;
    QStringList filters; // eight; empty where the cell has fewer than 4 characters
};
// Wheel k (from 0) of the package.
PackageWheel readPackageWheel(Workbook& workbook, int sheet, const Package& package, int k);

// The code number of each name from its first catalogue row; empty when none or Null.
QStringList codeNumbers(const Database& db, const QStringList& names);
// The fields of each name's first catalogue row, by name; a name the catalogue lacks is absent.
QHash<QString, QStringList> catalogueValues(const Database& db, const QStringList& names,
                                            const QStringList& fields);
