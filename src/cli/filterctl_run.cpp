// filterctl: check, show, export and apply configurations without a screen, for service engineers
// who script their work. An adapter over the placement session, as the windows are.

#include "cli/filterctl.h"

#include "core/access/access_import.h"
#include "core/db/cursor.h"
#include "core/db/schema.h"
#include "core/exchange/package.h"
#include "core/exchange/workbook.h"
#include "core/history/history.h"
#include "core/inspect/installation_check.h"
#include "core/inspect/light_path.h"
#include "core/inspect/package_apply.h"
#include "core/inspect/placement_export.h"
#include "core/inspect/snapshot.h"
#include "core/session/placement_session.h"
#include "core/settings/tool.h"
#include "plot/light_path_plot.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>
#include <thread>

namespace filterctl {

namespace {

struct Command {
    const char* name;
    const char* synopsis;
    const char* description;
    QStringList options; // besides --db and --help
};

const std::vector<Command>& commands() {
    static const std::vector<Command> list{
        {"check",
         "check [--json] [FILE ...]",
         "Names what would stop or mislead the program, one finding a line; exit 1 on a problem. With "
         "files,\n"
         "one line (with --json one object) for each, and the worst status of them.",
         {QStringLiteral("json")}},
        {"show",
         "show [--format text|json|csv] [ID Available ...]",
         "The installation: its identity and each installed wheel's rows by \"Position\", one line a "
         "position\n"
         "(text), or the canonical snapshot (json), or the placement as CSV.",
         {QStringLiteral("format")}},
        {"diff",
         "diff [--json] A B",
         "What differs between two installations or snapshots (database files or JSON from 'show --format\n"
         "json'): positions by wheel and \"Position\", catalogue rows, favourites. Exit 0 when equal, 1 when "
         "they\n"
         "differ.",
         {QStringLiteral("json")}},
        {"export",
         "export --format mm|csv|json|package|ome [-o FILE] [--device ID=NAME ...] [--replace TEXT]",
         "The placement in a form other tools read (json: the canonical snapshot); package needs -o "
         "FILE.xlsx.",
         {QStringLiteral("format"), QStringLiteral("o"), QStringLiteral("device"),
          QStringLiteral("replace")}},
        {"apply",
         "apply [--dry-run [--save-plan FILE]] [--no-history] [--package SHEET] [--wheel ID ...] WORKBOOK\n"
         "       apply --plan FILE [--no-history]",
         "Stores a package of a configuration workbook as the configurations window does; --dry-run shows\n"
         "what would change and writes nothing (--save-plan keeps that plan for review); --plan writes "
         "exactly\n"
         "a saved plan, and refuses, naming the rows, if any of them changed since.",
         {QStringLiteral("dry-run"), QStringLiteral("package"), QStringLiteral("wheel"),
          QStringLiteral("no-history"), QStringLiteral("save-plan"), QStringLiteral("plan")}},
        {"plot",
         "plot [--wheel ID ...] -o FILE.svg|FILE.png",
         "Draws the pass bands of the installed wheels' filters, lane by lane, without a display.",
         {QStringLiteral("wheel"), QStringLiteral("o")}},
        {"history",
         "history [--json] [--since DATE] [--wheel ID]",
         "The record of every write to the installation, newest first: when, who, which program, what.",
         {QStringLiteral("json"), QStringLiteral("since"), QStringLiteral("wheel")}},
        {"undo",
         "undo [--dry-run] [--force] [--no-history] N",
         "Puts back what record N of the history changed; refuses where a later change touched the same "
         "rows,\n"
         "unless --force. The undo is a record of its own.",
         {QStringLiteral("dry-run"), QStringLiteral("force"), QStringLiteral("no-history")}},
        {"import-mdb",
         "import-mdb FILE.mdb|FILE.accdb [NEW.sqlite]",
         "Converts an Access installation into a new SQLite file (by default beside it, never over an\n"
         "existing one): every table, rows in stored order, each table's rows counted; then checks it as\n"
         "'check' does. The Access file is only read. Exit 1 when the result has a problem.",
         {}},
    };
    return list;
}

const Command* findCommand(const QString& name) {
    for (const Command& command : commands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

// The wheels named, or all of them when none is.
std::vector<ExportedWheel> onlyWheels(std::vector<ExportedWheel> wheels, const QStringList& ids) {
    if (!ids.isEmpty())
        wheels.erase(std::remove_if(wheels.begin(), wheels.end(),
                                    [&](const ExportedWheel& w) { return !ids.contains(w.availableId); }),
                     wheels.end());
    return wheels;
}

const char* const ExitStatusHelp =
    "Exit status: 0 done (check: nothing found), 1 check found a problem, apply or undo was "
    "refused,\n2 wrong usage or a file that cannot be used, 3 the database is in use "
    "by another program,\n4 apply --dry-run: apply would be refused, the database is read-only.\n";

class Run {
public:
    Run(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}
    int main(const QStringList& arguments);

private:
    // Every error is one line, whatever line breaks the windows' form of a message has.
    int fail(int status, const QString& line) {
        m_out.flush();
        m_err << "filterctl: " << QString(line).replace(QLatin1Char('\n'), QLatin1Char(' ')) << Qt::endl;
        return status;
    }
    int failOn(const DbError& error) {
        return fail(error.code == dberr::Locked ? Locked : Usage, error.description);
    }
    QString helpText(const Command* command) const;
    bool checkOptions(const Command& command, int* status);
    // The file named by --db, or the configured one.
    bool databasePath(QString* path, int* status);
    // Starts the file as the service start-up does, reading only.
    bool startSession(PlacementSession* session, PlacementSession::LoadReport* report, int* status,
                      const QString& file = QString());
    // An installation's snapshot: a database loaded as the service start-up does, or a JSON snapshot.
    bool snapshotOf(const QString& file, Snapshot* snapshot, int* status);
    bool requireLoaded(const PlacementSession::LoadReport& report, int* status);
    bool checkWheelIds(const Installation& installation, const QStringList& ids, const QString& what,
                       int* status);
    // The configured (or named) installation started and loaded, with every wheel `ids` names
    // installed (`what` says where the names came from).
    bool startLoaded(PlacementSession* session, const QStringList& ids, const QString& what, int* status);

    int check(const QStringList& files);
    // One installation's findings; with `summary`, counted into it (and into `json`) instead of printed.
    int checkOne(const QString& file, QJsonArray* json, QString* summary);
    int diff(const QString& a, const QString& b);
    int show(const QStringList& ids);
    int exportPlacement();
    int apply(const QString& workbookPath);
    int applyPlan(PlacementSession& session, const PackageApplyPlan& plan, bool dryRun);
    int applySavedPlan(const QString& file);
    int showHistory();
    int plotLightPath();
    int undo(const QString& number);
    int importMdb(const QStringList& files);

    QTextStream& m_out;
    QTextStream& m_err;
    QCommandLineParser m_parser;
};

QString Run::helpText(const Command* command) const {
    QString text;
    if (command) {
        text = QStringLiteral("Usage: filterctl [--db FILE] %1\n\n%2\n")
                   .arg(command->synopsis, command->description);
    } else {
        text = QStringLiteral(
            "Usage: filterctl [--db FILE] COMMAND ...\n\nFilter Control's service command line. "
            "Commands (each has its own --help):\n");
        for (const Command& each : commands())
            text += QStringLiteral("  %1\n").arg(each.synopsis);
    }
    text += QStringLiteral("\nOptions:\n  --db FILE     the database (default: the configured one)\n");
    for (const QCommandLineOption& option :
         {QCommandLineOption(QStringLiteral("json"), QStringLiteral("check, diff, history: as JSON.")),
          QCommandLineOption(QStringLiteral("format"),
                             QStringLiteral("show: text, json or csv; export: mm, csv, json or package.")),
          QCommandLineOption(QStringLiteral("o"),
                             QStringLiteral("export: the file to write (default: standard output).")),
          QCommandLineOption(QStringLiteral("device"),
                             QStringLiteral("export mm: name an installed wheel's device.")),
          QCommandLineOption(QStringLiteral("dry-run"),
                             QStringLiteral("apply, undo: show what would change, write nothing.")),
          QCommandLineOption(QStringLiteral("package"),
                             QStringLiteral("apply: the package (sheet) to apply.")),
          QCommandLineOption(
              QStringLiteral("wheel"),
              QStringLiteral("apply: only this wheel of the package; history: the records that "
                             "changed it.")),
          QCommandLineOption(QStringLiteral("since"),
                             QStringLiteral("history: the records from this date (2026-12-06) or time on.")),
          QCommandLineOption(QStringLiteral("force"), QStringLiteral("undo: also over a later change.")),
          QCommandLineOption(
              QStringLiteral("save-plan"),
              QStringLiteral("apply --dry-run: keep the plan (every row, with what it holds) in FILE.")),
          QCommandLineOption(
              QStringLiteral("plan"),
              QStringLiteral("apply: write exactly the saved plan in FILE, if its rows are unchanged.")),
          QCommandLineOption(
              QStringLiteral("replace"),
              QStringLiteral("export mm: put TEXT in place of each comma or line break of a name.")),
          QCommandLineOption(QStringLiteral("no-history"),
                             QStringLiteral("apply, undo: write even when the history of changes cannot be "
                                            "written."))}) {
        const QString name = option.names().first();
        if (command && !command->options.contains(name))
            continue;
        const QString flag = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        text += QStringLiteral("  %1  %2\n").arg(flag.leftJustified(12), option.description());
    }
    return text + QStringLiteral("  --help        this text\n\n") + QString::fromLatin1(ExitStatusHelp);
}

bool Run::checkOptions(const Command& command, int* status) {
    for (const QString& name : m_parser.optionNames()) {
        if (name == QLatin1String("db") || name == QLatin1String("help") || command.options.contains(name))
            continue;
        *status = fail(Usage, QStringLiteral("%1%2 is not an option of %3; see filterctl %3 --help")
                                  .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name,
                                       QString::fromLatin1(command.name)));
        return false;
    }
    return true;
}

bool Run::databasePath(QString* path, int* status) {
    if (m_parser.isSet(QStringLiteral("db"))) {
        // An empty name is a script's unset variable, never "the configured database".
        *path = m_parser.value(QStringLiteral("db"));
        if (path->isEmpty()) {
            *status = fail(Usage, QStringLiteral("--db needs a file name"));
            return false;
        }
        return true;
    }
    *path = tool::ReadMachineString(tool::DatabaseKey, tool::DatabaseValue);
    if (path->isEmpty()) {
        *status = fail(Usage,
                       QStringLiteral("no database path is configured (the value \"%1\" under \"%2\" in %3); "
                                      "name one with --db")
                           .arg(tool::DatabaseValue, tool::DatabaseKey, tool::HiveFile(tool::Hive::Machine)));
        return false;
    }
    return true;
}

bool Run::startSession(PlacementSession* session, PlacementSession::LoadReport* report, int* status,
                       const QString& file) {
    QString path = file;
    if (path.isEmpty() && !databasePath(&path, status))
        return false;
    session->setWriteFavourites(false); // reading never writes
    *report = session->start(path, Database::Access::ReadOnly);
    if (!session->database().isOpen()) {
        *status = failOn(report->error);
        return false;
    }
    return true;
}

bool Run::requireLoaded(const PlacementSession::LoadReport& report, int* status) {
    if (report.error.isError()) {
        *status = failOn(report.error);
        return false;
    }
    if (!report.versionAccepted) {
        *status = fail(Found, startup::versionMessage(report.version));
        return false;
    }
    if (report.result->outcome != LoadResult::Outcome::Complete) {
        const QString why = report.result->outcome == LoadResult::Outcome::Fatal
                                ? report.result->message
                                : report.result->error.description;
        *status = fail(Found,
                       QStringLiteral("the installation does not load: %1 (run 'filterctl check')").arg(why));
        return false;
    }
    return true;
}

bool Run::startLoaded(PlacementSession* session, const QStringList& ids, const QString& what, int* status) {
    PlacementSession::LoadReport report;
    return startSession(session, &report, status) && requireLoaded(report, status) &&
           checkWheelIds(session->installation(), ids, what, status);
}

bool Run::checkWheelIds(const Installation& installation, const QStringList& ids, const QString& what,
                        int* status) {
    QSet<QString> installed;
    for (const Installation::Wheel& wheel : installation.installedWheels())
        installed.insert(wheel.availableId);
    for (const QString& id : ids)
        if (!installed.contains(id)) {
            *status = fail(Usage, QStringLiteral("%1: the installation has no wheel '%2'").arg(what, id));
            return false;
        }
    return true;
}

int Run::check(const QStringList& files) {
    if (files.isEmpty())
        return checkOne(QString(), nullptr, nullptr);
    // Many installations: a line (or an object) each, and the worst status.
    const bool json = m_parser.isSet(QStringLiteral("json"));
    int worst = Done;
    QJsonArray objects;
    for (const QString& file : files) {
        QString summary;
        worst = std::max(worst, checkOne(file, &objects, &summary));
        if (!json)
            m_out << QDir::toNativeSeparators(file) << ": " << summary << '\n';
    }
    if (json)
        m_out << QJsonDocument(objects).toJson();
    return worst;
}

int Run::checkOne(const QString& file, QJsonArray* json, QString* summary) {
    PlacementSession session(startup::Variant::Service);
    PlacementSession::LoadReport report;
    int status = Done;
    // With many files, a file that cannot be read is its line, not the end of the run.
    QString failure;
    QTextStream failureText(&failure);
    Run quiet(m_out, failureText);
    Run& runner = summary ? quiet : *this;
    const bool started = runner.startSession(&session, &report, &status, file);
    if (!started || report.error.code == dberr::Locked) {
        if (started)
            status = runner.failOn(report.error);
        const QString why = failure.trimmed().remove(QStringLiteral("filterctl: "));
        if (summary)
            *summary = why;
        if (json)
            json->append(QJsonObject{{QStringLiteral("database"), QDir::toNativeSeparators(file)},
                                     {QStringLiteral("error"), why}});
        return status;
    }
    const std::vector<Finding> findings = checkInstallation(session, report);
    const int problems =
        int(std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.problem; }));
    const int notes = int(findings.size()) - problems;
    QJsonArray list;
    for (const Finding& f : findings)
        list.append(QJsonObject{{QStringLiteral("problem"), f.problem},
                                {QStringLiteral("table"), f.table},
                                {QStringLiteral("where"), f.where},
                                {QStringLiteral("text"), f.text}});
    const QString name = summary ? QDir::toNativeSeparators(file) : session.database().fileName();
    const QJsonObject object{{QStringLiteral("database"), name}, {QStringLiteral("findings"), list}};
    if (summary) {
        *summary = findings.empty() ? QStringLiteral("no findings")
                                    : QStringLiteral("%1 problem%2, %3 note%4")
                                          .arg(problems)
                                          .arg(problems == 1 ? "" : "s")
                                          .arg(notes)
                                          .arg(notes == 1 ? "" : "s");
        json->append(object);
    } else if (m_parser.isSet(QStringLiteral("json"))) {
        m_out << QJsonDocument(object).toJson();
    } else {
        for (const Finding& f : findings)
            m_out << findingLine(f) << '\n';
        if (findings.empty())
            m_out << "no findings in " << name << '\n';
    }
    return problems ? Found : Done;
}

bool Run::snapshotOf(const QString& file, Snapshot* snapshot, int* status) {
    QFile text(file);
    if (text.open(QIODevice::ReadOnly) && text.peek(64).trimmed().startsWith('{')) {
        QString error;
        if (!parseSnapshotJson(text.readAll(), snapshot, &error)) {
            *status = fail(Usage, QStringLiteral("'%1' cannot be read as a snapshot: %2")
                                      .arg(QDir::toNativeSeparators(file), error));
            return false;
        }
        return true;
    }
    PlacementSession session(startup::Variant::Service);
    PlacementSession::LoadReport report;
    DbError error;
    if (!startSession(&session, &report, status, file) || !requireLoaded(report, status))
        return false;
    if (!readSnapshot(session, snapshot, &error)) {
        *status = failOn(error);
        return false;
    }
    return true;
}

int Run::diff(const QString& a, const QString& b) {
    // The two installations are read at once, each on its own connection in its own thread.
    struct Side {
        Snapshot snapshot;
        int status = Done;
        QString errors;
    } sides[2];
    const auto read = [](const QString& file, Side* side) {
        QString ignored;
        QTextStream out(&ignored);
        QTextStream errors(&side->errors);
        Run(out, errors).snapshotOf(file, &side->snapshot, &side->status);
    };
    std::thread second(read, b, &sides[1]);
    read(a, &sides[0]);
    second.join();
    for (const Side& side : sides)
        if (side.status != Done) {
            m_err << side.errors;
            return side.status;
        }
    const Snapshot& first = sides[0].snapshot;
    const std::vector<Difference> differences = diffSnapshots(first, sides[1].snapshot);
    if (m_parser.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const Difference& difference : differences)
            list.append(
                QJsonObject{{QStringLiteral("where"), difference.where},
                            {QStringLiteral("a"), difference.a ? QJsonValue(*difference.a) : QJsonValue()},
                            {QStringLiteral("b"), difference.b ? QJsonValue(*difference.b) : QJsonValue()}});
        m_out << QJsonDocument(list).toJson();
    } else {
        for (const Difference& difference : differences)
            m_out << difference.text() << '\n';
    }
    return differences.empty() ? Done : Found;
}

int Run::show(const QStringList& ids) {
    const QString format = m_parser.isSet(QStringLiteral("format")) ? m_parser.value(QStringLiteral("format"))
                                                                    : QStringLiteral("text");
    if (!QStringList{QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("csv")}.contains(format))
        return fail(Usage, QStringLiteral("show --format takes text, json or csv, not '%1'").arg(format));
    PlacementSession session(startup::Variant::Service);
    int status = Done;
    if (!startLoaded(&session, ids, QStringLiteral("show"), &status))
        return status;
    if (format == QLatin1String("csv")) {
        m_out << placementCsv(onlyWheels(exportedWheels(session.database(), session.installation()), ids));
        return Done;
    }
    Snapshot snapshot;
    DbError error;
    if (!readSnapshot(session, &snapshot, &error))
        return failOn(error);
    if (!ids.isEmpty())
        snapshot.wheels.erase(std::remove_if(snapshot.wheels.begin(), snapshot.wheels.end(),
                                             [&](const Snapshot::Wheel& w) { return !ids.contains(w.id); }),
                              snapshot.wheels.end());
    m_out << (format == QLatin1String("json") ? QString::fromUtf8(snapshotJson(snapshot))
                                              : snapshotText(snapshot));
    return Done;
}

namespace {
// The stand as the installation names it, for the exports that describe the microscope.
QString snapshotStand(PlacementSession& session) {
    auto system = session.database().openFirstRow(schema::table::AvailableSystems);
    return system ? system->text(schema::field::IdStand) : QString();
}
} // namespace

int Run::exportPlacement() {
    const QString format = m_parser.value(QStringLiteral("format"));
    const QString file = m_parser.value(QStringLiteral("o"));
    if (!QStringList{QStringLiteral("mm"), QStringLiteral("csv"), QStringLiteral("json"),
                     QStringLiteral("package"), QStringLiteral("ome")}
             .contains(format))
        return fail(
            Usage,
            format.isEmpty()
                ? QStringLiteral("export needs --format mm, csv, json, package or ome")
                : QStringLiteral("unknown export format '%1' (mm, csv, json, package or ome)").arg(format));
    const QString replacement = m_parser.value(QStringLiteral("replace"));
    if (m_parser.isSet(QStringLiteral("replace")) &&
        (format != QLatin1String("mm") || replacement.isEmpty() || !microManagerName(replacement, QString())))
        return fail(Usage,
                    QStringLiteral("--replace takes a text without commas or line breaks, with --format mm"));
    if (format == QLatin1String("package") && file.isEmpty())
        return fail(Usage, QStringLiteral("export --format package needs -o FILE.xlsx"));
    QHash<QString, QString> devices;
    for (const QString& rename : m_parser.values(QStringLiteral("device"))) {
        const int equals = rename.indexOf(QLatin1Char('='));
        if (equals <= 0 || equals == rename.size() - 1)
            return fail(Usage, QStringLiteral("--device takes ID=NAME, not '%1'").arg(rename));
        if (!microManagerName(rename.mid(equals + 1), replacement))
            return fail(Usage,
                        QStringLiteral("--device: Micro-Manager takes no comma or line break in a device "
                                       "name, as in '%1'")
                            .arg(rename.mid(equals + 1)));
        devices.insert(rename.left(equals), rename.mid(equals + 1));
    }
    PlacementSession session(startup::Variant::Service);
    int status = Done;
    if (!startLoaded(&session, devices.keys(), QStringLiteral("--device"), &status))
        return status;
    const std::vector<ExportedWheel> wheels = exportedWheels(session.database(), session.installation());
    if (format == QLatin1String("mm") || format == QLatin1String("package"))
        for (const QString& row : rowsWithoutNumber(wheels))
            m_err << "filterctl: not exported, its \"Position\" is no position 1 to 8 of its own: " << row
                  << Qt::endl;
    if (format == QLatin1String("package")) {
        QStringList leftOut;
        QString error;
        if (!writePackageWorkbook(file, QStringLiteral("Package"), wheels, &leftOut, &error))
            return fail(Usage, error);
        if (!leftOut.isEmpty())
            m_err << "filterctl: not in the package layout: " << leftOut.join(QStringLiteral(", "))
                  << Qt::endl;
        return Done;
    }
    QByteArray text;
    if (format == QLatin1String("json")) {
        Snapshot snapshot;
        DbError error;
        if (!readSnapshot(session, &snapshot, &error))
            return failOn(error);
        text = snapshotJson(snapshot);
    } else {
        QStringList refused;
        if (format == QLatin1String("ome"))
            text = omeInstrument(session.database(), snapshotStand(session), wheels);
        else if (format == QLatin1String("mm"))
            text = microManagerLabels(wheels, devices, replacement, &refused).toUtf8();
        else
            text = placementCsv(wheels).toUtf8();
        if (!refused.isEmpty()) {
            for (const QString& name : refused)
                m_err << "filterctl: Micro-Manager takes no comma or line break in a label: " << name
                      << Qt::endl;
            return fail(Found,
                        QStringLiteral("nothing was written; --replace TEXT puts TEXT in their place"));
        }
    }
    if (file.isEmpty()) {
        m_out << QString::fromUtf8(text);
        return Done;
    }
    QFile target(file);
    if (!target.open(QIODevice::WriteOnly) || target.write(text) != text.size())
        return fail(Usage, QStringLiteral("'%1' cannot be written: %2")
                               .arg(QDir::toNativeSeparators(file), target.errorString()));
    return Done;
}

int Run::apply(const QString& workbookPath) {
    const bool dryRun = m_parser.isSet(QStringLiteral("dry-run"));
    QString path;
    int status = Done;
    if (!databasePath(&path, &status))
        return status;
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false); // only the package's rows are written
    const PlacementSession::LoadReport report =
        session.load(path, PlacementSession::Loader::AllWheels,
                     dryRun ? Database::Access::ReadOnly : Database::Access::ReadWrite);
    if (!requireLoaded(report, &status))
        return status;
    if (!session.recoveryNote().isEmpty())
        m_err << "filterctl: note: " << session.recoveryNote() << Qt::endl;
    QString error;
    auto workbook = openWorkbook(workbookPath, &error);
    if (!workbook)
        return fail(Usage, error);
    int sheet = 1;
    const QString name = m_parser.value(QStringLiteral("package"));
    if (!name.isEmpty()) {
        for (sheet = 1; sheet <= workbook->sheetCount() && workbook->sheetName(sheet) != name; ++sheet) {
        }
        if (sheet > workbook->sheetCount())
            return fail(Usage, QStringLiteral("the workbook '%1' has no package '%2'")
                                   .arg(QDir::toNativeSeparators(workbookPath), name));
    } else if (workbook->sheetCount() != 1) {
        return fail(Usage, QStringLiteral("the workbook '%1' holds %2 packages: name one with --package")
                               .arg(QDir::toNativeSeparators(workbookPath))
                               .arg(workbook->sheetCount()));
    }
    const QStringList wanted = m_parser.values(QStringLiteral("wheel"));
    const Package package = readPackage(*workbook, sheet);
    for (const QString& id : wanted)
        if (!package.wheelIds.contains(id))
            return fail(Usage, QStringLiteral("--wheel: the package has no wheel '%1'").arg(id));
    PackageApplyPlan plan;
    DbError dbError;
    if (!planPackageApply(session.database(), *workbook, sheet, wanted, &plan, &dbError))
        return failOn(dbError);
    return applyPlan(session, plan, dryRun);
}

int Run::applyPlan(PlacementSession& session, const PackageApplyPlan& plan, bool dryRun) {
    if (!plan.refusals.isEmpty()) {
        for (const QString& refusal : plan.refusals)
            m_err << "filterctl: " << refusal << Qt::endl;
        return fail(Found, QStringLiteral("nothing was written"));
    }
    const QString saveAs = m_parser.value(QStringLiteral("save-plan"));
    if (dryRun && !saveAs.isEmpty()) {
        QFile saved(saveAs);
        const QByteArray json = planJson(plan.wheels);
        if (!saved.open(QIODevice::WriteOnly) || saved.write(json) != json.size())
            return fail(Usage, QStringLiteral("'%1' cannot be written: %2")
                                   .arg(QDir::toNativeSeparators(saveAs), saved.errorString()));
    }
    if (!dryRun && !plan.changes.empty()) {
        const StoreResult result = session.storePlans(plan.wheels);
        if (result.outcome == StoreResult::Outcome::Changed)
            return fail(Found,
                        QStringLiteral("another program changed the wheels meanwhile: nothing was written"));
        if (result.outcome != StoreResult::Outcome::Stored)
            return failOn(result.error);
    }
    // Changes are announced once they are made, or as what would be made.
    m_out << "database: " << QDir::toNativeSeparators(session.database().path()) << '\n';
    for (const PackageChange& change : plan.changes)
        m_out << change.availableId << ' ' << change.position << ": " << change.from << " -> " << change.to
              << '\n';
    for (const WheelStorePlan& wheel : plan.wheels)
        for (const auto& [position, why] : wheel.notWritten)
            m_out << "not written: " << wheel.availableId << ' ' << position << " (" << why << ")\n";
    const int count = int(plan.changes.size());
    m_out << count << (count == 1 ? " position " : " positions ") << (dryRun ? "would change" : "changed")
          << '\n';
    // A dry run says whether apply could write at all (it read without asking).
    DbError writable;
    Database probe;
    if (dryRun && count > 0 && probe.open(session.database().path(), &writable) &&
        !probe.checkWritable(schema::table::FilterPlacement, &writable) && writable.code == dberr::ReadOnly)
        return fail(ReadOnly, QStringLiteral("apply will be refused: ") + writable.description);
    return Done;
}

int Run::applySavedPlan(const QString& file) {
    QFile saved(file);
    if (!saved.open(QIODevice::ReadOnly))
        return fail(Usage, QStringLiteral("'%1' cannot be read: %2")
                               .arg(QDir::toNativeSeparators(file), saved.errorString()));
    PackageApplyPlan plan;
    QString error;
    if (!parsePlanJson(saved.readAll(), &plan.wheels, &error))
        return fail(
            Usage, QStringLiteral("'%1' is not a saved plan: %2").arg(QDir::toNativeSeparators(file), error));
    QString path;
    int status = Done;
    if (!databasePath(&path, &status))
        return status;
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false);
    if (!requireLoaded(session.load(path, PlacementSession::Loader::AllWheels), &status))
        return status;
    // What was reviewed is what is written: a row changed since is named, and nothing is written.
    QStringList changed;
    DbError dbError;
    if (!changedSincePlanned(session.database(), plan.wheels, &changed, &dbError))
        return failOn(dbError);
    if (!changed.isEmpty()) {
        for (const QString& row : changed)
            m_err << "filterctl: changed since the plan: " << row << Qt::endl;
        return fail(Found, QStringLiteral("nothing was written; make and review a new plan"));
    }
    for (const WheelStorePlan& wheel : plan.wheels) {
        if (!wheel.hasRows)
            plan.refusals << noRowsMessage(wheel.availableId);
        for (const WheelStorePlan::Write& write : wheel.changes())
            plan.changes.push_back({wheel.availableId, write.position, write.now, write.chosen});
    }
    return applyPlan(session, plan, false);
}

int Run::plotLightPath() {
    const QString file = m_parser.value(QStringLiteral("o"));
    if (file.isEmpty())
        return fail(Usage, QStringLiteral("plot needs -o FILE.svg or FILE.png"));
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return fail(Usage, QStringLiteral("plot draws only where filterctl runs as its own program"));
    const QStringList ids = m_parser.values(QStringLiteral("wheel"));
    PlacementSession session(startup::Variant::Service);
    int status = Done;
    if (!startLoaded(&session, ids, QStringLiteral("--wheel"), &status))
        return status;
    const std::vector<ExportedWheel> wheels =
        onlyWheels(exportedWheels(session.database(), session.installation(), false), ids);
    const LightPath path = buildLightPath(session.database(), wheels);
    QString error;
    if (!plot::LightPathPlot(path, QGuiApplication::palette()).write(file, &error))
        return fail(Usage, error);
    return Done;
}

int Run::showHistory() {
    history::Filter filter;
    const QString since = m_parser.value(QStringLiteral("since"));
    if (!since.isEmpty()) {
        filter.since = QDateTime::fromString(since, Qt::ISODate);
        if (!filter.since.isValid())
            filter.since = QDate::fromString(since, Qt::ISODate).startOfDay();
        if (!filter.since.isValid())
            return fail(
                Usage,
                QStringLiteral("--since takes a date or time such as 2026-12-06, not '%1'").arg(since));
    }
    const QStringList wheels = m_parser.values(QStringLiteral("wheel"));
    if (wheels.size() > 1)
        return fail(Usage, QStringLiteral("history takes one --wheel"));
    filter.wheel = wheels.value(0);
    QString path;
    int status = Done;
    if (!databasePath(&path, &status))
        return status;
    std::vector<history::Record> records;
    DbError error;
    if (!history::readRecords(history::pathFor(path), filter, &records, &error))
        return failOn(error);
    if (m_parser.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const history::Record& record : records)
            list.append(QJsonObject{
                {QStringLiteral("id"), record.id},
                {QStringLiteral("at"), record.at},
                {QStringLiteral("user"), record.user},
                {QStringLiteral("host"), record.host},
                {QStringLiteral("program"), record.program},
                {QStringLiteral("configuration"), record.configuration},
                {QStringLiteral("stand"), record.stand},
                {QStringLiteral("scanUnit"), record.scanUnit},
                {QStringLiteral("summary"), record.summary},
                {QStringLiteral("undoes"), record.undoes ? QJsonValue(record.undoes) : QJsonValue()}});
        m_out << QJsonDocument(list).toJson();
        return Done;
    }
    for (const history::Record& record : records)
        m_out << record.id << "  "
              << record.when().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "  "
              << record.user << '@' << record.host << "  " << record.program << "  " << record.summary
              << (record.undoes ? QStringLiteral(" (undoes %1)").arg(record.undoes) : QString()) << '\n';
    return Done;
}

int Run::undo(const QString& number) {
    bool ok = false;
    const qint64 id = number.toLongLong(&ok);
    if (!ok || id <= 0)
        return fail(
            Usage,
            QStringLiteral("undo takes a record number from 'filterctl history', not '%1'").arg(number));
    const bool dryRun = m_parser.isSet(QStringLiteral("dry-run"));
    QString path;
    int status = Done;
    if (!databasePath(&path, &status))
        return status;
    Database db;
    DbError error;
    if (!db.open(path, &error, dryRun ? Database::Access::ReadOnly : Database::Access::ReadWrite))
        return failOn(error);
    history::UndoPlan plan;
    if (!history::planUndo(db, id, &plan, &error))
        return failOn(error);
    if (plan.hasConflicts() && !m_parser.isSet(QStringLiteral("force")))
        return fail(Found, plan.conflictText() +
                               QStringLiteral(" Nothing was undone (--force undoes it all the same)."));
    if (!dryRun && !history::executeUndo(db, plan, true, &error))
        return failOn(error);
    m_out << "database: " << QDir::toNativeSeparators(db.path()) << '\n';
    m_out << "undo of record " << id << ": " << plan.record.summary << '\n';
    for (const history::UndoPlan::Step& step : plan.steps)
        m_out << step.text << (step.conflict ? QStringLiteral(" (over a later change)") : QString()) << '\n';
    const int count = int(plan.steps.size());
    m_out << count << (count == 1 ? " row " : " rows ") << (dryRun ? "would change" : "changed") << '\n';
    return Done;
}

int Run::main(const QStringList& arguments) {
    m_parser.addOptions({
        {QStringLiteral("db"), QString(), QStringLiteral("FILE")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QString()},
        {QStringLiteral("version"), QString()},
        {QStringLiteral("json"), QString()},
        {QStringLiteral("format"), QString(), QStringLiteral("FORMAT")},
        {QStringLiteral("o"), QString(), QStringLiteral("FILE")},
        {QStringLiteral("device"), QString(), QStringLiteral("ID=NAME")},
        {QStringLiteral("dry-run"), QString()},
        {QStringLiteral("package"), QString(), QStringLiteral("SHEET")},
        {QStringLiteral("wheel"), QString(), QStringLiteral("ID")},
        {QStringLiteral("since"), QString(), QStringLiteral("DATE")},
        {QStringLiteral("force"), QString()},
        {QStringLiteral("no-history"), QString()},
        {QStringLiteral("replace"), QString(), QStringLiteral("TEXT")},
        {QStringLiteral("save-plan"), QString(), QStringLiteral("FILE")},
        {QStringLiteral("plan"), QString(), QStringLiteral("FILE")},
    });
    if (!m_parser.parse(arguments))
        return fail(Usage, m_parser.errorText());
    const QString name = m_parser.positionalArguments().value(0);
    const Command* command = findCommand(name);
    if (m_parser.isSet(QStringLiteral("help")) && (command || name.isEmpty())) {
        m_out << helpText(command);
        return Done;
    }
    if (m_parser.isSet(QStringLiteral("version")) && name.isEmpty()) {
        m_out << "filterctl " << FC_VERSION << '\n';
        return Done;
    }
    if (!command)
        return fail(Usage, name.isEmpty() ? QStringLiteral("no command; see --help for the commands")
                                          : QStringLiteral("unknown command '%1'; see --help").arg(name));
    int status = Done;
    if (!checkOptions(*command, &status))
        return status;
    const QStringList args = m_parser.positionalArguments().mid(1);
    // Every write is recorded; --no-history goes on without when the record cannot be written.
    const bool noHistory = m_parser.isSet(QStringLiteral("no-history"));
    history::recordEveryWrite(QStringLiteral("filterctl"));
    history::setUnavailableQuestion([noHistory](const QString&) { return noHistory; });
    if (name == QLatin1String("undo")) {
        if (args.size() != 1)
            return fail(Usage, QStringLiteral("undo takes one record number"));
        return undo(args.first());
    }
    if (name == QLatin1String("apply")) {
        if (m_parser.isSet(QStringLiteral("plan")))
            return args.isEmpty() && !m_parser.isSet(QStringLiteral("dry-run"))
                       ? applySavedPlan(m_parser.value(QStringLiteral("plan")))
                       : fail(Usage, QStringLiteral("apply --plan takes no workbook and no --dry-run"));
        if (m_parser.isSet(QStringLiteral("save-plan")) && !m_parser.isSet(QStringLiteral("dry-run")))
            return fail(Usage, QStringLiteral("--save-plan goes with --dry-run"));
        if (args.size() != 1)
            return fail(Usage, QStringLiteral("apply takes one WORKBOOK"));
        return apply(args.first());
    }
    if (name == QLatin1String("show"))
        return show(args);
    if (name == QLatin1String("import-mdb"))
        return importMdb(args);
    if (!args.isEmpty() && name != QLatin1String("check") && name != QLatin1String("diff"))
        return fail(Usage, QStringLiteral("%1 takes no argument '%2'").arg(name, args.first()));
    if (name == QLatin1String("history"))
        return showHistory();
    if (name == QLatin1String("plot"))
        return plotLightPath();
    if (name == QLatin1String("check"))
        return check(args);
    if (name == QLatin1String("diff")) {
        if (args.size() != 2)
            return fail(Usage, QStringLiteral("diff takes two installations or snapshots, A and B"));
        return diff(args[0], args[1]);
    }
    return exportPlacement();
}

int Run::importMdb(const QStringList& files) {
    if (files.isEmpty() || files.size() > 2)
        return fail(Usage,
                    QStringLiteral("import-mdb takes an Access file and, optionally, the new file's name"));
    const QString target = files.size() == 2 ? files[1] : accessdb::convertedName(files[0]);
    const accessdb::ImportReport report = accessdb::importAccessFile(files[0], target);
    if (!report.ok())
        return fail(Usage, report.error);
    for (const QString& line : accessdb::reportLines(report))
        m_out << line << '\n';
    if (!report.holdsInstallation()) {
        m_out << "not checked: it holds no installation\n";
        return Found;
    }
    return checkOne(target, nullptr, nullptr);
}

} // namespace

int run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    Run run(out, err);
    const int status = run.main(arguments);
    out.flush();
    err.flush();
    return status;
}

} // namespace filterctl
