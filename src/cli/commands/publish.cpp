// filterctl publish: the facility's page made from installations and snapshots.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/exchange/output_file.h"
#include "core/fleet/site.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

namespace filterctl {

namespace {

int publish(Context& context) {
    const QString site = context.value(QStringLiteral("o"));
    if (site.isEmpty() || context.arguments().isEmpty())
        return context.fail(Usage, QStringLiteral("publish needs -o SITE and installations or snapshots"));
    // The site's folder is never one the pages are made from.
    if (const Result refused = output::checkNotAnInput(site, context.arguments()); refused.isError())
        return context.failOn(refused);
    std::vector<Snapshot> snapshots;
    for (const QString& input : context.arguments()) {
        QStringList files{input};
        if (QFileInfo(input).isDir()) { // a checkout of the fleet's record
            files.clear();
            for (const QString& name :
                 QDir(input).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
                files << QDir(input).filePath(name);
        }
        for (const QString& file : std::as_const(files)) {
            std::unique_ptr<PlacementSession> session;
            Snapshot snapshot;
            if (!snapshotOf(context, file, &session, &snapshot))
                return context.status();
            snapshot.rowsIn = nullptr; // the pages carry the wheels alone; the session ends here
            snapshots.push_back(std::move(snapshot));
        }
    }
    std::vector<fleet::SitePage> pages;
    if (const Result published = fleet::publishSite(snapshots, site, &pages); published.isError())
        return context.failOn(published);
    context.out() << "published " << pages.size() << (pages.size() == 1 ? " microscope" : " microscopes")
                  << " into " << QDir::toNativeSeparators(site) << '\n';
    return Done;
}

} // namespace

const Command& publishCommand() {
    static const Command command{
        QStringLiteral("publish"),
        {QStringLiteral("publish -o SITE INSTALLATION|SNAPSHOT|FOLDER ...")},
        QStringLiteral(
            "Writes the facility's page: an index of the microscopes and a page for each with its wheels' "
            "positions, as plain files any web server or browser opens. A folder stands for the "
            "snapshots in it (a checkout of the record 'snapshot --git' keeps)."),
        false,
        {{QStringLiteral("o"), QStringLiteral("FILE"),
          QStringLiteral("the folder (SITE) the pages are written into")}},
        publish};
    return command;
}

} // namespace filterctl
