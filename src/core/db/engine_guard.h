#pragma once

// Every database file the program opens (installations, histories, their side files) may have been
// written by another program, so each connection is set up as the engine's own guidance for files
// of unknown origin says: the schema is not trusted to call functions, the schema cannot be
// written around the engine, views and triggers do not run at all (the program reads and writes
// tables only), lengths and expression depths are bounded, and a statement that runs longer than
// its bound is ended.

#include <QString>
#include <QtGlobal>

struct sqlite3;

namespace engine_guard {

// How long one statement on a file of this size may run: 10 s, and a second more for each 10 MiB
// beyond the first (the engine's own integrity check reads the whole file).
qint64 statementBoundMs(qint64 fileBytes);
// The bound in words for a message: "10 s".
QString statementBoundText(qint64 fileBytes);

// Sets the connection up for a file from elsewhere; the file's size sets the statement bound.
void harden(sqlite3* engine, qint64 fileBytes);
// The same for a connection opened on a file by its path.
void harden(sqlite3* engine, const QString& path);
// A second connection, read-only and set up as above, on the file a connection has open (its path
// as the engine gives it); null when it cannot be opened. The caller closes it.
sqlite3* openReadOnly(const char* file);

// For tests: every statement bound in milliseconds from now on (0: by the file's size again).
void setStatementBoundMs(qint64 ms);

} // namespace engine_guard
