#pragma once

// Every filterctl verb, one file each; the registry lists them.

#include "cli/command.h"

class QJsonArray;

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

// One installation's findings (the --db one when `file` is empty); with `summary`, counted into it
// (and into `json`) instead of printed. import-mdb checks what it wrote with it.
int checkOne(Context& context, const QString& file, QJsonArray* json, QString* summary);

} // namespace filterctl
