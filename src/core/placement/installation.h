#pragma once

// The installation model: what a load found (the installed wheels with their sets and positions,
// and the candidate groups) and the state of the wheel and mode buttons that the loaders keep. The
// main window shows the buttons from it; a caller without windows asks it for the wheels.

#include "core/placement/placement_state.h"

#include <QHash>
#include <array>
#include <vector>

// One wheel button as the loaders and the FW1 rule leave it; enabled means the wheel is installed.
struct ButtonState {
    bool enabled = false;
    bool visible = true;
    QString caption;
};

struct WheelBoard {
    std::array<ButtonState, wheels::ButtonCount> buttons;
    std::array<bool, wheels::ModeCount> modeEnabled{{false, false, false}};
    std::array<bool, wheels::ModeCount> modeVisible{{true, true, true}}; // a user sees the cubes only

    // As the main window is designed: the mode buttons enabled, every wheel button disabled with its
    // design caption, the changers beyond the first and the FCS wheels hidden until a loader finds them.
    static WheelBoard design();
};

struct Installation {
    WheelBoard board;
    PlacementState placement; // WheelFilters, WheelTypes, WheelAvailableIds, by button
    Candidates candidates;    // CandidateIds / CandidateCodes, by group
    // A load without candidate lists keeps each placed filter's code instead (its first catalogue
    // row's), by name: what a snapshot shows, without another walk of the catalogue.
    QHash<QString, QString> placedCodes;

    struct Wheel {
        int button;
        QString availableId;
        int number; // the set's wheel number, 0 for an ID without one
        wheels::Group group;
        QStringList filters;            // position 1 first
        QStringList types;              // a null QString for a Null type
        std::vector<PlacementRow> rows; // the row each position shows, with its "Position"
    };
    // The installed wheels that the load read positions for, in button order.
    std::vector<Wheel> installedWheels() const;
};
