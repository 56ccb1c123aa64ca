#pragma once

// Reading and changing the catalogue and the favourite list for the catalogue windows.

#include "core/db/db_error.h"
#include "core/placement/wheels.h"

#include <QStringList>
#include <optional>
#include <vector>

class Database;

namespace catalogue {

// The filter types the favourite window lists for the wheel last chosen in a catalogue mode.
QStringList acceptedTypes(int mode, int wheel);
// The main window's candidate groups that a newly stored filter joins in service mode.
std::vector<wheels::Group> newFilterGroups(int mode, int wheel);

// What the favourite window shows: the favourites of the group and, position for position, the
// catalogue's names, summaries and types of the group.
struct FavouriteWindowLists {
    QStringList salesList;
    QStringList names;
    QStringList summaries;
    QStringList types;
    bool catalogueEmpty = false;
};
bool readFavouriteWindowLists(const Database& db, const QStringList& accepted, FavouriteWindowLists* lists,
                              DbError* error);

// Creates "Favourite Filters" with its "None" row when it is missing; the row's type stays unset.
bool ensureFavouriteTable(Database& db, DbError* error);
bool addFavourite(Database& db, const QString& name, const QString& type, DbError* error);
// Deletes the first row of the table whose "ID Potential" is the name; *found tells whether there was one.
bool deleteFirstNamed(Database& db, const QString& table, const QString& name, bool* found, DbError* error);
// Whether any wheel position holds the filter.
bool isPlaced(const Database& db, const QString& name, bool* placed, DbError* error);

} // namespace catalogue
