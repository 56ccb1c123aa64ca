// filterctl show: the installation's identity and wheels as text, its canonical snapshot, or CSV.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/inspect/snapshot.h"

namespace filterctl {

namespace {

int show(Context& context) {
    const QStringList& ids = context.arguments();
    const QString format = context.isSet(QStringLiteral("format")) ? context.value(QStringLiteral("format"))
                                                                   : QStringLiteral("text");
    if (!QStringList{QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("csv")}.contains(format))
        return context.fail(Usage,
                            QStringLiteral("show --format takes text, json or csv, not '%1'").arg(format));
    PlacementSession session(startup::Variant::Service);
    session.setCandidates(false);
    if (!context.startLoaded(&session, ids, QStringLiteral("show")))
        return context.status();
    if (format == QLatin1String("csv")) {
        context.out() << placementCsv(
            onlyWheels(exportedWheels(session.database(), session.installation()), ids));
        return Done;
    }
    Snapshot snapshot;
    Result error;
    if (!readSnapshot(session, &snapshot, &error))
        return context.failOn(error);
    if (!ids.isEmpty())
        snapshot.wheels.erase(std::remove_if(snapshot.wheels.begin(), snapshot.wheels.end(),
                                             [&](const Snapshot::Wheel& w) { return !ids.contains(w.id); }),
                              snapshot.wheels.end());
    if (format != QLatin1String("json")) {
        context.out() << snapshotText(snapshot);
        return Done;
    }
    return writeSnapshot(context, snapshot, QString());
}

} // namespace

const Command& showCommand() {
    static const Command command{
        QStringLiteral("show"),
        {QStringLiteral("show [--format text|json|csv] [ID Available ...]")},
        QStringLiteral(
            "The installation: its identity and each installed wheel's rows by \"Position\", one line "
            "a position (text), or the canonical snapshot (json), or the placement as CSV."),
        true,
        {{QStringLiteral("format"), QStringLiteral("FORMAT"), QStringLiteral("text, json or csv")}},
        show};
    return command;
}

} // namespace filterctl
