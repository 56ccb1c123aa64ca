#pragma once

// Reading and changing the catalogue and the favourite list for the catalogue windows.

#include "core/db/growing_block.h"
#include "core/db/result.h"
#include "core/db/text_list.h"
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

// One filter type per catalogue position (the favourite window's TypeList), kept as an index into
// the few distinct types, so that a catalogue of any size costs two bytes a row.
class CompactTypeList {
public:
    CompactTypeList() = default;
    // Lists that start from the same types agree on their indexes, and are joined by index.
    explicit CompactTypeList(const QStringList& types) : m_types(types) {}
    void append(const QString& type);
    void appendAt(int typeIndex) { m_index.push_back(quint16(typeIndex)); } // of the types given
    void appendList(const CompactTypeList& other); // of a list started from the same types
    void swap(CompactTypeList& other) noexcept {
        m_types.swap(other.m_types);
        m_index.swap(other.m_index);
    }
    QString value(int position) const; // the empty text beyond the list
    void removeAt(int position);
    int size() const { return int(m_index.size()); }
    QStringList toStringList() const;

private:
    QStringList m_types; // the distinct texts
    GrowingArray<quint16> m_index;
};

// What the favourite window shows: the favourites of the group and, position for position, the
// catalogue's names, summaries and types of the group.
struct FavouriteWindowLists {
    TextList salesList;
    TextList names;
    TextList summaries;
    CompactTypeList types;
    bool catalogueEmpty = false;
};
bool readFavouriteWindowLists(const Database& db, const QStringList& accepted, FavouriteWindowLists* lists,
                              Result* error);

// Creates "Favourite Filters" with its "None" row when it is missing; the row's type stays unset.
bool ensureFavouriteTable(Database& db, Result* error);
bool addFavourite(Database& db, const QString& name, const QString& type, Result* error);
// Deletes the first row of the table whose "ID Potential" is the name; *found tells whether there was one.
bool deleteFirstNamed(Database& db, const QString& table, const QString& name, bool* found, Result* error);
// Whether any wheel position holds the filter.
bool isPlaced(const Database& db, const QString& name, bool* placed, Result* error);
// The names that are no row of "Potential Filters", in the order given, each once; one read of the
// catalogue for all of them.
bool missingFromCatalogue(const Database& db, const QStringList& names, QStringList* missing, Result* error);
// Whether the engine compares the catalogue's names byte for byte (no collation declared in its
// table): only then does a look-up by a name's bytes find what the engine's look-up finds.
bool namesCompareAsBytes(const Database& db);

} // namespace catalogue
