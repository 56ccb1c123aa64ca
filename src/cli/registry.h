#pragma once

// The list of filterctl's commands, and what is built from it: the help texts and the manual page's
// synopsis. A new verb is a file in commands/ and one line in registry.cpp.

#include "cli/command.h"

namespace filterctl {

const std::vector<const Command*>& commands();
const Command* findCommand(const QString& name);

// "--json", or "-o" for a one-letter option.
QString optionFlag(const QString& name);
// The top-level help without a command, the command's own with one.
QString helpText(const Command* command);
// The SYNOPSIS section of filterctl(1), in troff, one form of a call a line.
QString manSynopsis();

} // namespace filterctl
