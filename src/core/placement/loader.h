#pragma once

// Reads which wheels the installation has, what sits in each position and which filters each
// kind of wheel may take. Each table is read once and matched in memory, so a load grows
// linearly with the catalogue.

#include "core/placement/installation.h"

#include "core/db/result.h"

class Database;

struct LoadOptions {
    bool serviceMode = false; // started with a command line: the whole catalogue is offered
    bool marlin = false;      // the MARLIN scan unit loads every wheel in user mode too
    // Readers that never write (filterctl) keep the completed favourite list in memory only.
    bool writeFavourites = true;
    // Readers that take only the wheels (a snapshot, a check) leave the candidate lists empty: the
    // catalogue is walked for the placed filters' rows only.
    bool candidates = true;
};

struct LoadResult {
    enum class Outcome {
        Complete, // show the first mode's wheel
        Fatal,    // show the message, close the database, end the program
        Stopped   // ended silently where the data ran out; what was built stays
    };
    Outcome outcome = Outcome::Complete;
    QString message; // for Fatal
    Result error;    // for Stopped: what ended the load
    // Favourites were to be written (the list created or a placed filter added) and were kept in
    // memory only, as the options asked.
    bool favouritesWithheld = false;

    static LoadResult fatal(const QString& message) { return {Outcome::Fatal, message, {}}; }
    static LoadResult stopped(const Result& error) { return {Outcome::Stopped, {}, error}; }
};

// Fills the installation (buttons, placements, candidate lists) for all 18 wheel buttons. What a
// load that stops early has not reached stays as the installation held it.
LoadResult loadAllWheels(Database& db, const LoadOptions& options, Installation& installation);

// The same for an installation whose wheels are the FCS unit's: 13 wheel buttons, the FCS
// emission wheels on buttons 0 to 4 and the MBS and DBS changers on 9 and 10.
LoadResult loadFcsWheels(Database& db, const LoadOptions& options, Installation& installation);

inline const QString NoFilterWheelsMessage = QStringLiteral("FS Stativ - no motorized filter revolvers !");
QString missingFilterMessage(const QString& name);
