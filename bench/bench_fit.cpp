// Times the fit of a dye over a fully installed system (18 wheels of 8 positions, every filter a
// measured curve of 1,000 points) and the narrowing of the dye list as one types a name.

#include "core/spectra/fit.h"
#include "gui/lightpath/light_path_window.h"
#include "gui/widgets/finding_combo.h"
#include "median_time.h"

#include <QApplication>
#include <QListView>
#include <QRandomGenerator>
#include <QTest>
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
    // The offscreen platform's warnings about window features it lacks say nothing of the timing.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg)
            fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QRandomGenerator random(39);
    LightPath installed;
    QHash<QString, spectra::Curve> measured;
    for (int button = 0; button < wheels::ButtonCount; ++button) {
        LightPath::Lane lane{QStringLiteral("W%1").arg(button), button, false, {}, {}};
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

    // Each keystroke of a name typed into the light-path window's open dye field narrows its list.
    LightPathWindow window;
    window.show();
    auto* dyeField = window.findChild<FindingComboBox*>(QStringLiteral("CmbDye"));
    const QString typed = QStringLiteral("Alexa Fluor 647");
    std::vector<double> keystrokes;
    for (int run = 0; run < 20; ++run) {
        dyeField->showPopup();
        for (const QChar c : typed)
            keystrokes.push_back(timeRuns(1, [&] {
                                     QTest::keyClick(dyeField->findingList(), c.toLatin1());
                                     QCoreApplication::processEvents();
                                 }).median);
        dyeField->hidePopup();
    }
    out << QStringLiteral("dye field narrowed per keystroke of \"%1\" (%2 keystrokes): %3\n")
               .arg(typed)
               .arg(keystrokes.size())
               .arg(format(timingOf(keystrokes)));
    return 0;
}
