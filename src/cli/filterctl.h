#pragma once

// filterctl's commands as a library on the core and the drawings (fc_plot, for plot), so that its
// tests run it in process and the executable is only its entry.

#include <QStringList>

class QTextStream;

namespace filterctl {

// The exit statuses, as --help and the manual page state them.
enum Status {
    Done = 0,     // done; for check: nothing found; for apply: written (or nothing to write)
    Found = 1,    // check found a problem, apply was refused, the installation does not load
    Usage = 2,    // wrong usage, or a file that cannot be used
    Locked = 3,   // another program holds the database: try again once it has finished
    ReadOnly = 4, // a dry run: the changes were shown, but the real run would be refused
};

// Runs one command line (arguments[0] is the program's name); writes results to `out` and every
// error as one line "filterctl: ..." to `err`.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace filterctl
