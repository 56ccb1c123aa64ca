// filterctl diff: what differs between two installations or snapshots.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/inspect/snapshot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <thread>

namespace filterctl {

namespace {

// An installation's snapshot: a database loaded as the service start-up does, or a JSON snapshot.
bool snapshotOf(Context& context, const QString& file, Snapshot* snapshot) {
    QFile text(file);
    if (text.open(QIODevice::ReadOnly) && text.peek(64).trimmed().startsWith('{')) {
        if (text.size() > Snapshot::MaxFileBytes) {
            context.fail(Usage,
                         QStringLiteral("'%1' is larger than the %2 MiB a snapshot may be: it is not read")
                             .arg(QDir::toNativeSeparators(file))
                             .arg(Snapshot::MaxFileBytes >> 20));
            return false;
        }
        Result error;
        if (!parseSnapshotJson(text.readAll(), snapshot, &error)) {
            context.fail(Usage, QStringLiteral("'%1' cannot be read as a snapshot: %2")
                                    .arg(QDir::toNativeSeparators(file), error.description));
            return false;
        }
        return true;
    }
    PlacementSession session(startup::Variant::Service);
    PlacementSession::LoadReport report;
    Result error;
    if (!context.startSession(&session, &report, file) || !context.requireLoaded(report))
        return false;
    if (!readSnapshot(session, snapshot, &error)) {
        context.failOn(error);
        return false;
    }
    return true;
}

void printDifferences(Context& context, const std::vector<Difference>& differences) {
    if (!context.isSet(QStringLiteral("json"))) {
        for (const Difference& difference : differences)
            context.out() << difference.text() << '\n';
        return;
    }
    QJsonArray list;
    for (const Difference& difference : differences)
        list.append(
            QJsonObject{{QStringLiteral("where"), difference.where},
                        {QStringLiteral("a"), difference.a ? QJsonValue(*difference.a) : QJsonValue()},
                        {QStringLiteral("b"), difference.b ? QJsonValue(*difference.b) : QJsonValue()}});
    context.out() << QJsonDocument(list).toJson();
}

int diff(Context& context) {
    if (context.arguments().size() != 2)
        return context.fail(Usage, QStringLiteral("diff takes two installations or snapshots, A and B"));
    // The two installations are read at once, each on its own connection in its own thread.
    struct Side {
        Snapshot snapshot;
        int status = Done;
        QStringList errors;
    } sides[2];
    const auto read = [&context](const QString& file, Side* side) {
        Context quiet = context;
        quiet.keepErrors();
        if (!snapshotOf(quiet, file, &side->snapshot))
            side->status = quiet.status();
        side->errors = quiet.keptErrors();
    };
    std::thread second(read, context.arguments()[1], &sides[1]);
    read(context.arguments()[0], &sides[0]);
    second.join();
    for (const Side& side : sides)
        if (side.status != Done) {
            for (const QString& error : side.errors)
                context.fail(side.status, error);
            return side.status;
        }
    const std::vector<Difference> differences = diffSnapshots(sides[0].snapshot, sides[1].snapshot);
    printDifferences(context, differences);
    return differences.empty() ? Done : Found;
}

} // namespace

const Command& diffCommand() {
    static const Command command{
        QStringLiteral("diff"),
        {QStringLiteral("diff [--json] A B")},
        QStringLiteral(
            "What differs between two installations or snapshots (database files or JSON from 'show "
            "--format json'): positions by wheel and \"Position\", catalogue rows, favourites. Exit 0 "
            "when equal, 1 when they differ."),
        false,
        {{QStringLiteral("json"), QString(), QStringLiteral("the differences as JSON")}},
        diff};
    return command;
}

} // namespace filterctl
