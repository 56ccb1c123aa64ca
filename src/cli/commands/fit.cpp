// filterctl fit: the light paths of the installation ranked for a dye.

#include "core/spectra/fit.h"
#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/spectra/curve_store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace filterctl {

namespace {

std::optional<double> wavelengthOption(Context& context, const QString& option, bool* ok) {
    *ok = true;
    if (!context.isSet(option))
        return std::nullopt;
    const double value = context.value(option).toDouble(ok);
    *ok = *ok && value >= spectra::ShortestNm && value <= spectra::LongestNm;
    if (!*ok)
        context.fail(
            Usage,
            QStringLiteral("--%1 takes a wavelength in nm, not '%2'").arg(option, context.value(option)));
    return *ok ? std::optional<double>(value) : std::nullopt;
}

// The dye the options name: built in or imported by name, from a file, or of the standard shape.
bool chosenDye(Context& context, spectra::Dye* dye) {
    const bool byName = context.isSet(QStringLiteral("dye")),
               byFile = context.isSet(QStringLiteral("dye-file"));
    const bool byPeaks = context.isSet(QStringLiteral("ex")) || context.isSet(QStringLiteral("em"));
    if (int(byName) + int(byFile) + int(byPeaks) != 1) {
        context.fail(Usage,
                     QStringLiteral("fit needs one of --dye NAME, --dye-file FILE or --ex NM --em NM"));
        return false;
    }
    if (byFile) {
        Result read = spectra::readDye(context.value(QStringLiteral("dye-file")), QString(), dye);
        return read.ok() || (context.failOn(read), false);
    }
    if (byName) {
        const std::vector<spectra::Dye>& dyes = spectra::builtInDyes();
        const spectra::Dye* found = spectra::dyeNamed(dyes, context.value(QStringLiteral("dye")));
        if (!found) {
            QStringList near;
            for (const spectra::Dye* d : spectra::findDyes(dyes, context.value(QStringLiteral("dye"))))
                near << d->name;
            context.fail(Usage, QStringLiteral("no dye is named '%1'%2")
                                    .arg(context.value(QStringLiteral("dye")),
                                         near.isEmpty() ? QString()
                                                        : QStringLiteral("; did you mean: ") +
                                                              near.mid(0, 5).join(QStringLiteral(", "))));
            return false;
        }
        *dye = *found;
        return true;
    }
    bool ok = true;
    const std::optional<double> ex = wavelengthOption(context, QStringLiteral("ex"), &ok);
    const std::optional<double> em = ok ? wavelengthOption(context, QStringLiteral("em"), &ok) : std::nullopt;
    if (!ok)
        return false;
    if (!ex || !em) {
        context.fail(Usage, QStringLiteral("fit --ex NM needs --em NM too, and --em needs --ex"));
        return false;
    }
    *dye = spectra::standardDye(QStringLiteral("a dye of %1/%2 nm").arg(*ex).arg(*em), *ex, *em);
    return true;
}

QString nmText(std::optional<double> nm) {
    return nm ? QLocale::c().toString(*nm, 'g', 6) + QStringLiteral(" nm") : QStringLiteral("-");
}

void printText(Context& context, const spectra::Dye& dye, std::optional<double> laser,
               const spectra::FitResult& result, int top) {
    QTextStream& out = context.out();
    out << QStringLiteral("%1 (excitation %2, emission %3)%4: %5 paths, best first\n")
               .arg(dye.name, nmText(dye.excitationPeak), nmText(dye.emissionPeak),
                    laser ? QStringLiteral(", laser ") + nmText(laser) : QString(),
                    QLocale::c().toString(qlonglong(result.paths.size())));
    out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
               .arg(QStringLiteral("rank"), 4)
               .arg(QStringLiteral("emission"), 8)
               .arg(QStringLiteral("line"), -7)
               .arg(QStringLiteral("reaches"), -7)
               .arg(QStringLiteral("excites"), 7)
               .arg(QStringLiteral("score"), 7)
               .arg(QStringLiteral("path"));
    for (int rank = 0; rank < top && rank < int(result.paths.size()); ++rank) {
        const spectra::FitPath& path = result.paths[size_t(rank)];
        const bool cube = path.cube >= 0;
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
                   .arg(rank + 1, 4)
                   .arg(spectra::percentText(path.emitted), 8)
                   .arg(cube ? QStringLiteral("cube") : nmText(path.line), -7)
                   .arg(cube           ? QStringLiteral("-")
                        : path.reaches ? QStringLiteral("yes")
                                       : QStringLiteral("no"),
                        -7)
                   .arg(cube ? QStringLiteral("-") : spectra::percentText(path.excited), 7)
                   .arg(spectra::percentText(path.score), 7)
                   .arg(result.describe(path));
    }
    if (!result.withoutValues.isEmpty())
        out << QStringLiteral("Left out, with neither wavelengths nor a measured spectrum: %1\n")
                   .arg(result.withoutValues.join(QStringLiteral(", ")));
}

QJsonObject pathJson(const spectra::FitResult& result, const spectra::FitPath& path, int rank) {
    QJsonArray positions;
    for (int index : {path.cube, path.main, path.secondary, path.emission}) {
        if (index < 0)
            continue;
        const spectra::Element& e = result.elements[size_t(index)];
        QJsonObject position{{QStringLiteral("wheel"), e.wheel},
                             {QStringLiteral("position"), e.position},
                             {QStringLiteral("filter"), e.name()},
                             {QStringLiteral("measured"), e.measured()}};
        if (index == path.secondary)
            position.insert(QStringLiteral("side"),
                            path.reflected ? QStringLiteral("reflected") : QStringLiteral("transmitted"));
        positions.append(position);
    }
    QJsonObject json{
        {QStringLiteral("rank"), rank},
        {QStringLiteral("kind"), path.cube >= 0 ? QStringLiteral("cube") : QStringLiteral("scanning")},
        {QStringLiteral("emission"), path.emitted},
        {QStringLiteral("score"), path.score},
        {QStringLiteral("positions"), positions}};
    if (path.cube < 0) {
        json.insert(QStringLiteral("line"), path.line ? QJsonValue(*path.line) : QJsonValue());
        json.insert(QStringLiteral("reaches"), path.reaches);
        json.insert(QStringLiteral("excites"), path.excited);
    }
    return json;
}

void printJson(Context& context, const spectra::Dye& dye, std::optional<double> laser,
               const spectra::FitResult& result, int top) {
    QJsonArray paths;
    for (int rank = 0; rank < top && rank < int(result.paths.size()); ++rank)
        paths.append(pathJson(result, result.paths[size_t(rank)], rank + 1));
    const QJsonObject json{
        {QStringLiteral("dye"), QJsonObject{{QStringLiteral("name"), dye.name},
                                            {QStringLiteral("excitation"), dye.excitationPeak},
                                            {QStringLiteral("emission"), dye.emissionPeak}}},
        {QStringLiteral("laser"), laser ? QJsonValue(*laser) : QJsonValue()},
        {QStringLiteral("pathCount"), qint64(result.paths.size())},
        {QStringLiteral("paths"), paths},
        {QStringLiteral("withoutValues"), QJsonArray::fromStringList(result.withoutValues)}};
    context.out() << QJsonDocument(json).toJson(QJsonDocument::Indented);
}

int fitDye(Context& context) {
    if (!context.noArguments(QStringLiteral("fit")))
        return context.status();
    spectra::Dye dye;
    if (!chosenDye(context, &dye))
        return context.status();
    bool ok = true;
    const std::optional<double> laser = wavelengthOption(context, QStringLiteral("laser"), &ok);
    if (!ok)
        return context.status();
    int top = 10;
    if (context.isSet(QStringLiteral("top"))) {
        top = context.value(QStringLiteral("top")).toInt(&ok);
        if (!ok || top < 1)
            return context.fail(Usage, QStringLiteral("--top takes a count of paths, not '%1'")
                                           .arg(context.value(QStringLiteral("top"))));
    }
    PlacementSession session(startup::Variant::Service);
    if (!context.startLoaded(&session, {}, QStringLiteral("fit")))
        return context.status();
    QHash<QString, spectra::Curve> measured;
    QStringList skipped;
    if (Result read = spectra::readMeasured(session.database().path(), &measured, &skipped); read.isError())
        context.warn(read.description + QStringLiteral(" The catalogue's bands are taken instead."));
    for (const QString& line : skipped)
        context.warn(line + QStringLiteral(" Its band is taken instead."));
    const spectra::FitResult result =
        spectra::fitInstallation(session.database(), session.installation(), measured, dye, laser);
    if (context.isSet(QStringLiteral("json")))
        printJson(context, dye, laser, result, top);
    else
        printText(context, dye, laser, result, top);
    return Done;
}

} // namespace

const Command& fitCommand() {
    static const Command command{
        QStringLiteral("fit"),
        {QStringLiteral(
            "fit --dye NAME | --dye-file FILE | --ex NM --em NM [--laser NM] [--top N] [--json]")},
        QStringLiteral("Ranks every light path the installed positions can form by the share of the dye's "
                       "emission that reaches the detector and the excitation that reaches the sample."),
        true,
        {{QStringLiteral("dye"), QStringLiteral("NAME"),
          QStringLiteral("a built-in or imported dye (EGFP, Cy5, ...)")},
         {QStringLiteral("dye-file"), QStringLiteral("FILE"),
          QStringLiteral(
              "a dye's wavelength, excitation and emission columns, as spectra viewers export them")},
         {QStringLiteral("ex"), QStringLiteral("NM"), QStringLiteral("a dye's excitation peak")},
         {QStringLiteral("em"), QStringLiteral("NM"), QStringLiteral("and its emission peak")},
         {QStringLiteral("laser"), QStringLiteral("NM"), QStringLiteral("the laser line that excites it")},
         {QStringLiteral("top"), QStringLiteral("N"), QStringLiteral("how many paths to list (10)")},
         {QStringLiteral("json"), QString(), QStringLiteral("the ranked paths as JSON")}},
        fitDye};
    return command;
}

} // namespace filterctl
