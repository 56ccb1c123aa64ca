#pragma once

#include "placement/placement_state.h"

#include <QString>
#include <array>
#include <functional>

class NewFilters;
class QWidget;

// What the catalogue windows share with the main window while they are open.
struct CatalogueContext {
    QString databasePath;
    int mode = 0; // CatalogueMode
    std::array<int, 4> selectedWheel{{0, 5, 9, 0}};
    bool serviceMode = false;
    QStringList* removedFilters = nullptr; // RemovedFilters
    Candidates* candidates = nullptr;      // the main window's candidate lists
    // The program's one new-filter window, loaded on first use.
    std::function<NewFilters*()> newFiltersWindow;
    // Shows the filter sheet import over the new-filter window.
    std::function<void(NewFilters&)> openImportWindow;

    int wheel() const { return mode >= 0 && mode < 3 ? selectedWheel[mode] : -1; }
};
