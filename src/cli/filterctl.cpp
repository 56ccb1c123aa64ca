// filterctl: check, show, export and apply configurations without a screen, for service engineers
// who script their work. Works on the installation model of the core, as the windows do.

#include "core/db/database.h"
#include "core/exchange/workbook.h"
#include "core/inspect/installation_check.h"
#include "core/inspect/installation_read.h"
#include "core/inspect/package_apply.h"
#include "core/inspect/placement_export.h"
#include "core/settings/tool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cstdio>

namespace {

enum Status { Done = 0, Found = 1, Usage = 2 };

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

int fail(int status, const QString& line) {
    out().flush();
    QTextStream(stderr) << "filterctl: " << line << Qt::endl;
    return status;
}

// The database named by --db, or the one the program is configured for.
bool openDatabase(const QCommandLineParser& parser, Database::Access access, Database* db, int* status) {
    QString path = parser.value(QStringLiteral("db"));
    if (path.isEmpty())
        path = tool::ReadMachineString(tool::DatabaseKey, tool::DatabaseValue);
    if (path.isEmpty()) {
        *status = fail(Usage,
                       QStringLiteral("no database path is configured (the value \"%1\" under \"%2\" in %3); "
                                      "name one with --db")
                           .arg(tool::DatabaseValue, tool::DatabaseKey, tool::HiveFile(tool::Hive::Machine)));
        return false;
    }
    DbError error;
    if (!db->open(path, &error, access)) {
        *status = fail(Usage, error.description);
        return false;
    }
    return true;
}

bool readLoaded(Database& db, InstallationRead* read, int* status) {
    DbError error;
    if (!readInstallation(db, read, &error)) {
        *status = fail(Usage, error.description);
        return false;
    }
    if (read->result.outcome != LoadResult::Outcome::Complete) {
        const QString why = read->result.outcome == LoadResult::Outcome::Fatal
                                ? read->result.message
                                : read->result.error.description;
        *status = fail(Found,
                       QStringLiteral("the installation does not load: %1 (run 'filterctl check')").arg(why));
        return false;
    }
    return true;
}

int check(Database& db, bool json) {
    const std::vector<Finding> findings = checkInstallation(db);
    const bool problems =
        std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.problem; });
    if (json) {
        QJsonArray list;
        for (const Finding& f : findings)
            list.append(QJsonObject{{QStringLiteral("problem"), f.problem},
                                    {QStringLiteral("table"), f.table},
                                    {QStringLiteral("where"), f.where},
                                    {QStringLiteral("text"), f.text}});
        out() << QJsonDocument(QJsonObject{{QStringLiteral("database"), db.fileName()},
                                           {QStringLiteral("findings"), list}})
                     .toJson();
    } else {
        for (const Finding& f : findings) {
            QStringList place;
            if (!f.table.isEmpty())
                place << QLatin1Char('"') + f.table + QLatin1Char('"');
            if (!f.where.isEmpty())
                place << f.where;
            out() << (f.problem ? "problem: " : "note: ") << place.join(QStringLiteral(", "))
                  << (place.isEmpty() ? "" : ": ") << f.text << '\n';
        }
        if (findings.empty())
            out() << "no findings in " << db.fileName() << '\n';
    }
    return problems ? Found : Done;
}

int show(Database& db, const QStringList& only) {
    InstallationRead read;
    int status = Done;
    if (!readLoaded(db, &read, &status))
        return status;
    for (const ExportedWheel& wheel : exportedWheels(db, read.installation)) {
        if (!only.isEmpty() && !only.contains(wheel.availableId))
            continue;
        out() << "wheel " << wheel.availableId << " (button " << wheel.button << ")\n";
        for (int p = 0; p < wheel.filters.size(); ++p)
            out() << "  " << p + 1 << "  " << wheel.filters[p]
                  << (wheel.codes.value(p).isEmpty() ? QString()
                                                     : QStringLiteral("  ") + wheel.codes.value(p))
                  << '\n';
    }
    return Done;
}

int exportPlacement(Database& db, const QCommandLineParser& parser) {
    const QString format = parser.value(QStringLiteral("format"));
    const QString file = parser.value(QStringLiteral("o"));
    QHash<QString, QString> devices;
    for (const QString& rename : parser.values(QStringLiteral("device"))) {
        const int equals = rename.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(Usage, QStringLiteral("--device takes ID=NAME, not '%1'").arg(rename));
        devices.insert(rename.left(equals), rename.mid(equals + 1));
    }
    InstallationRead read;
    int status = Done;
    if (!readLoaded(db, &read, &status))
        return status;
    const std::vector<ExportedWheel> wheels = exportedWheels(db, read.installation);
    if (format == QLatin1String("package")) {
        if (file.isEmpty())
            return fail(Usage, QStringLiteral("export --format package needs -o FILE.xlsx"));
        QStringList leftOut;
        QString error;
        if (!writePackageWorkbook(file, QStringLiteral("Package"), wheels, &leftOut, &error))
            return fail(Usage, error);
        if (!leftOut.isEmpty())
            QTextStream(stderr) << "filterctl: not in the package layout: "
                                << leftOut.join(QStringLiteral(", ")) << Qt::endl;
        return Done;
    }
    QByteArray text;
    if (format == QLatin1String("mm"))
        text = microManagerLabels(wheels, devices).toUtf8();
    else if (format == QLatin1String("csv"))
        text = placementCsv(wheels).toUtf8();
    else if (format == QLatin1String("json"))
        text = placementJson(wheels, db.fileName());
    else
        return fail(Usage,
                    QStringLiteral("unknown export format '%1' (mm, csv, json or package)").arg(format));
    if (file.isEmpty()) {
        out() << text;
        return Done;
    }
    QFile target(file);
    if (!target.open(QIODevice::WriteOnly) || target.write(text) != text.size())
        return fail(Usage, QStringLiteral("'%1' cannot be written: %2")
                               .arg(QDir::toNativeSeparators(file), target.errorString()));
    return Done;
}

int apply(const QCommandLineParser& parser, const QString& workbookPath) {
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
    Database db;
    int status = Done;
    if (!openDatabase(parser, dryRun ? Database::Access::ReadOnly : Database::Access::ReadWrite, &db,
                      &status))
        return status;
    QString error;
    auto workbook = openWorkbook(workbookPath, &error);
    if (!workbook)
        return fail(Usage, error);
    int sheet = 1;
    const QString name = parser.value(QStringLiteral("package"));
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
    PackageApplyPlan plan;
    DbError dbError;
    if (!planPackageApply(db, *workbook, sheet, parser.values(QStringLiteral("wheel")), &plan, &dbError))
        return fail(Usage, dbError.description);
    for (const PackageChange& change : plan.changes)
        out() << change.availableId << ' ' << change.position << ": " << change.from << " -> " << change.to
              << '\n';
    out() << plan.changes.size() << (plan.changes.size() == 1 ? " position changes" : " positions change")
          << '\n';
    if (!plan.refusals.isEmpty()) {
        for (const QString& refusal : plan.refusals)
            QTextStream(stderr) << "filterctl: " << refusal << Qt::endl;
        return fail(Found, QStringLiteral("nothing was written"));
    }
    if (dryRun || plan.changes.empty())
        return Done;
    const StoreResult result = executeStorePlans(db, plan.wheels);
    if (result.outcome == StoreResult::Outcome::Changed)
        return fail(Found,
                    QStringLiteral("another program changed the wheels meanwhile: nothing was written"));
    if (result.outcome != StoreResult::Outcome::Stored)
        return fail(Found, result.error.description);
    return Done;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("filterctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FC_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Filter Control's service command line.\n\n"
                       "  check [--json]                 what would stop or mislead the program\n"
                       "  show [ID Available ...]        the installed wheels and their positions\n"
                       "  export --format mm|csv|json|package [-o FILE] [--device ID=NAME ...]\n"
                       "  apply [--dry-run] [--package SHEET] [--wheel ID ...] WORKBOOK"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("db"), QStringLiteral("The database (default: the configured one)."),
         QStringLiteral("FILE")},
        {QStringLiteral("json"), QStringLiteral("check: findings as JSON.")},
        {QStringLiteral("format"), QStringLiteral("export: mm, csv, json or package."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("o"), QStringLiteral("export: the file to write (default: standard output)."),
         QStringLiteral("FILE")},
        {QStringLiteral("device"), QStringLiteral("export mm: name a wheel's device."),
         QStringLiteral("ID=NAME")},
        {QStringLiteral("dry-run"), QStringLiteral("apply: show the changes, write nothing.")},
        {QStringLiteral("package"), QStringLiteral("apply: the package (sheet) to apply."),
         QStringLiteral("SHEET")},
        {QStringLiteral("wheel"), QStringLiteral("apply: only this wheel of the package."),
         QStringLiteral("ID")},
    });
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("check, show, export or apply"));
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(Usage, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText();
        return Done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out() << "filterctl " << QCoreApplication::applicationVersion() << '\n';
        return Done;
    }
    const QString command = parser.positionalArguments().value(0);
    const QStringList args = parser.positionalArguments().mid(1);
    if (command == QLatin1String("apply")) {
        if (args.size() != 1)
            return fail(Usage, QStringLiteral("apply takes one WORKBOOK"));
        return apply(parser, args.first());
    }
    if (command != QLatin1String("check") && command != QLatin1String("show") &&
        command != QLatin1String("export"))
        return fail(Usage, command.isEmpty()
                               ? QStringLiteral("no command (check, show, export or apply); see --help")
                               : QStringLiteral("unknown command '%1'; see --help").arg(command));
    Database db;
    int status = Done;
    if (!openDatabase(parser, Database::Access::ReadOnly, &db, &status))
        return status;
    if (command == QLatin1String("check"))
        return check(db, parser.isSet(QStringLiteral("json")));
    if (command == QLatin1String("show"))
        return show(db, args);
    return exportPlacement(db, parser);
}
