// filterctl snapshot --git: the installation's snapshot committed to the fleet's git record.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/fleet/git_record.h"
#include "core/settings/settings_store.h"

#include <QDir>

namespace filterctl {

namespace {

int snapshotToGit(Context& context) {
    if (!context.noArguments(QStringLiteral("snapshot")))
        return context.status();
    // A service names none: the machine settings do.
    const QString repository = context.isSet(QStringLiteral("git"))
                                   ? context.value(QStringLiteral("git"))
                                   : settings::ReadMachineString(settings::FleetKey, settings::FleetValue);
    if (repository.isEmpty())
        return context.fail(
            Usage, QStringLiteral("snapshot needs --git REPOSITORY, or the value \"%1\" under \"%2\" "
                                  "in the machine settings (%3)")
                       .arg(settings::FleetValue, settings::FleetKey,
                            QDir::toNativeSeparators(settings::HiveFile(settings::Hive::Machine))));
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
        {QStringLiteral("snapshot [--git REPOSITORY]")},
        QStringLiteral(
            "Writes the installation's canonical snapshot into a git working copy, one file per installation "
            "named by its identity and host, and commits it, with what changed as the message and the real "
            "user as the author; nothing when nothing changed. Without --git, the repository the machine "
            "settings name (for the service and timer filter-control-snapshot)."),
        true,
        {{QStringLiteral("git"), QStringLiteral("REPOSITORY"),
          QStringLiteral("the git working copy of the fleet's record")}},
        snapshotToGit};
    return command;
}

} // namespace filterctl
