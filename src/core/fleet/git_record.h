#pragma once

// The fleet's record: each installation's canonical snapshot kept in a git working copy, one file
// per installation named by its identity, each change committed with what changed as its message
// and the real user as its author. Git itself does the work (Debian's `git`): the facility's own
// configuration, hooks and remotes then apply as they do to every other commit there.

#include "core/db/result.h"
#include "core/inspect/snapshot.h"

#include <QString>
#include <QStringList>
#include <vector>

class PlacementSession;

namespace fleet {

// "Lab_3-Inverted_Stand_IS-200-LSM_5-scope-pc.json": the identity and the host, in characters
// every file system and URL takes.
QString snapshotFileName(const Snapshot::Identity& identity, const QString& host);

struct GitRecord {
    QString file;        // the snapshot's path in the working copy
    QStringList changes; // what differs from the snapshot committed before (empty: nothing)
    bool committed = false;
};

// Writes the loaded installation's snapshot into the working copy `repository` and commits it when
// it differs from the one there; nothing is written or committed when nothing changed.
[[nodiscard]] Result recordInGit(PlacementSession& session, const QString& repository, GitRecord* record);

struct GitCommit {
    QString at; // ISO 8601
    QString author;
    QString changes; // the commit's changes in one line, or its subject when it names none
};
// The newest commits of a file in a git working copy, newest first; none when the file is in none
// or git is not at hand.
std::vector<GitCommit> commitsOf(const QString& file, int count);

} // namespace fleet
