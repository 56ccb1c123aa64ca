#include "placement_state.h"

bool CandidateList::removeFirst(const QString& id) {
    const int at = ids.indexOf(id);
    if (at < 0)
        return false;
    ids.removeAt(at);
    if (at < codes.size())
        codes.removeAt(at);
    return true;
}
