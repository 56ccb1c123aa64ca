#pragma once

// What each wheel button stands for: its mode row, its candidate group, and the filter types
// that group admits.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace wheels {

constexpr int ButtonCount = 18;
constexpr int FcsButtonCount = 13;
constexpr int PositionsPerWheel = 8;

enum class Group {
    EmissionCandidates,
    NfCandidates,
    Fw1Candidates,
    Fw2Candidates,
    Fw3Candidates,
    HftNtCandidates,
    NftCandidates
};
constexpr int GroupCount = 7;

// The group whose candidates a wheel button offers.
Group groupOfWheel(int button);
// The group a catalogue "Type" joins, if any.
std::optional<Group> groupOfType(const QString& type);
// The mode (0 emission, 1 filter cubes, 2 beam splitters) whose frames show the wheel.
int modeOfWheel(int button);
// The wheel buttons a mode's Store examines, in order.
const std::vector<int>& wheelsOfMode(int mode);
// The group of the wheel last chosen in a catalogue mode that the catalogue windows edit;
// none for the wheels that the main window's purge leaves alone.
std::optional<Group> editedGroup(int mode, int button);

// The smallest k >= 1 whose decimal text occurs in the set ID; none when the ID has no digit 1-9.
std::optional<int> wheelNumber(const QString& setId);

} // namespace wheels
