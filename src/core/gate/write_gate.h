#pragma once

// The check a write passes before its commit: nothing it writes may stop the installation from
// loading. The program ends at start-up on a placed filter that is no catalogue row, so a write
// may not leave one that was not there before it (one already there is check's to report).

#include "core/db/result.h"

#include <QSet>
#include <QString>

class Database;

namespace gate {

// The placed filters the catalogue lacks as the installation stands, before the write.
struct Baseline {
    QSet<QString> missing;
};
[[nodiscard]] Result baseline(const Database& db, Baseline* before);

// Inside the write's transaction, before its commit: Refused, naming each new one with the rows
// that place it, when the write left a placed filter the catalogue lacks.
[[nodiscard]] Result check(const Database& db, const Baseline& before);

} // namespace gate
