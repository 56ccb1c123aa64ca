#include "core/placement/wheels.h"

#include "core/db/schema.h"

namespace wheels {

Group groupOfWheel(int button) {
    switch (button) {
    case 4:
        return Group::NfCandidates;
    case 5:
        return Group::Fw1Candidates;
    case 6:
        return Group::Fw2Candidates;
    case 7:
    case 8:
        return Group::Fw3Candidates;
    case 9:
    case 13:
        return Group::HftNtCandidates;
    case 10:
    case 11:
    case 12:
    case 14:
        return Group::NftCandidates;
    default:
        return Group::EmissionCandidates;
    }
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
    if (type == MainSplitter || type == SecondarySplitter)
        return Group::HftNtCandidates;
    if (type == NotchSplitter)
        return Group::NftCandidates;
    return std::nullopt;
}

int modeOfWheel(int button) {
    if (button >= 5 && button <= 8)
        return 1;
    if (button >= 9 && button <= 14)
        return 2;
    return 0;
}

const std::vector<int>& wheelsOfMode(int mode) {
    static const std::vector<std::vector<int>> wheels{
        {0, 1, 2, 3, 4, 15, 16, 17}, {5, 6, 7, 8}, {9, 10, 11, 12, 13, 14}, {}};
    return wheels[mode >= 0 && mode < 3 ? mode : 3];
}

std::optional<Group> editedGroup(int mode, int button) {
    const bool inMode = (mode == 0 && button >= 0 && button <= 4) ||
                        (mode == 1 && button >= 5 && button <= 8) ||
                        (mode == 2 && button >= 9 && button <= 12);
    if (!inMode)
        return std::nullopt;
    return groupOfWheel(button);
}

std::optional<int> wheelNumber(const QString& setId) {
    // Any number from 10 on contains one of the digits 1-9, so the smallest match is a single digit.
    for (int k = 1; k <= 9; ++k)
        if (setId.contains(QChar(u'0' + k)))
            return k;
    return std::nullopt;
}

} // namespace wheels
