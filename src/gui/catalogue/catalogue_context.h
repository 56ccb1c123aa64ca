#pragma once

// What the catalogue windows work on while they are open: the session's catalogue service (its
// connection, the edited mode and wheels, the lists that follow each edit) and the windows they open.

#include <functional>

class CatalogueService;
class NewFilterWindow;

struct CatalogueContext {
    CatalogueService* catalogue = nullptr;
    // The program's one new-filter window, loaded on first use.
    std::function<NewFilterWindow*()> newFiltersWindow;
    // Shows the filter sheet import over the new-filter window.
    std::function<void(NewFilterWindow&)> openImportWindow;
};
