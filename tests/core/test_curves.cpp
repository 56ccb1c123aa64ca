#include "support/test_support.h"

#include "core/spectra/fit.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

// Measured curves read from the files filter makers publish, dyes, and the fit of light paths.
class TestCurves : public QObject {
    Q_OBJECT
private slots:
    void readsVendorFiles();
    void refusesBadFiles();
    void findsAndReadsDyes();
    void fitsHandComputedCases();
    void sharesStayInRangeAndGrowWithTheBand();
};

using namespace spectra;

namespace {

Result curveOf(const QByteArray& text, Curve* curve, const QString& column = QString()) {
    Table table;
    if (Result read = parseTable(text, "f.txt", &table); read.isError())
        return read;
    return transmissionOf(table, column, curve);
}

QString refusal(const QByteArray& text, const QString& column = QString()) {
    Curve curve;
    return curveOf(text, &curve, column).description;
}

LightPath::Lane lane(const QString& wheel, int button, const std::vector<LightPath::Filter>& filters) {
    LightPath::Lane lane{wheel, button, false, {}, {}};
    for (size_t i = 0; i < filters.size(); ++i)
        lane.positions.push_back({QString::number(i + 1), filters[i], std::nullopt});
    return lane;
}

LightPath::Filter filter(const QString& name, const Band& band) {
    return {name, QString(), QString(), band, nullptr};
}

Band pass(double from, double to) {
    return bandOf("BP", from, std::nullopt, to, std::nullopt);
}

// A dye emitting evenly over `from`-`to`, excited at 488 nm as EGFP is.
Dye evenDye(double from, double to) {
    Dye dye = standardDye("even", 488, (from + to) / 2);
    dye.emission = Curve{{from, to}, {1, 1}};
    return dye;
}

const FitPath* pathThrough(const FitResult& result, const QString& emission, const QString& secondary = {},
                           bool reflected = false) {
    for (const FitPath& path : result.paths)
        if (path.emission >= 0 && result.elements[size_t(path.emission)].name() == emission &&
            (secondary.isEmpty() ||
             (path.secondary >= 0 && result.elements[size_t(path.secondary)].name() == secondary &&
              path.reflected == reflected)))
            return &path;
    return nullptr;
}

} // namespace

void TestCurves::readsVendorFiles() {
    Curve curve;
    // Tab separated, in percent, with a header and comments.
    QVERIFY(curveOf("# Brightline 525/50\nWavelength (nm)\tTransmission (%)\n500\t1.5\n510\t90\n"
                    "520\t98.5\n\n530\t97\n",
                    &curve)
                .ok());
    QCOMPARE(curve.nm, (std::vector<double>{500, 510, 520, 530}));
    QCOMPARE(curve.value[2], 0.985);
    QCOMPARE(curve.at(515), (0.9 + 0.985) / 2);
    // Fractions with a decimal comma after semicolons; noise just below 0 clamped.
    QVERIFY(curveOf("nm;T\n400;0,5\n401;-0,002\n", &curve).ok());
    QCOMPARE(curve.value, (std::vector<double>{0.5, 0}));
    // Space separated without a header.
    QVERIFY(curveOf("400 0.1\n401   0.2\n", &curve).ok());
    QCOMPARE(curve.value[1], 0.2);
    // Several named columns: one chosen by its header, cells missing where a curve ends.
    const QByteArray several = "wavelength,\"EGFP ex\",EGFP em,BP 525/50\n"
                               "480,0.9,,0.0\n490,1.0,0.1,0.001\n500,0.8,0.6,0.95\n";
    QVERIFY(refusal(several).contains("choose one with --column NAME"));
    QVERIFY(refusal(several).contains("EGFP ex, EGFP em, BP 525/50"));
    QVERIFY(curveOf(several, &curve, "bp 525/50").ok());
    QCOMPARE(curve.value, (std::vector<double>{0, 0.001, 0.95}));
    QVERIFY(curveOf(several, &curve, "EGFP em").ok());
    QCOMPARE(curve.nm.size(), size_t(2));
    QVERIFY(refusal(several, "mCherry").contains("no column is named 'mCherry'"));
    // A spreadsheet's byte order mark before the first row.
    QVERIFY(curveOf("\xEF\xBB\xBF"
                    "400\t0.5\n401\t0.6\n",
                    &curve)
                .ok());
    QCOMPARE(curve.nm.front(), 400.0);
    // Stored and read back unchanged, however fine the steps.
    QRandomGenerator random(39);
    Curve fine;
    for (double nm = 400; fine.nm.size() < 500; nm += random.bounded(1e-3) + 1e-9) {
        fine.nm.push_back(nm);
        fine.value.push_back(random.generateDouble());
    }
    Curve again;
    QVERIFY(fromText(toText(fine), "stored", &again).ok());
    QVERIFY(again.nm == fine.nm && again.value == fine.value);
    Curve back;
    QVERIFY(fromText(toText(curve), "stored", &back).ok());
    QCOMPARE(back.nm, curve.nm);
    QCOMPARE(back.value, curve.value);
}

void TestCurves::refusesBadFiles() {
    QCOMPARE(refusal("nm T\n400 0.1\n401 nan\n"), QString("'f.txt', line 3: 'nan' is not a finite number."));
    QVERIFY(refusal("400 0.1\n402 0.2\n401 0.3\n")
                .startsWith("'f.txt', line 3: the wavelength 401 nm does not "
                            "increase"));
    QVERIFY(refusal("nm,T (%)\n400,50\n401,104.5\n")
                .startsWith("'f.txt', line 3: 104.5 % is outside 0 to 100 %."));
    // One spike in a fraction's noise is named, not a reason to read it all as percent.
    QVERIFY(
        refusal("nm T\n300 2.0\n400 0.9\n500 0.95\n").startsWith("'f.txt', line 2: 2 is outside 0 to 1."));
    // A first row with a typo is no header, and a row without its wavelength is no comment.
    QVERIFY(refusal("4OO 0.5\n401 0.6\n").startsWith("'f.txt', line 1: '4OO' is not a number."));
    QVERIFY(refusal("400;0,5\n;0,6\n401;0,7\n").startsWith("'f.txt', line 2: "));
    QVERIFY(refusal("400 0.5\n401 1.2\n").startsWith("'f.txt', line 2: 1.2 is outside 0 to 1."));
    QVERIFY(refusal("0.4 0.5\n0.5 0.6\n").startsWith("'f.txt', line 1: '0.4' is no wavelength in nm"));
    QVERIFY(refusal("400 0.5\n401 abc\n").startsWith("'f.txt', line 2: 'abc' is not a number."));
    QVERIFY(refusal("400 0.5 1\n401 0.6\n")
                .startsWith("'f.txt', line 2: 2 columns where the lines before have 3"));
    QVERIFY(refusal("just words\n").contains("no line holds a wavelength and a value"));
    QVERIFY(refusal(QByteArray("400 0.5\n\0\x01\x02", 11)).contains("not a text file"));
    QVERIFY(refusal("400 0.5\n").contains("at least two points"));

    QTemporaryDir dir;
    Table table;
    // A 100 MB file is refused by its size, without being read.
    QFile huge(dir.filePath("huge.txt"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(100) << 20));
    huge.close();
    const Result big = readTable(huge.fileName(), &table);
    QVERIFY(big.description.contains("the file is 100 MB; a spectrum is at most 4 MB"));
    QFile binary(dir.filePath("image.png"));
    QVERIFY(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    binary.close();
    QVERIFY(readTable(binary.fileName(), &table).description.contains("not a text file"));
    QVERIFY(readTable(dir.filePath("missing.txt"), &table).description.contains("cannot be read"));
}

void TestCurves::findsAndReadsDyes() {
    const std::vector<Dye>& dyes = builtInDyes();
    QVERIFY(dyes.size() >= 40);
    QCOMPARE(findDyes(dyes, "gfp").front()->name, QString("EGFP"));
    QCOMPARE(dyeNamed(dyes, "alexa fluor 488")->emissionPeak, 519.0);
    QCOMPARE(dyeNamed(dyes, "AF647")->name, QString("Alexa Fluor 647"));
    QVERIFY(!dyeNamed(dyes, "Alexa Fluor"));
    for (const Dye* dye : findDyes(dyes, "alexafluor5"))
        QVERIFY(dye->name.startsWith("Alexa Fluor 5"));
    QCOMPARE(findDyes(dyes, "").size(), dyes.size());
    const Dye& egfp = *dyeNamed(dyes, "EGFP");
    QCOMPARE(egfp.emission.at(507), 1.0);
    QVERIFY(egfp.emission.at(540) > egfp.emission.at(474)); // the emission tails to the red

    // A spectra viewer's export: wavelength, excitation, emission, in arbitrary units.
    Table table;
    QVERIFY(parseTable("wavelength,mScarlet ex,mScarlet em\n560,40,\n569,80,10\n580,20,50\n594,5,100\n",
                       "d.csv", &table)
                .ok());
    Dye dye;
    QVERIFY(dyeOf(table, "mScarlet", &dye).ok());
    QCOMPARE(dye.excitationPeak, 569.0);
    QCOMPARE(dye.emissionPeak, 594.0);
    QCOMPARE(dye.emission.at(580), 0.5);
    // Columns found by their words: "Texas" holds no "ex".
    QVERIFY(parseTable("wavelength,Texas Red EM,Texas Red EX\n580,0.5,1\n615,1,0.1\n", "d.csv", &table).ok());
    QVERIFY(dyeOf(table, "Texas Red", &dye).ok());
    QCOMPARE(dye.excitationPeak, 580.0);
    QCOMPARE(dye.emissionPeak, 615.0);
    QVERIFY(parseTable("wavelength,ex\n560,40\n561,30\n", "d.csv", &table).ok());
    QVERIFY(
        dyeOf(table, "x", &dye).description.contains("names an excitation column, but no emission column"));
}

void TestCurves::fitsHandComputedCases() {
    LightPath installed;
    installed.lanes = {
        lane("HT", 9, {filter("HFT 488", bandOf("HFT", {}, {}, {}, 488))}),
        lane("EF1", 0,
             {filter("BP 500-550", pass(500, 550)), filter("LP 525", bandOf("LP", 525, {}, 1000, {})),
              filter("None", Band()), filter("Unknown", Band())})};
    const Dye even = evenDye(510, 540);
    FitResult result = fit(installed, {}, even, std::nullopt);
    QCOMPARE(result.paths.size(), size_t(2)); // the empty position and the filter without values left out
    QCOMPARE(result.withoutValues, QStringList{"Unknown"});
    QCOMPARE(pathThrough(result, "BP 500-550")->emitted, 1.0);
    QCOMPARE(pathThrough(result, "LP 525")->emitted, 0.5);
    QCOMPARE(result.describe(result.paths.front()), QString("HFT 488 (HT 1) > BP 500-550 (EF1 1)"));
    QCOMPARE(*result.paths.front().line, 488.0);
    QVERIFY(result.paths.front().reaches);
    QCOMPARE(result.paths.front().excited, 1.0);
    QCOMPARE(result.positionsOf(result.paths.back()),
             (std::vector<std::pair<QString, QString>>{{"HT", "1"}, {"EF1", "2"}}));
    // A laser the splitter does not reflect never reaches the sample.
    result = fit(installed, {}, even, 561);
    QVERIFY(!result.paths.front().reaches);
    QCOMPARE(result.paths.front().score, 0.0);

    // A measured splitter reflecting 90 % at 488 nm and passing 80 % above; a secondary splitter's
    // two sides share the dye's emission at its 525 nm edge.
    installed.lanes.insert(installed.lanes.begin() + 1,
                           lane("NT1", 10, {filter("NFT 525", bandOf("NFT", {}, {}, {}, 525))}));
    const QHash<QString, Curve> measured{{"HFT 488", Curve{{480, 487, 489, 500}, {0.8, 0.1, 0.1, 0.8}}}};
    result = fit(installed, measured, even, 488);
    QCOMPARE(result.paths.size(), size_t(4));
    QVERIFY(result.elements[size_t(result.paths.front().main)].measured());
    QVERIFY(qAbs(result.paths.front().excited - 1.0) < 1e-9);
    QVERIFY(result.paths.front().reaches);
    QVERIFY(qAbs(pathThrough(result, "BP 500-550", "NFT 525", false)->emitted - 0.4) < 1e-6);
    QVERIFY(qAbs(pathThrough(result, "BP 500-550", "NFT 525", true)->emitted - 0.4) < 1e-6);
    QVERIFY(qAbs(pathThrough(result, "LP 525", "NFT 525", true)->emitted) < 1e-6);

    // A measured main splitter keeps the lines its name gives: Cy5 is excited at 640 nm.
    LightPath far;
    far.lanes = {lane("HT", 9, {filter("HFT 488/640", Band())}),
                 lane("EF1", 0, {filter("BP 660-720", pass(660, 720))})};
    const Curve reflecting{{400, 630, 635, 645, 650, 700}, {0.9, 0.9, 0.05, 0.05, 0.9, 0.9}};
    result = fit(far, {{"HFT 488/640", reflecting}}, *dyeNamed(builtInDyes(), "Cy5"), std::nullopt);
    QCOMPARE(*result.paths.front().line, 640.0);
    QVERIFY(result.paths.front().reaches && result.paths.front().score > 0.5);

    // A cube with a measured curve is a path of its own, ranked after the scanning paths.
    installed.lanes.push_back(lane("FW1", 5, {filter("FSet 38 GFP HE", Band())}));
    result = fit(installed, {{"FSet 38 GFP HE", Curve{{400, 524.5, 525.5, 700}, {0, 0, 1, 1}}}}, even, 488);
    const auto cube =
        std::find_if(result.paths.begin(), result.paths.end(), [](const FitPath& p) { return p.cube >= 0; });
    QVERIFY(cube != result.paths.end());
    QCOMPARE(cube->emitted, 0.5);
    QVERIFY(std::all_of(cube, result.paths.end(), [](const FitPath& p) { return p.cube >= 0; }));
    QCOMPARE(result.describe(*cube), QString("FSet 38 GFP HE (FW1 1)"));
}

void TestCurves::sharesStayInRangeAndGrowWithTheBand() {
    QRandomGenerator random(39);
    for (int round = 0; round < 200; ++round) {
        const double from = 380 + random.bounded(400), width = 1 + random.bounded(150);
        const double line = 400 + random.bounded(300);
        const Dye dye = standardDye("random", 350 + random.bounded(400), 400 + random.bounded(400));
        const auto shareThrough = [&](double lower, double upper) {
            LightPath installed;
            installed.lanes = {lane("HT", 9, {filter("HFT", bandOf("HFT", {}, {}, {}, line))}),
                               lane("NT1", 10, {filter("NFT", bandOf("NFT", {}, {}, {}, line + 20))}),
                               lane("EF1", 0, {filter("BP", pass(lower, upper))})};
            const FitResult result = fit(installed, {}, dye, std::nullopt);
            double sum = 0;
            for (const FitPath& path : result.paths) {
                if (path.emitted < 0 || path.emitted > 1 || path.score < 0 || path.score > 1)
                    return -1.0;
                sum += path.emitted;
            }
            return sum; // both sides of the secondary splitter: never more than all
        };
        const double narrow = shareThrough(from, from + width);
        const double wide = shareThrough(from - random.bounded(30.0), from + width + random.bounded(30.0));
        QVERIFY2(narrow >= 0 && wide <= 1 + 1e-6, qPrintable(QString("round %1 out of range").arg(round)));
        QVERIFY2(wide >= narrow - 1e-9,
                 qPrintable(QString("round %1: %2 fell to %3").arg(round).arg(narrow).arg(wide)));
    }
}

QTEST_GUILESS_MAIN(TestCurves)
#include "test_curves.moc"
