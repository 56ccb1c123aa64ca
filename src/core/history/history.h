#pragma once

// The history of every write to an installation: one record per committed write transaction (who,
// when, which program, which installation, and each row's values before and after), kept in a
// file beside the installation's, never in it. The record is written in the write's own
// transaction, so that after a crash at any moment both are there or neither is.

#include "core/db/database.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace history {

// The history file of an installation's database: System_Configurations.history.sqlite beside
// System_Configurations.sqlite.
QString pathFor(const QString& databasePath);

// Records every write of every database opened for writing from now on. `program` names the writer
// in each record ("filter /S", "filter", "filterctl").
void recordEveryWrite(const QString& program);
// Asked once when the history cannot be written: refuse the write, go on without a history for
// the rest of the run, or (when it is damaged) set it aside so that the next write begins a new one.
// Unset, the write is refused.
enum class WhenUnavailable { Refuse, WithoutHistory, SetAside };
void setUnavailableQuestion(std::function<WhenUnavailable(const QString& reason, bool damaged)> ask);
// Whether a refusal lifted this run's recording.
bool isSuspended();
// The next record undoes record `id` (set by the undo, taken by the next record).
void setNextUndoes(qint64 id);

// One row as a record holds it: its table and rowid, where the windows name it ("EF1 2" or a filter
// name), and its fields before and after (none before an insert, none after a delete).
struct RowChange {
    QString table;
    qint64 rowid = 0;
    QString place;
    enum class Kind { Insert, Update, Delete, CreateTable } kind = Kind::Update;
    std::vector<std::pair<QString, QVariant>> before;
    std::vector<std::pair<QString, QVariant>> after;
    qint64 id = 0; // in the history file
};

struct Record {
    qint64 id = 0;
    QString at; // when, in UTC as ISO 8601 text (made a QDateTime only when shown)
    QString user;
    QString host;
    QString program;
    QString configuration;
    QString stand;
    QString scanUnit;
    QString summary;
    qint64 undoes = 0;           // the record this one undid, or 0
    std::vector<RowChange> rows; // filled by readRecord

    QDateTime when() const { return QDateTime::fromString(at, Qt::ISODateWithMs); }
};

struct Filter {
    QDateTime since; // invalid: all
    QString wheel;   // a placement row of this "ID Available"; empty: all
    QString text;    // found in the summary, user, host or program; empty: all
    int newest = 0;  // only the newest this many; 0: all
};

// The records newest first, without their rows. A missing history file has none.
bool readRecords(const QString& historyPath, const Filter& filter, std::vector<Record>* records,
                 Result* error);
// Settles the records a writer of a WAL installation left pending when it ended between its record
// and its commit: one whose rows the installation holds is made complete, any other is taken out.
// Done under the installation's write lock, so never while a writer is between the two; when the
// lock is not had at once, the next write settles them. Readers see complete records only.
void reconcile(const QString& installationPath);
// A pending record as written, and whether the installation holds what it wrote.
bool readPendingRecord(const QString& historyPath, qint64 id, Record* record, Result* error);
bool isInInstallation(const Database& installation, const Record& record, bool* holds, Result* error);

// Whether the history can be opened and its newest record read (a missing or empty one can).
bool checkReadable(const QString& historyPath, Result* error);
// One record with its rows.
bool readRecord(const QString& historyPath, qint64 id, Record* record, Result* error);

// What undoing a record does: each row put back, in reverse order, and the rows a later change
// touched (the row no longer holds what the record wrote).
struct UndoPlan {
    Record record;
    struct Step {
        size_t row;        // in record.rows
        QString text;      // "EF1 2: LP 560 -> BP 505-530", "puts back 'X' in Potential Filters"
        bool conflict;     // a later change touched the row
        bool gone = false; // and removed it: forced, the step writes nothing
    };
    std::vector<Step> steps;
    const RowChange& changeOf(const Step& step) const { return record.rows[step.row]; }
    bool hasConflicts() const;
    // The rows a forced undo writes: neither a row gone since nor a table that holds other rows.
    int rowsWritten() const;
    QString conflictText() const;
};
// The database is the installation, opened for writing (its history attached by the recorder).
bool planUndo(Database& db, qint64 id, UndoPlan* plan, Result* error);
// Puts the rows back in one transaction, recorded as a record that undoes this one; refuses a plan
// with conflicts unless forced. The rows are checked again inside the transaction.
bool executeUndo(Database& db, const UndoPlan& plan, bool force, Result* error);

} // namespace history
