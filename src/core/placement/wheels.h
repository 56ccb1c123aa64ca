#pragma once

// The table of the main window's 18 wheel buttons: for each, the mode whose frame shows it, its
// candidate group, the set of "Available FilterSets" it stands for (in a full installation and in
// an FCS-only one), and its design caption. Nothing else spells a wheel button's number.

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace wheels {

constexpr int ButtonCount = 18;
constexpr int FcsButtonCount = 13; // the FCS unit's loader uses buttons 0 to 12
constexpr int PositionsPerWheel = 8;

// The three modes of the main window, each with its radio button, frame, row of eight positions
// and Store button.
enum class Mode { EmissionFilters, FilterCubes, BeamSplitters };
constexpr int ModeCount = 3;
constexpr int FrameCount = ModeCount * PositionsPerWheel; // the position frames of the three rows
// The mode's index: of its radio button, frame, row of positions and Store button.
constexpr int index(Mode mode) {
    return static_cast<int>(mode);
}
bool isMode(int mode);
// The mode of an index (the catalogue windows' CatalogueMode may be any number); none outside 0-2.
std::optional<Mode> modeAt(int index);

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

// The sets a loader sorts "Available FilterSets" into; a set's wheel number picks the button.
enum class SetKind {
    None,              // the button stands for no set
    Emission,          // "EF" without "FCS" (an FCS-only load: "FCS" and "EF")
    Cube,              // "FW"
    MainSplitter,      // exactly "HT"
    SecondarySplitter, // "NT"
    Mbs,               // the MBS changer
    Dbs,               // the DBS changer
    FcsEmission,       // "FCS" and "EF" beside a scan unit
};

struct WheelButton {
    int button;                // the CmdNr index
    Mode mode;                 // the mode whose frame shows it
    Group group;               // the candidate group its positions offer
    SetKind kind;              // the set it stands for in a full installation
    int number;                // that set's wheel number (0 for MBS and DBS)
    SetKind fcsKind;           // the same in an FCS-only installation
    int fcsNumber;             // (MBS and DBS are the beam-splitter group's first and second member)
    const char* caption;       // the design caption
    bool shownAtStart;         // the others appear when a loader finds their wheel
    bool purgedAfterCatalogue; // the activation purges its group (the changers and FCS wheels not)
};

const std::array<WheelButton, ButtonCount>& table();
inline const WheelButton& button(int index) {
    return table().at(index);
}

// Buttons the rules of the program name.
constexpr int NotchWheel = 4;       // the emission wheel that takes "NF" filters
constexpr int Fw1Wheel = 5;         // the first cube button, the FW1 wheel of the FW1 rule
constexpr int MainSplitter = 9;     // "HFT"; "MBS" in an FCS-only installation
constexpr int FirstNtSplitter = 10; // "NT1"; "DBS" in an FCS-only installation
constexpr int MbsChanger = 13;
constexpr int DbsChanger = 14;

// The button of a set's kind and wheel number, if the loader has one for it.
std::optional<int> buttonOf(SetKind kind, int number, bool fcsUnit);

// The group whose candidates a wheel button offers.
Group groupOfWheel(int button);
// The group a catalogue "Type" joins, if any.
std::optional<Group> groupOfType(const QString& type);
// The mode whose frames show the wheel.
Mode modeOfWheel(int button);
// The wheel buttons of a mode, in the order its Store examines them.
const std::vector<int>& wheelsOfMode(Mode mode);
const std::vector<int>& wheelsOfMode(int mode); // none for a number that is no mode
// The group of the wheel last chosen in a catalogue mode that the catalogue windows edit;
// none for the wheels that the main window's purge leaves alone.
std::optional<Group> editedGroup(int mode, int button);

// The wheel button last shown in each mode (the fourth entry is unused), and what it is at start:
// each mode's first button.
using SelectedWheels = std::array<int, 4>;
SelectedWheels firstWheels();

// The smallest k >= 1 whose decimal text occurs in the set ID; none when the ID has no digit 1-9.
std::optional<int> wheelNumber(const QString& setId);

} // namespace wheels
