#pragma once

// Every filterctl verb, one file each; the registry lists them.

#include "cli/command.h"

#include <memory>

class PlacementSession;
class QJsonArray;
struct Snapshot;

namespace filterctl {

const Command& checkCommand();
const Command& showCommand();
const Command& diffCommand();
const Command& exportCommand();
const Command& applyCommand();
const Command& plotCommand();
const Command& historyCommand();
const Command& undoCommand();
const Command& importMdbCommand();
const Command& snapshotCommand();
const Command& publishCommand();
const Command& fitCommand();
const Command& spectraCommand();

// One installation's findings (the --db one when `file` is empty); with `summary`, counted into it
// (and into `json`) instead of printed. import-mdb checks what it wrote with it.
int checkOne(Context& context, const QString& file, QJsonArray* json, QString* summary);

// An installation's snapshot (a database started read-only, kept open in `session` while its rows
// are read) or a snapshot file's; diff and publish read their inputs with it.
bool snapshotOf(Context& context, const QString& file, std::unique_ptr<PlacementSession>* session,
                Snapshot* snapshot);
// The snapshot's JSON as it is made (its wheels from `snapshot`, its catalogue from the database),
// onto standard output or (whole or not at all) into `file`. show and export write it.
int writeSnapshot(Context& context, const Snapshot& snapshot, const QString& file);

} // namespace filterctl
