#include "wheels.h"

#include "core/db/schema.h"

namespace wheels {

namespace {
using G = Group;
using K = SetKind;
constexpr Mode E = Mode::EmissionFilters;
constexpr Mode C = Mode::FilterCubes;
constexpr Mode B = Mode::BeamSplitters;
} // namespace

const std::array<WheelButton, ButtonCount>& table() {
    // clang-format off
    static const std::array<WheelButton, ButtonCount> buttons{{
        // button mode group                  set (full)     no  set (FCS only)  no  caption  shown  purged
        {0,  E, G::EmissionCandidates, K::Emission,    1, K::Emission, 1, "1",     true,  true},
        {1,  E, G::EmissionCandidates, K::Emission,    2, K::Emission, 2, "2",     true,  true},
        {2,  E, G::EmissionCandidates, K::Emission,    3, K::Emission, 3, "3",     true,  true},
        {3,  E, G::EmissionCandidates, K::Emission,    4, K::Emission, 4, "4",     true,  true},
        {4,  E, G::NfCandidates,       K::Emission,    5, K::Emission, 5, "M",     true,  true},
        {5,  C, G::Fw1Candidates,      K::Cube,        1, K::Cube,     1, "1",     true,  true},
        {6,  C, G::Fw2Candidates,      K::Cube,        2, K::Cube,     2, "2",     true,  true},
        {7,  C, G::Fw3Candidates,      K::Cube,        3, K::Cube,     3, "3",     true,  true},
        {8,  C, G::Fw3Candidates,      K::Cube,        4, K::Cube,     4, "4",     true,  true},
        {9,  B, G::HftNtCandidates,    K::MainSplitter, 1, K::Mbs,     1, "HFT",   true,  true},
        {10, B, G::NftCandidates,      K::SecondarySplitter, 1, K::Dbs, 2, "NFT1", false, true},
        {11, B, G::NftCandidates,      K::SecondarySplitter, 2, K::None, 0, "NFT2", false, true},
        {12, B, G::NftCandidates,      K::SecondarySplitter, 3, K::None, 0, "NFT3", false, true},
        {13, B, G::HftNtCandidates,    K::Mbs,         0, K::None,     0, "MBS",   false, false},
        {14, B, G::NftCandidates,      K::Dbs,         0, K::None,     0, "DBS",   false, false},
        {15, E, G::EmissionCandidates, K::FcsEmission, 1, K::None,     0, "FCS_1", false, false},
        {16, E, G::EmissionCandidates, K::FcsEmission, 2, K::None,     0, "FCS_2", false, false},
        {17, E, G::EmissionCandidates, K::FcsEmission, 3, K::None,     0, "FCS_M", false, false},
    }};
    // clang-format on
    return buttons;
}

bool isMode(int mode) {
    return mode >= 0 && mode < ModeCount;
}

std::optional<Mode> modeAt(int index) {
    return isMode(index) ? std::optional<Mode>(static_cast<Mode>(index)) : std::nullopt;
}

std::optional<int> buttonOf(SetKind kind, int number, bool fcsUnit) {
    for (const WheelButton& wheel : table())
        if ((fcsUnit ? wheel.fcsKind : wheel.kind) == kind &&
            (fcsUnit ? wheel.fcsNumber : wheel.number) == number)
            return wheel.button;
    return std::nullopt;
}

Group groupOfWheel(int index) {
    return button(index).group;
}

std::optional<Group> groupOfType(const QString& type) {
    using namespace schema::type;
    if (type == BandPass || type == LongPass || type == ShortPass)
        return Group::EmissionCandidates;
    if (type == Notch)
        return Group::NfCandidates;
    if (type == schema::type::Fw1)
        return Group::Fw1Candidates;
    if (type == schema::type::Fw2)
        return Group::Fw2Candidates;
    if (type == schema::type::Fw3)
        return Group::Fw3Candidates;
    if (type == schema::type::MainSplitter || type == SecondarySplitter)
        return Group::HftNtCandidates;
    if (type == NotchSplitter)
        return Group::NftCandidates;
    return std::nullopt;
}

Mode modeOfWheel(int index) {
    return button(index).mode;
}

const std::vector<int>& wheelsOfMode(int mode) {
    static const std::array<std::vector<int>, ModeCount + 1> wheels = [] {
        std::array<std::vector<int>, ModeCount + 1> byMode;
        for (const WheelButton& wheel : table())
            byMode[size_t(index(wheel.mode))].push_back(wheel.button);
        return byMode;
    }();
    return wheels[size_t(isMode(mode) ? mode : ModeCount)];
}

const std::vector<int>& wheelsOfMode(Mode mode) {
    return wheelsOfMode(index(mode));
}

std::optional<Group> editedGroup(int mode, int index) {
    if (index < 0 || index >= ButtonCount)
        return std::nullopt;
    const WheelButton& wheel = button(index);
    if (wheels::index(wheel.mode) != mode || !wheel.purgedAfterCatalogue)
        return std::nullopt;
    return wheel.group;
}

SelectedWheels firstWheels() {
    return {{wheelsOfMode(E).front(), wheelsOfMode(C).front(), wheelsOfMode(B).front(), 0}};
}

std::optional<int> wheelNumber(const QString& setId) {
    // Any number from 10 on contains one of the digits 1-9, so the smallest match is a single digit.
    for (int k = 1; k <= 9; ++k)
        if (setId.contains(QChar(u'0' + k)))
            return k;
    return std::nullopt;
}

} // namespace wheels
