// What every filterctl command works with; see context.h.

#include "cli/context.h"

#include "core/db/schema.h"
#include "core/exchange/output_file.h"
#include "core/history/history_file.h"
#include "core/settings/settings_store.h"
#include "core/vocabulary/vocabulary.h"

#include <QSet>

namespace filterctl {

Context::Context(const QCommandLineParser& parser, QStringList arguments, QTextStream& out, QTextStream& err)
    : m_parser(parser), m_arguments(std::move(arguments)), m_out(out), m_err(err) {}

void Context::warn(const QString& line) {
    m_err << "filterctl: " << vocabulary::visible(QString(line).replace(QLatin1Char('\n'), QLatin1Char(' ')))
          << Qt::endl;
}

int Context::fail(int status, const QString& line) {
    m_status = status;
    const QString oneLine = vocabulary::visible(QString(line).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    if (m_keepErrors) {
        m_kept << oneLine;
        return status;
    }
    m_out.flush();
    m_err << "filterctl: " << oneLine << Qt::endl;
    return status;
}

int Context::failOn(const Result& error) {
    if (error.code == dberr::Refused) { // a line for each fault the write gate named
        const QStringList lines = error.description.split(QLatin1Char('\n'));
        for (int i = 0; i + 1 < lines.size(); ++i)
            warn(lines[i]);
        return fail(Found, lines.last());
    }
    return fail(error.code == dberr::Locked ? Locked : Usage, error.description);
}

bool Context::noArguments(const QString& command) {
    if (m_arguments.isEmpty())
        return true;
    fail(Usage, QStringLiteral("%1 takes no argument '%2'").arg(command, m_arguments.first()));
    return false;
}

QString Context::databaseIfAny() const {
    // An empty --db never reaches here: the dispatch refuses every empty name.
    if (m_parser.isSet(QStringLiteral("db")))
        return m_parser.value(QStringLiteral("db"));
    return settings::ReadMachineString(settings::DatabaseKey, settings::DatabaseValue);
}

bool Context::databasePath(QString* path) {
    *path = databaseIfAny();
    if (path->isEmpty()) {
        fail(Usage, vocabulary::noDatabaseConfigured() + QStringLiteral(" Name one with --db."));
        return false;
    }
    return true;
}

bool Context::checkOutput(const QString& output, const QStringList& inputs) {
    QString database;
    if (!databasePath(&database))
        return false;
    const Result refused = output::checkNotAnInput(output, output::installationFiles(database) + inputs);
    if (refused.ok())
        return true;
    failOn(refused);
    return false;
}

bool Context::predictWrite(const QString& path, const QString& verb) {
    Result why;
    Database probe;
    if (probe.open(path, &why) && probe.checkWritable(schema::table::FilterPlacement, &why)) {
        if (isSet(QStringLiteral("no-history")))
            return true;
        why = history::checkUsable(path);
        if (why.ok())
            return true;
    }
    fail(ReadOnly, QStringLiteral("%1 will be refused: %2").arg(verb, why.description));
    return false;
}

PlacementSession::LoadReport Context::openSession(PlacementSession* session, const QString& path) {
    session->setWriteFavourites(false); // reading never writes
    return session->start(path, Database::Access::ReadOnly);
}

bool Context::startSession(PlacementSession* session, PlacementSession::LoadReport* report,
                           const QString& file) {
    QString path = file;
    if (path.isEmpty() && !databasePath(&path))
        return false;
    *report = openSession(session, path);
    if (!session->database().isOpen()) {
        failOn(report->error);
        return false;
    }
    return true;
}

bool Context::requireLoaded(const PlacementSession::LoadReport& report) {
    if (report.error.isError()) {
        failOn(report.error);
        return false;
    }
    if (!report.versionAccepted) {
        fail(Found, startup::versionMessage(report.version));
        return false;
    }
    if (report.result->outcome != LoadResult::Outcome::Complete) {
        const QString why = report.result->outcome == LoadResult::Outcome::Fatal
                                ? report.result->message
                                : report.result->error.description;
        fail(Found, QStringLiteral("the installation does not load: %1 (run 'filterctl check')").arg(why));
        return false;
    }
    return true;
}

bool Context::startLoaded(PlacementSession* session, const QStringList& ids, const QString& what) {
    PlacementSession::LoadReport report;
    return startSession(session, &report) && requireLoaded(report) &&
           checkWheelIds(session->installation(), ids, what);
}

bool Context::checkWheelIds(const Installation& installation, const QStringList& ids, const QString& what) {
    QSet<QString> installed;
    for (const Installation::Wheel& wheel : installation.installedWheels())
        installed.insert(wheel.availableId);
    for (const QString& id : ids)
        if (!installed.contains(id)) {
            fail(Usage, QStringLiteral("%1: the installation has no wheel '%2'").arg(what, id));
            return false;
        }
    return true;
}

std::vector<ExportedWheel> onlyWheels(std::vector<ExportedWheel> wheels, const QStringList& ids) {
    if (!ids.isEmpty())
        wheels.erase(std::remove_if(wheels.begin(), wheels.end(),
                                    [&](const ExportedWheel& w) { return !ids.contains(w.availableId); }),
                     wheels.end());
    return wheels;
}

} // namespace filterctl
