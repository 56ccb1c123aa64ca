#pragma once

#include "core/db/text_list.h"
#include "core/placement/wheels.h"

#include <QStringList>
#include <QVariant>
#include <array>
#include <optional>
#include <vector>

// One candidate group's two parallel lists: filter names and the companion text shown beside
// them (the code number after a load, a summary for entries the catalogue windows append). A
// service load lists the whole catalogue, hence the compact lists.
struct CandidateList {
    TextList CandidateIds;
    TextList CandidateCodes;

    void append(const QString& id, const QString& code) {
        CandidateIds << id;
        CandidateCodes << code;
    }
    // Removes the first entry equal to the name from both lists; false when there is none.
    bool removeFirst(const QString& id);
};

using Candidates = std::array<CandidateList, wheels::GroupCount>;

inline CandidateList& candidatesOf(Candidates& all, wheels::Group group) {
    return all[static_cast<int>(group)];
}
inline const CandidateList& candidatesOf(const Candidates& all, wheels::Group group) {
    return all[static_cast<int>(group)];
}

// One row of "Available FilterPlacement" as it was read: its identity and what it held.
struct PlacementRow {
    qint64 rowid = 0;
    QVariant position; // as stored: Null, a number or a text
    QString filter;
};

// What each wheel button holds after a load; index = button. An absent wheel has no list.
struct PlacementState {
    std::vector<std::optional<QStringList>> WheelFilters; // WheelFilters
    std::vector<std::optional<QStringList>> WheelTypes;   // WheelTypes; a null QString is a Null type
    QStringList WheelAvailableIds;                        // WheelAvailableIds; empty for an absent wheel
    // The rows each wheel's positions show (its first eight, in stored order), with what the program
    // last read or wrote there: a position is written only into its own row, and only when changed.
    std::vector<std::vector<PlacementRow>> WheelRows;

    void clear() {
        WheelFilters.clear();
        WheelTypes.clear();
        WheelAvailableIds.clear();
        WheelRows.clear();
    }
};
