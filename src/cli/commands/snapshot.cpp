// filterctl snapshot --git: the installation's snapshot committed to the fleet's git record.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/fleet/git_record.h"

#include <QDir>

namespace filterctl {

namespace {

int snapshotToGit(Context& context) {
    if (!context.noArguments(QStringLiteral("snapshot")))
        return context.status();
    const QString repository = context.value(QStringLiteral("git"));
    if (repository.isEmpty())
        return context.fail(Usage, QStringLiteral("snapshot needs --git REPOSITORY, a git working copy"));
    PlacementSession session(startup::Variant::Service);
    if (!context.startLoaded(&session, {}, QString()))
        return context.status();
    fleet::GitRecord record;
    if (const Result recorded = fleet::recordInGit(session, repository, &record); recorded.isError())
        return context.failOn(recorded);
    const QString file = QDir::toNativeSeparators(record.file);
    if (!record.committed)
        context.out() << "unchanged: " << file << '\n';
    else if (record.changes.isEmpty())
        context.out() << "committed the first snapshot: " << file << '\n';
    else
        context.out() << "committed " << record.changes.size()
                      << (record.changes.size() == 1 ? " change: " : " changes: ") << file << '\n';
    return Done;
}

} // namespace

const Command& snapshotCommand() {
    static const Command command{
        QStringLiteral("snapshot"),
        {QStringLiteral("snapshot --git REPOSITORY")},
        QStringLiteral(
            "Writes the installation's canonical snapshot into a git working copy, one file per installation "
            "named by its identity and host, and commits it, with what changed as the message and the real "
            "user as the author; nothing when nothing changed."),
        true,
        {{QStringLiteral("git"), QStringLiteral("REPOSITORY"),
          QStringLiteral("the git working copy of the fleet's record")}},
        snapshotToGit};
    return command;
}

} // namespace filterctl
