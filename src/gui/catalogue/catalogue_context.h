#pragma once

#include "core/placement/placement_state.h"

#include <QString>
#include <array>
#include <functional>

class NewFilterWindow;
class QWidget;

// What the catalogue windows share with the main window while they are open.
struct CatalogueContext {
    QString databasePath;
    int CatalogueMode = 0;
    wheels::SelectedWheels SelectedWheel = wheels::firstWheels();
    bool serviceMode = false;
    QStringList* RemovedFilters = nullptr;
    Candidates* candidates = nullptr; // the main window's candidate lists
    // The program's one new-filter window, loaded on first use.
    std::function<NewFilterWindow*()> newFiltersWindow;
    // Shows the filter sheet import over the new-filter window.
    std::function<void(NewFilterWindow&)> openImportWindow;

    int wheel() const { return wheels::isMode(CatalogueMode) ? SelectedWheel[CatalogueMode] : -1; }
};
