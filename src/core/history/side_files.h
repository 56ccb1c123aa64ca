#pragma once

// Tables the installation's program keeps in files of their own beside the installation (as the
// history is), never in a table the windows of the original program read. A write attaches the
// file to the installation's connection, so that its changes are recorded and undone as the
// installation's own, in the same transaction.

#include "core/db/database.h"

#include <QString>

namespace history {

struct SideTable {
    QString table;      // as records name it: "Transmission Spectra"
    QString schema;     // as the connection attaches it: "spectra"
    QString fileSuffix; // ".spectra.sqlite"
    QString create;     // the statement that makes the table in its file
};

// Measured transmission curves of catalogue filters, keyed by "ID Potential".
const SideTable& spectraTable();

// The side table of this name, or none.
const SideTable* sideTableNamed(const QString& table);
// Its file beside the installation: System_Configurations.spectra.sqlite.
QString sidePath(const QString& installationPath, const SideTable& side);
// How a statement names a table on a connection with the side files attached:
// "spectra.[Transmission Spectra]", or "[Potential Filters]".
QString statementName(const QString& table);

// Attaches the side table's file to the installation's connection (nothing when it already is).
// For writing, the file is created with the installation's group and mode when missing (unless
// `create` is false), and its table made when it has none; for reading, a missing file is none
// (false, no error). A table of that name that is not the program's (another letter case, no rowid,
// fields missing) is refused.
[[nodiscard]] bool attachSide(const Database& db, const SideTable& side, Database::Access access,
                              Result* error, bool create = true);

// Rolls back what a killed writer left in the side files' journals, as opening the installation
// does for its own: called before a write settles the super-journals beside the installation, and
// before a reader that cannot write them reads them. Needs write access to the side file.
void recoverSideFiles(const QString& installationPath);

} // namespace history
