#pragma once

// The words the windows and filterctl share, written once: a change of a position, the modes'
// names, the writers' names in the history, a history record's line and the messages both say.

#include <QString>

namespace history {
struct Record;
}

namespace vocabulary {

// A text from a database as one line shows it: each control character as an escape ("\n", "\r",
// "\t", "\x1b"), so that a name holding a line break or a terminal's escape neither splits nor
// rewrites the line it stands in.
QString visible(const QString& text);

// "EF1 2: LP 560 -> BP 505-530": a row (or a compared place) that changes from one text to another.
QString changeLine(const QString& place, const QString& from, const QString& to);
// "changes from LP 560 to BP 505-530": said of a position beside its name.
QString changeDescription(const QString& from, const QString& to);

// The three modes' captions, by mode index: "Emission Filters", "Filter Cubes Stand", "Beam Splitters
// Corvid".
QString modeCaption(int mode);
// What the wheels of a mode are, as the windows name them aloud: "Emission filter wheel", "Filter
// cube turret", "Beam splitter changer".
QString wheelKind(int mode);

// How the history names a writer: "filter /S", "filter", "filterctl".
QString programName(bool serviceMode);
QString commandLineProgram();

// A history record's parts as every view shows them, and its one line in filterctl.
QString recordTime(const history::Record& record); // local time, "2026-12-06 14:03:12"
QString recordWho(const history::Record& record);  // "user@host"
QString recordWhat(const history::Record& record); // its summary, "(undoes N)" after an undo
QString recordLine(const history::Record& record);

// No database path in the settings: where an administrator sets it.
QString noDatabaseConfigured();

} // namespace vocabulary
