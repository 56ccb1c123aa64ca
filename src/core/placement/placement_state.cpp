#include "core/placement/placement_state.h"

bool CandidateList::removeFirst(const QString& id) {
    const int at = CandidateIds.indexOf(id);
    if (at < 0)
        return false;
    CandidateIds.removeAt(at);
    if (at < CandidateCodes.size())
        CandidateCodes.removeAt(at);
    return true;
}
