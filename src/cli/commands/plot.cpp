// filterctl plot: the light path of the installed wheels drawn into an SVG or PNG file.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/inspect/light_path.h"
#include "plot/light_path_plot.h"

#include <QGuiApplication>

namespace filterctl {

namespace {

int plotLightPath(Context& context) {
    if (!context.noArguments(QStringLiteral("plot")))
        return context.status();
    const QString file = context.value(QStringLiteral("o"));
    if (file.isEmpty())
        return context.fail(Usage, QStringLiteral("plot needs -o FILE.svg or FILE.png"));
    if (!context.checkOutput(file))
        return context.status();
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return context.fail(Usage, QStringLiteral("plot draws only where filterctl runs as its own program"));
    const QStringList ids = context.values(QStringLiteral("wheel"));
    PlacementSession session(startup::Variant::Service);
    if (!context.startLoaded(&session, ids, QStringLiteral("--wheel")))
        return context.status();
    const std::vector<ExportedWheel> wheels =
        onlyWheels(exportedWheels(session.database(), session.installation(), false), ids);
    LightPath path = buildLightPath(session.database(), wheels);
    addMeasured(&path, session.measuredCurves());
    if (!session.measuredProblem().isEmpty())
        context.warn(session.measuredProblem() + QStringLiteral(" The bands are drawn instead."));
    Result error;
    if (!plot::LightPathPlot(path, QGuiApplication::palette()).write(file, &error))
        return context.failOn(error);
    return Done;
}

} // namespace

const Command& plotCommand() {
    static const Command command{
        QStringLiteral("plot"),
        {QStringLiteral("plot [--wheel ID ...] -o FILE.svg|FILE.png")},
        QStringLiteral(
            "Draws the pass bands of the installed wheels' filters, lane by lane, without a display."),
        true,
        {{QStringLiteral("wheel"), QStringLiteral("ID"), QStringLiteral("only this wheel (again for more)")},
         {QStringLiteral("o"), QStringLiteral("FILE"), QStringLiteral("the SVG or PNG file to write")}},
        plotLightPath};
    return command;
}

} // namespace filterctl
