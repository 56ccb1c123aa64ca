// Times the fit of a dye over a fully installed system (18 wheels of 8 positions, every filter a
// measured curve of 1,000 points) and the narrowing of the dye list as one types a name.

#include "core/spectra/fit.h"
#include "median_time.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTextStream>
#include <cmath>

namespace {

// A smooth measured curve of `points` points: a band of random edges, or its inverse.
spectra::Curve measuredCurve(QRandomGenerator& random, int points) {
    const double from = 350 + random.bounded(400.0), to = from + 10 + random.bounded(150.0);
    const bool inverse = random.bounded(2) == 1;
    spectra::Curve curve;
    for (int i = 0; i < points; ++i) {
        const double nm = 300 + i * 700.0 / points;
        const double edge = 1 / (1 + std::exp((from - nm) / 2)) * (1 / (1 + std::exp((nm - to) / 2)));
        curve.nm.push_back(nm);
        curve.value.push_back(inverse ? 1 - edge : edge);
    }
    return curve;
}

QString format(const Timing& t) {
    return QStringLiteral("%1 / %2 / %3 ms")
        .arg(t.min, 0, 'f', 2)
        .arg(t.median, 0, 'f', 2)
        .arg(t.max, 0, 'f', 2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QRandomGenerator random(39);
    LightPath installed;
    QHash<QString, spectra::Curve> measured;
    for (int button = 0; button < wheels::ButtonCount; ++button) {
        LightPath::Lane lane{QStringLiteral("W%1").arg(button), button, false, {}};
        for (int p = 1; p <= wheels::PositionsPerWheel; ++p) {
            const QString name = QStringLiteral("F%1-%2").arg(button).arg(p);
            measured.insert(name, measuredCurve(random, 1000));
            lane.positions.push_back(
                {QString::number(p), {name, QString(), QString(), Band(), nullptr}, std::nullopt});
        }
        installed.lanes.push_back(std::move(lane));
    }
    const spectra::Dye& dye = *spectra::dyeNamed(spectra::builtInDyes(), QStringLiteral("EGFP"));
    size_t paths = 0;
    const Timing fit =
        timeRuns(20, [&] { paths = spectra::fit(installed, measured, dye, 488).paths.size(); });
    out << QStringLiteral(
               "fit of EGFP over 18 wheels of 8 measured positions (1,000 points each), %1 paths: %2\n")
               .arg(paths)
               .arg(format(fit));

    // Each keystroke of a name typed into the dye field narrows the whole list.
    const QString typed = QStringLiteral("Alexa Fluor 647");
    std::vector<double> keystrokes;
    for (int length = 1; length <= typed.size(); ++length)
        keystrokes.push_back(timeRuns(20, [&] {
                                 (void)spectra::findDyes(spectra::builtInDyes(), typed.left(length));
                             }).median);
    out << QStringLiteral("dye list narrowed per keystroke of \"%1\": %2\n")
               .arg(typed, format(timingOf(keystrokes)));
    return 0;
}
