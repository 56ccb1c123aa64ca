// filterctl diff: what differs between two installations or snapshots.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/inspect/snapshot.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

namespace filterctl {

namespace {

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
    // One side after the other; their rows are then read side by side, neither held in memory.
    std::unique_ptr<PlacementSession> sessions[2];
    Snapshot snapshots[2];
    for (int side = 0; side < 2; ++side)
        if (!snapshotOf(context, context.arguments()[side], &sessions[side], &snapshots[side]))
            return context.status();
    std::vector<Difference> differences;
    Result error;
    if (!diffSnapshots(snapshots[0], snapshots[1], &differences, &error)) {
        const bool fileFault = error.code == dberr::BadFile;
        return fileFault
                   ? context.fail(Usage, QStringLiteral("a snapshot cannot be read: ") + error.description)
                   : context.failOn(error);
    }
    printDifferences(context, differences);
    return differences.empty() ? Done : Found;
}

} // namespace

// An installation's snapshot: a database loaded as the service start-up does (the session stays
// open: the rows are read from it as they are compared), or a JSON snapshot file.
bool snapshotOf(Context& context, const QString& file, std::unique_ptr<PlacementSession>* session,
                Snapshot* snapshot) {
    Result error;
    if (isSnapshotFile(file)) {
        if (readSnapshotFile(file, snapshot, &error))
            return true;
        context.fail(Usage, QStringLiteral("'%1' cannot be read as a snapshot: %2")
                                .arg(QDir::toNativeSeparators(file), error.description));
        return false;
    }
    *session = std::make_unique<PlacementSession>(startup::Variant::Service);
    (*session)->setCandidates(false);
    PlacementSession::LoadReport report;
    if (!context.startSession(session->get(), &report, file) || !context.requireLoaded(report))
        return false;
    if (!readSnapshot(**session, snapshot, &error)) {
        context.failOn(error);
        return false;
    }
    return true;
}

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
