#pragma once

// What a command writes: never one of the files it reads, and whole or not at all.

#include "core/db/result.h"

#include <QStringList>
#include <functional>

namespace output {

// The files an installation is kept in: the database, its history, and their journal and WAL files.
QStringList installationFiles(const QString& databasePath);

// Refused (BadFile, naming both) when `path` is empty or is one of `inputs`: the same file, through
// symbolic and hard links too.
Result checkNotAnInput(const QString& path, const QStringList& inputs);

// `write` fills a temporary file beside `path`; only when it succeeds is that file renamed into
// place, so an interrupted write leaves the old file or the new one, never part of one.
Result writeWhole(const QString& path, const std::function<bool(const QString& temporaryPath)>& write);
Result writeWhole(const QString& path, const QByteArray& bytes);

} // namespace output
