// filterctl check: what would stop or mislead the program, for one installation or many.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/inspect/installation_check.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace filterctl {

namespace {

QJsonObject findingsObject(const QString& database, const std::vector<Finding>& findings) {
    QJsonArray list;
    for (const Finding& f : findings)
        list.append(QJsonObject{{QStringLiteral("problem"), f.problem},
                                {QStringLiteral("table"), f.table},
                                {QStringLiteral("where"), f.where},
                                {QStringLiteral("text"), f.text}});
    return {{QStringLiteral("database"), database}, {QStringLiteral("findings"), list}};
}

QString countsLine(int problems, int notes) {
    return QStringLiteral("%1 problem%2, %3 note%4")
        .arg(problems)
        .arg(problems == 1 ? "" : "s")
        .arg(notes)
        .arg(notes == 1 ? "" : "s");
}

int check(Context& context) {
    const QStringList& files = context.arguments();
    if (files.isEmpty())
        return checkOne(context, QString(), nullptr, nullptr);
    // Many installations: a line (or an object) each, and the worst status.
    const bool json = context.isSet(QStringLiteral("json"));
    int worst = Done;
    QJsonArray objects;
    for (const QString& file : files) {
        QString summary;
        worst = std::max(worst, checkOne(context, file, &objects, &summary));
        if (!json)
            context.out() << QDir::toNativeSeparators(file) << ": " << summary << '\n';
    }
    if (json)
        context.out() << QJsonDocument(objects).toJson();
    return worst;
}

} // namespace

int checkOne(Context& context, const QString& file, QJsonArray* json, QString* summary) {
    PlacementSession session(startup::Variant::Service);
    session.setCandidates(false); // the check reads the catalogue in walks of its own
    PlacementSession::LoadReport report;
    // With many files, a file that cannot be read is its line, not the end of the run.
    Context quiet = context;
    if (summary)
        quiet.keepErrors();
    const bool started = quiet.startSession(&session, &report, file);
    if (!started || report.error.code == dberr::Locked) {
        if (started)
            quiet.failOn(report.error);
        const QString why = quiet.keptErrors().join(QLatin1Char(' '));
        if (summary)
            *summary = why;
        if (json)
            json->append(QJsonObject{{QStringLiteral("database"), QDir::toNativeSeparators(file)},
                                     {QStringLiteral("error"), why}});
        return quiet.status();
    }
    const std::vector<Finding> findings = checkInstallation(session, report);
    const int problems =
        int(std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.problem; }));
    const QString name = summary ? QDir::toNativeSeparators(file) : session.database().fileName();
    if (summary) {
        *summary = findings.empty() ? QStringLiteral("no findings")
                                    : countsLine(problems, int(findings.size()) - problems);
        json->append(findingsObject(name, findings));
    } else if (context.isSet(QStringLiteral("json"))) {
        context.out() << QJsonDocument(findingsObject(name, findings)).toJson();
    } else {
        for (const Finding& f : findings)
            context.out() << findingLine(f) << '\n';
        if (findings.empty())
            context.out() << "no findings in " << name << '\n';
    }
    return problems ? Found : Done;
}

const Command& checkCommand() {
    static const Command command{
        QStringLiteral("check"),
        {QStringLiteral("check [--json] [FILE ...]")},
        QStringLiteral(
            "Names what would stop or mislead the program, one finding a line; exit 1 on a problem. "
            "With files, one line (with --json one object) for each, and the worst status of them."),
        true,
        {{QStringLiteral("json"), QString(), QStringLiteral("the findings as JSON")}},
        check};
    return command;
}

} // namespace filterctl
