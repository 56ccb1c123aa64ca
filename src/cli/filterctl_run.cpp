// filterctl: check, show, export and apply configurations without a screen, for service engineers
// who script their work. An adapter over the placement session, as the windows are.

#include "cli/filterctl.h"

#include "core/exchange/package.h"
#include "core/exchange/workbook.h"
#include "core/history/history.h"
#include "core/inspect/installation_check.h"
#include "core/inspect/package_apply.h"
#include "core/inspect/placement_export.h"
#include "core/session/placement_session.h"
#include "core/settings/tool.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>

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
         "check [--json]",
         "Names what would stop or mislead the program, one finding a line; exit 1 on a problem.",
         {QStringLiteral("json")}},
        {"show",
         "show [ID Available ...]",
         "The installed wheels, or the named ones, each row with its \"Position\", filter and code number.",
         {}},
        {"export",
         "export --format mm|csv|json|package [-o FILE] [--device ID=NAME ...]",
         "The placement in a form other tools read; package needs -o FILE.xlsx.",
         {QStringLiteral("format"), QStringLiteral("o"), QStringLiteral("device")}},
        {"apply",
         "apply [--dry-run] [--no-history] [--package SHEET] [--wheel ID ...] WORKBOOK",
         "Stores a package of a configuration workbook as the configurations window does; --dry-run shows\n"
         "what would change and writes nothing.",
         {QStringLiteral("dry-run"), QStringLiteral("package"), QStringLiteral("wheel"),
          QStringLiteral("no-history")}},
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
    };
    return list;
}

const Command* findCommand(const QString& name) {
    for (const Command& command : commands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

const char* const ExitStatusHelp =
    "Exit status: 0 done (check: nothing found), 1 check found a problem, apply or undo was "
    "refused,\n2 wrong usage or a file that cannot be used, 3 the database is in use "
    "by another program.\n";

class Run {
public:
    Run(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}
    int main(const QStringList& arguments);

private:
    int fail(int status, const QString& line) {
        m_out.flush();
        m_err << "filterctl: " << line << Qt::endl;
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
    bool startSession(PlacementSession* session, PlacementSession::LoadReport* report, int* status);
    bool requireLoaded(const PlacementSession::LoadReport& report, int* status);
    bool checkWheelIds(const Installation& installation, const QStringList& ids, const QString& what,
                       int* status);

    int check();
    int show(const QStringList& ids);
    int exportPlacement();
    int apply(const QString& workbookPath);
    int applyPlan(PlacementSession& session, const PackageApplyPlan& plan, bool dryRun);
    int showHistory();
    int undo(const QString& number);

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
         {QCommandLineOption(QStringLiteral("json"), QStringLiteral("check: findings as JSON.")),
          QCommandLineOption(QStringLiteral("format"), QStringLiteral("export: mm, csv, json or package.")),
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

bool Run::startSession(PlacementSession* session, PlacementSession::LoadReport* report, int* status) {
    QString path;
    if (!databasePath(&path, status))
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

int Run::check() {
    PlacementSession session(startup::Variant::Service);
    PlacementSession::LoadReport report;
    int status = Done;
    if (!startSession(&session, &report, &status))
        return status;
    if (report.error.code == dberr::Locked)
        return failOn(report.error);
    const std::vector<Finding> findings = checkInstallation(session, report);
    const bool problems =
        std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.problem; });
    const QString file = session.database().fileName();
    if (m_parser.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const Finding& f : findings)
            list.append(QJsonObject{{QStringLiteral("problem"), f.problem},
                                    {QStringLiteral("table"), f.table},
                                    {QStringLiteral("where"), f.where},
                                    {QStringLiteral("text"), f.text}});
        m_out << QJsonDocument(
                     QJsonObject{{QStringLiteral("database"), file}, {QStringLiteral("findings"), list}})
                     .toJson();
        return problems ? Found : Done;
    }
    for (const Finding& f : findings) {
        QStringList place;
        if (!f.table.isEmpty())
            place << QLatin1Char('"') + f.table + QLatin1Char('"');
        if (!f.where.isEmpty())
            place << f.where;
        m_out << (f.problem ? "problem: " : "note: ") << place.join(QStringLiteral(", "))
              << (place.isEmpty() ? "" : ": ") << f.text << '\n';
    }
    if (findings.empty())
        m_out << "no findings in " << file << '\n';
    return problems ? Found : Done;
}

int Run::show(const QStringList& ids) {
    PlacementSession session(startup::Variant::Service);
    PlacementSession::LoadReport report;
    int status = Done;
    if (!startSession(&session, &report, &status) || !requireLoaded(report, &status) ||
        !checkWheelIds(session.installation(), ids, QStringLiteral("show"), &status))
        return status;
    for (const ExportedWheel& wheel : exportedWheels(session.database(), session.installation())) {
        if (!ids.isEmpty() && !ids.contains(wheel.availableId))
            continue;
        m_out << "wheel " << wheel.availableId << " (button " << wheel.button << ")\n";
        // A row is named by its "Position", as the table holds it.
        for (int r = 0; r < wheel.filters.size(); ++r) {
            const QVariant& position = wheel.positions.value(r);
            m_out << "  " << (position.isNull() ? QStringLiteral("(Null)") : position.toString()) << "  "
                  << wheel.filters[r]
                  << (wheel.codes.value(r).isEmpty() ? QString()
                                                     : QStringLiteral("  ") + wheel.codes.value(r))
                  << '\n';
        }
    }
    return Done;
}

int Run::exportPlacement() {
    const QString format = m_parser.value(QStringLiteral("format"));
    const QString file = m_parser.value(QStringLiteral("o"));
    if (!QStringList{QStringLiteral("mm"), QStringLiteral("csv"), QStringLiteral("json"),
                     QStringLiteral("package")}
             .contains(format))
        return fail(
            Usage, format.isEmpty()
                       ? QStringLiteral("export needs --format mm, csv, json or package")
                       : QStringLiteral("unknown export format '%1' (mm, csv, json or package)").arg(format));
    if (format == QLatin1String("package") && file.isEmpty())
        return fail(Usage, QStringLiteral("export --format package needs -o FILE.xlsx"));
    QHash<QString, QString> devices;
    for (const QString& rename : m_parser.values(QStringLiteral("device"))) {
        const int equals = rename.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(Usage, QStringLiteral("--device takes ID=NAME, not '%1'").arg(rename));
        devices.insert(rename.left(equals), rename.mid(equals + 1));
    }
    PlacementSession session(startup::Variant::Service);
    PlacementSession::LoadReport report;
    int status = Done;
    if (!startSession(&session, &report, &status) || !requireLoaded(report, &status) ||
        !checkWheelIds(session.installation(), devices.keys(), QStringLiteral("--device"), &status))
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
    const QByteArray text = format == QLatin1String("mm") ? microManagerLabels(wheels, devices).toUtf8()
                            : format == QLatin1String("csv")
                                ? placementCsv(wheels).toUtf8()
                                : placementJson(wheels, session.database().fileName());
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
        return fail(Usage, name.isEmpty()
                               ? QStringLiteral("no command (check, show, export or apply); see --help")
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
        if (args.size() != 1)
            return fail(Usage, QStringLiteral("apply takes one WORKBOOK"));
        return apply(args.first());
    }
    if (name == QLatin1String("show"))
        return show(args);
    if (!args.isEmpty())
        return fail(Usage, QStringLiteral("%1 takes no argument '%2'").arg(name, args.first()));
    if (name == QLatin1String("history"))
        return showHistory();
    return name == QLatin1String("check") ? check() : exportPlacement();
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
