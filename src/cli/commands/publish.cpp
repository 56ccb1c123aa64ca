// filterctl publish: the facility's page made from installations and snapshots.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/exchange/output_file.h"
#include "core/fleet/site.h"
#include "core/spectra/curve_store.h"
#include "plot/light_path_plot.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <memory>

namespace filterctl {

namespace {

constexpr int RecentChanges = 10;

// A folder stands for the snapshots in it (a checkout of the fleet's record).
QStringList inputFiles(const QString& input) {
    if (!QFileInfo(input).isDir())
        return {input};
    QStringList files;
    for (const QString& name : QDir(input).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
        files << QDir(input).filePath(name);
    return files;
}

// The light path drawn as the plot command draws it, where filterctl runs as its own program (fonts
// need the GUI application); without one, the pages carry the tables alone.
fleet::Drawing drawing() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    return [](const LightPath& path) { return plot::LightPathPlot(path, QGuiApplication::palette()).svg(); };
}

int publish(Context& context) {
    const QString site = context.value(QStringLiteral("o"));
    if (site.isEmpty() || context.arguments().isEmpty())
        return context.fail(Usage, QStringLiteral("publish needs -o SITE and installations or snapshots"));
    // The site's folder is never one the pages are made from.
    if (const Result refused = output::checkNotAnInput(site, context.arguments()); refused.isError())
        return context.failOn(refused);
    std::vector<fleet::Microscope> microscopes;
    for (const QString& input : context.arguments())
        for (const QString& file : inputFiles(input)) {
            std::unique_ptr<PlacementSession> session;
            Snapshot snapshot;
            fleet::Microscope microscope;
            Result error;
            if (!snapshotOf(context, file, &session, &snapshot))
                return context.status();
            if (!fleet::readMicroscope(std::move(snapshot), &microscope, &error))
                return context.fail(Usage, QStringLiteral("'%1' cannot be read as a snapshot: %2")
                                               .arg(QDir::toNativeSeparators(file), error.description));
            microscope.changes = fleet::recentChanges(file, session != nullptr, RecentChanges);
            QStringList skipped;
            if (session && (error = spectra::readMeasured(file, &microscope.measured, &skipped)).isError())
                skipped << error.description;
            for (const QString& line : skipped)
                context.warn(line + QStringLiteral(" The catalogue's band is drawn instead."));
            microscopes.push_back(std::move(microscope));
        }
    std::vector<fleet::SitePage> pages;
    if (const Result published = fleet::publishSite(microscopes, site, drawing(), &pages);
        published.isError())
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
            "Writes the facility's page: an index of the microscopes with a search across them, and a page "
            "for "
            "each with its wheels' positions, its light path drawn and its recent changes (from the "
            "installation's history or the record's git log), as plain files any web server or browser "
            "opens. A folder stands for the snapshots in it (a checkout of the record 'snapshot --git' "
            "keeps)."),
        false,
        {{QStringLiteral("o"), QStringLiteral("FILE"),
          QStringLiteral("the folder (SITE) the pages are written into")}},
        publish};
    return command;
}

} // namespace filterctl
