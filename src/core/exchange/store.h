#pragma once

// Plans and writes the filters of a wheel in "Available FilterPlacement". A plan names every row it
// will write and what that row holds now; what a window or filterctl shows before a write is the
// plan that is then executed, never a second reckoning.

#include "core/db/result.h"
#include "core/placement/placement_state.h"

#include <QStringList>
#include <QVariant>
#include <vector>

class Database;

// A Null or non-numeric "Position" matches nothing.
bool matchesPosition(const QVariant& position, int wanted);
// Why a row with this "Position" is not written at another position.
QString positionMismatch(const QVariant& position);

struct StoreResult {
    // Changed: another program changed a planned row after it was read; nothing was written.
    // Refused: the write gate found that the write would stop the installation from loading (a
    // filter the catalogue lacks placed); error names each fault and nothing was written.
    enum class Outcome { Stored, NoRows, Failed, Changed, Refused };
    Outcome outcome = Outcome::Stored;
    Result error;
};

struct WheelStorePlan {
    struct Write {
        int position; // from 1; the row's "Position" is this number
        qint64 rowid;
        QString now; // what the row holds now
        QString chosen;
    };
    QString availableId;
    bool hasRows = false; // any row carries the wheel's ID
    std::vector<Write> writes;
    std::vector<int> changedByOthers;                // rows that no longer hold what was shown
    std::vector<std::pair<int, QString>> notWritten; // position and why
    QStringList refusals; // why the wheel is not written at all: each filter the catalogue lacks

    // The writes whose row holds another filter than the one chosen: all that executing changes.
    std::vector<Write> changes() const;
    const Write* writeAt(int position) const;
    QString notWrittenReason(int position) const;
    // "3 of 8 positions change", "Nothing changes", or that the wheel has no rows; `chosen` is how
    // many positions the caller offers a filter for. Positions not written are counted after it.
    QString changeCountText(int chosen) const;
    // How one position fares: "changes from LP 560 to BP 505-530", "stays BP 505-530", "is not
    // written: ...".
    QString positionText(int position) const;

    // The question that names the changed positions, or the empty text when there are none.
    QString changedQuestion() const;
    // One line naming the positions that are not written, or the empty text.
    QString notWrittenNote() const;
};

// The main window's Store of a wheel whose position p shows shown[p]: the filter chosen there goes
// only into that row, only when it differs from what the row held when shown, and only while the
// row's "Position" is p + 1. Nothing moves between rows; a row that another program changed since
// it was shown is named in changedByOthers.
[[nodiscard]] bool planShownWheelStore(const Database& db, const QString& availableId,
                                       const std::vector<PlacementRow>& shown, const QStringList& chosen,
                                       WheelStorePlan* plan, Result* error);

// A package wheel: the table is walked in stored order from the wheel's first row, and a filled
// cell q is written while the current row is the wheel's with "Position" q + 1, which then moves
// the walk on. So an empty cell, or a missing row, stops the rows after it from lining up.
[[nodiscard]] bool planPackageWheelStore(const Database& db, const QString& availableId,
                                         const QStringList& filters, WheelStorePlan* plan, Result* error);

// Writes the plans' changes in one transaction, after checking that every planned row still is the
// wheel's, at its position, holding what the plan read: all are written or none.
[[nodiscard]] StoreResult executeStorePlans(Database& db, const std::vector<WheelStorePlan>& plans);
[[nodiscard]] StoreResult executeStorePlan(Database& db, const WheelStorePlan& plan);

// The rows the plans would change that no longer hold what the plans read, each named ("EF1 2 now
// holds 'X', the plan read 'Y'"), read outside any write.
[[nodiscard]] bool changedSincePlanned(const Database& db, const std::vector<WheelStorePlan>& plans,
                                       QStringList* changed, Result* error);
// A reviewed plan as a file: the installation it was made on, and every row it writes with the
// values it read (JSON). Read back, it is foreign input: its format, size, every key and type are
// checked, nothing may be repeated, and the first fault is named with where it stands.
struct SavedPlan {
    static constexpr int Format = 1;
    static constexpr int MaxSize = 1 << 20;
    struct Identity {
        QString configuration, stand, scanUnit;
        bool operator==(const Identity& other) const {
            return configuration == other.configuration && stand == other.stand && scanUnit == other.scanUnit;
        }
    } identity;
    std::vector<WheelStorePlan> wheels;
};
QByteArray planJson(const SavedPlan& plan);
bool parsePlanJson(const QByteArray& json, SavedPlan* plan, Result* error);

QString noRowsMessage(const QString& availableId);
QString changedMeanwhileMessage(const QString& availableId);
