#pragma once

// The check every write to an installation passes inside its transaction, before its commit:
// nothing it writes may stop the installation from loading. The database runs it on every write
// transaction of a file opened for writing, so no caller can leave it out. What stops the load is
// read cheaply here: a placed filter that is no catalogue row (the program ends at start-up), a
// table the start needs missing, or a table the load reads empty. A fault that was there before
// the write is check's to report, not the write's to refuse.

#include "core/db/result.h"

#include <QSet>
#include <QString>
#include <vector>

class Database;

namespace gate {

// One thing that stops the installation from loading. The key stays the same while the fault does.
struct Fault {
    QString key;
    QString text;
    QString filter; // a placed filter the catalogue lacks
    QString place;  // and the row that places it, "EF1 3" (empty for the other faults)
};
[[nodiscard]] Result loadFaults(const Database& db, std::vector<Fault>* faults);

// Another program's trigger on a table the program reads and writes: code that would run inside
// the program's writes. No write runs while one is there (the program's own connections never run
// triggers at all).
struct Trigger {
    QString name;
    QString table;
};
[[nodiscard]] Result foreignTriggers(const Database& db, std::vector<Trigger>* triggers);

// The catalogue's names as hashes, kept by a database between its writes while no other program
// changed the file (its data version) and none of its own writes touched the catalogue: a write
// then looks up the filters it places instead of walking a million catalogue rows twice.
struct CatalogueNames {
    bool valid = false;
    qint64 dataVersion = -1;
    qint64 schemaVersion = -1;
    std::vector<quint64> hashes; // sorted
};

// The faults as the installation stood when the write began, and what the write changed since,
// as the engine reported each row; refused while a trigger is there.
struct Baseline {
    QSet<QString> keys;
    CatalogueNames names;
    qint64 changesAtBegin = 0;
    qint64 rowsReported = 0;
    bool catalogueTouched = false;
};
[[nodiscard]] Result baseline(const Database& db, Baseline* before);
// The engine's report of one row written, while the database is open for writing.
void rowWritten(void* baseline, int operation, const char* schema, const char* table, qint64 rowid);

// Refused, naming each fault the write added (with the rows it concerns), when there are any.
[[nodiscard]] Result check(const Database& db, const Baseline& before);

// The words for a filter the catalogue lacks, wherever it is found: in a plan's preview, in a
// refused write, in filterctl. `places` names the rows ("EF1 3, EF2 1").
QString notInCatalogueText(const QString& filter, const QString& places);

} // namespace gate
