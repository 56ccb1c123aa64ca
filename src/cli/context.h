#pragma once

// What every filterctl command works with: its arguments and options, the output, one-line errors
// and the exit status, the database lookup and the start of an installation as the service
// start-up does it.

#include "cli/filterctl.h"
#include "core/db/result.h"
#include "core/inspect/placement_export.h"
#include "core/session/placement_session.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace filterctl {

class Context {
public:
    Context(const QCommandLineParser& parser, QStringList arguments, QTextStream& out, QTextStream& err);

    // The positional arguments after the command's name.
    const QStringList& arguments() const { return m_arguments; }
    bool isSet(const QString& option) const { return m_parser.isSet(option); }
    QString value(const QString& option) const { return m_parser.value(option); }
    QStringList values(const QString& option) const { return m_parser.values(option); }

    QTextStream& out() { return m_out; }
    // A line on standard error that is not the command's end ("filterctl: note: ...").
    void warn(const QString& line);
    // Every error is one line, whatever line breaks the windows' form of a message has; returns
    // `status`. While errors are kept, the line is kept instead of printed.
    int fail(int status, const QString& line);
    // The exit status the last failure gave (Done while nothing failed).
    int status() const { return m_status; }
    // A failure of the core: Refused exits 1 (a write the gate refused: a line for each fault it
    // named), another program's lock 3, anything else 2.
    int failOn(const Result& error);
    // Keeps the errors of the calls that follow (for a summary line) instead of printing them.
    void keepErrors() { m_keepErrors = true; }
    const QStringList& keptErrors() const { return m_kept; }

    // The checks below return false after failing; the command then returns status().
    // Fails with a usage error when the command was given positional arguments.
    bool noArguments(const QString& command);

    // The file named by --db, or the configured one.
    bool databasePath(QString* path);
    // The same, or the empty text when there is none (a command that needs no database).
    QString databaseIfAny() const;
    // Refuses an output that would replace the installation's files or another file the command
    // reads (`inputs`); checked before anything is read or written.
    bool checkOutput(const QString& output, const QStringList& inputs = {});
    // A dry run of a write (`verb`): false, failing with ReadOnly and the reason, when the real run
    // would be refused: the database read-only or locked, or (without --no-history) its history
    // damaged or not writable.
    bool predictWrite(const QString& path, const QString& verb);
    // Starts `path` as the service start-up does, reading only; says nothing.
    static PlacementSession::LoadReport openSession(PlacementSession* session, const QString& path);
    // Starts the file (the --db one when empty) as the service start-up does, reading only.
    bool startSession(PlacementSession* session, PlacementSession::LoadReport* report,
                      const QString& file = QString());
    // Fails unless the report is of a complete load.
    bool requireLoaded(const PlacementSession::LoadReport& report);
    // The configured (or named) installation started and loaded, with every wheel `ids` names
    // installed (`what` says where the names came from).
    bool startLoaded(PlacementSession* session, const QStringList& ids, const QString& what);
    bool checkWheelIds(const Installation& installation, const QStringList& ids, const QString& what);

private:
    const QCommandLineParser& m_parser;
    QStringList m_arguments;
    QTextStream& m_out;
    QTextStream& m_err;
    int m_status = Done;
    bool m_keepErrors = false;
    QStringList m_kept;
};

// The wheels named, or all of them when none is.
std::vector<ExportedWheel> onlyWheels(std::vector<ExportedWheel> wheels, const QStringList& ids);

} // namespace filterctl
