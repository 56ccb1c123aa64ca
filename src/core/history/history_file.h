#pragma once

// The history file as a file: who writes it, whom it belongs to, and whether a write can use it.
// On a shared microscope PC each scientist has an account of their own and the installation is
// writable by a group; its history must be writable by exactly the same people.

#include "core/db/result.h"

#include <QString>

class Database;

namespace history {

// How messages name the history file.
inline const QString HistoryNoun = QStringLiteral("The history of changes");

// The writer as the system knows it, never as the environment says: the real user's account name
// (its number when it has none) and the machine's host name.
QString realUserName();
QString realHostName();

// Creates the empty history file beside the installation with the installation's group and
// permission bits (and its owner when run as root). True when the file exists afterwards, made by
// this call or by another writer a moment before.
bool createLike(const QString& historyPath, const QString& installationPath, QString* why);

// When this user may write the installation but not its existing history: the sentence that names
// both files with their owners and modes, and the command that mends it. Empty otherwise.
QString permissionProblem(const QString& historyPath, const QString& installationPath);

// What a write to the installation would meet with its history, told without writing: the
// history damaged, not writable, or not creatable. Used by dry runs to predict the real run.
[[nodiscard]] Result checkUsable(const QString& installationPath);

// Renames a damaged history (and a journal beside it) to "….history.damaged-YYYYMMDD-HHMMSS.sqlite"
// beside it, so that the next write begins a new one; nothing is deleted. Refused for a history
// that can be read.
[[nodiscard]] Result setAside(const QString& installationPath, QString* setAsidePath);

// Opens the history file for reading; false with no error when there is none yet (no file, or the
// empty file a first write left when it was interrupted). A journal an interrupted write left is
// rolled back by opening the file for writing, when this user may.
bool openForReading(const QString& path, Database* db, Result* error);
// The condition that keeps readers to complete records ("pending IS NULL": a write not known to
// have committed yet is not shown); empty for a history made before records could be pending.
QString completeRecords(const Database& history);

} // namespace history
