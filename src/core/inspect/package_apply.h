#pragma once

// Applying a package of a configuration workbook without a window: the package is read as the
// package window reads it and stored with the rules of the main window's Store (rows located by
// "Position", no other row touched), every wheel of one call in one transaction.

#include "core/exchange/store.h"

#include <QStringList>
#include <vector>

class Database;
class Workbook;

struct PackageChange {
    QString availableId;
    int position;
    QString from;
    QString to;
};

struct PackageApplyPlan {
    std::vector<WheelStorePlan> wheels;
    std::vector<PackageChange> changes; // positions whose filter changes
    QStringList refusals;               // unknown filters, wheels without rows: nothing may be written
};

// Plans the package on the sheet (from 1), all its wheels or only those named.
bool planPackageApply(const Database& db, Workbook& workbook, int sheet, const QStringList& onlyWheels,
                      PackageApplyPlan* plan, Result* error);
