// filterctl history: the record of every write to the installation, newest first.

#include "core/history/history.h"
#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/history/history_file.h"
#include "core/session/placement_session.h"
#include "core/vocabulary/vocabulary.h"

#include <QDir>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace filterctl {

namespace {

// --since, --wheel and --search as the history's filter; false (with the error given) for a wrong one.
bool readFilter(Context& context, history::Filter* filter) {
    const QString since = context.value(QStringLiteral("since"));
    if (!since.isEmpty()) {
        filter->since = QDateTime::fromString(since, Qt::ISODate);
        if (!filter->since.isValid())
            filter->since = QDate::fromString(since, Qt::ISODate).startOfDay();
        if (!filter->since.isValid()) {
            context.fail(
                Usage,
                QStringLiteral("--since takes a date or time such as 2026-12-06, not '%1'").arg(since));
            return false;
        }
    }
    const QStringList wheels = context.values(QStringLiteral("wheel"));
    if (wheels.size() > 1) {
        context.fail(Usage, QStringLiteral("history takes one --wheel"));
        return false;
    }
    filter->wheel = wheels.value(0);
    filter->text = context.value(QStringLiteral("search"));
    return true;
}

QJsonObject recordObject(const history::Record& record) {
    return {{QStringLiteral("id"), record.id},
            {QStringLiteral("at"), record.at},
            {QStringLiteral("user"), record.user},
            {QStringLiteral("host"), record.host},
            {QStringLiteral("program"), record.program},
            {QStringLiteral("configuration"), record.configuration},
            {QStringLiteral("stand"), record.stand},
            {QStringLiteral("scanUnit"), record.scanUnit},
            {QStringLiteral("summary"), record.summary},
            {QStringLiteral("undoes"), record.undoes ? QJsonValue(record.undoes) : QJsonValue()}};
}

int showHistory(Context& context) {
    history::Filter filter;
    QString path;
    if (!context.noArguments(QStringLiteral("history")) || !readFilter(context, &filter) ||
        !context.databasePath(&path))
        return context.status();
    if (context.isSet(QStringLiteral("set-aside"))) {
        QString aside;
        if (const Result moved = history::setAside(path, &aside); moved.isError())
            return context.failOn(moved);
        context.out() << "set aside as " << QDir::toNativeSeparators(aside) << '\n';
        return Done;
    }
    history::reconcile(path);
    std::vector<history::Record> records;
    Result error;
    if (!history::readRecords(history::pathFor(path), filter, &records, &error))
        return context.failOn(error);
    // No record of a wheel the installation does not have is a misspelt wheel, not an empty history.
    if (records.empty() && !filter.wheel.isEmpty()) {
        PlacementSession session(startup::Variant::Service);
        if (!context.startLoaded(&session, {filter.wheel}, QStringLiteral("--wheel")))
            return context.status();
    }
    if (context.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const history::Record& record : records)
            list.append(recordObject(record));
        context.out() << QJsonDocument(list).toJson();
        return Done;
    }
    for (const history::Record& record : records)
        context.out() << vocabulary::recordLine(record) << '\n';
    return Done;
}

} // namespace

const Command& historyCommand() {
    static const Command command{
        QStringLiteral("history"),
        {QStringLiteral("history [--json] [--since DATE] [--wheel ID] [--search TEXT]"),
         QStringLiteral("history --set-aside")},
        QStringLiteral(
            "The record of every write to the installation, newest first: when, who, which program, "
            "what."),
        true,
        {{QStringLiteral("json"), QString(), QStringLiteral("the records as JSON")},
         {QStringLiteral("since"), QStringLiteral("DATE"),
          QStringLiteral("the records from this date (2026-12-06) or time on")},
         {QStringLiteral("wheel"), QStringLiteral("ID"),
          QStringLiteral("the records that changed this wheel")},
         {QStringLiteral("search"), QStringLiteral("TEXT"),
          QStringLiteral("the records whose number, time, user@host, program, summary or the number of "
                         "the record it undid holds the text, ignoring case, as the history window's "
                         "search finds them")},
         {QStringLiteral("set-aside"), QString(),
          QStringLiteral(
              "rename a damaged history (with the date, nothing deleted); the next write begins a new one")}},
        showHistory};
    return command;
}

} // namespace filterctl
