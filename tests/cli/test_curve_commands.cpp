#include "support/filterctl_run.h"
#include "support/test_support.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// filterctl's spectra and fit commands on real installations.
class TestCurveCommands : public QObject {
    Q_OBJECT
private slots:
    void fitsADyeToTheInstalledPositions();
    void keepsMeasuredCurvesBesideTheInstallation();
};

using namespace testing;

void TestCurveCommands::fitsADyeToTheInstalledPositions() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QByteArray before = digest(demo);
    Run egfp = inProcess({"--db", demo, "fit", "--dye", "gfp", "--top", "3"});
    QCOMPARE(egfp.status, 0);
    const QStringList lines = egfp.out.split('\n');
    QVERIFY2(lines[0].startsWith("EGFP (excitation 488 nm, emission 507 nm): "), qPrintable(egfp.out));
    QCOMPARE(lines[1], QString("rank  emission  line     reaches  excites    score  path"));
    QVERIFY2(lines[2].startsWith("   1    94.3 %  488 nm   yes      100.0 %   94.3 %  HFT 405/488 (HT 1) > "),
             qPrintable(egfp.out));
    QVERIFY(lines[5].startsWith("Left out, with neither wavelengths nor a measured spectrum: FSet 01 DAPI"));
    QCOMPARE(digest(demo), before);

    // The same ranking as JSON, with the positions to select.
    Run json = inProcess({"--db", demo, "fit", "--ex", "488", "--em", "507", "--laser", "561", "--json"});
    QCOMPARE(json.status, 0);
    const QJsonObject fit = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(fit["laser"].toDouble(), 561.0);
    const QJsonArray paths = fit["paths"].toArray();
    QCOMPARE(paths.size(), 10);
    const QJsonObject best = paths[0].toObject();
    QCOMPARE(best["rank"].toInt(), 1);
    QVERIFY(best["reaches"].toBool()); // a splitter reflecting 561 nm
    QVERIFY(best["positions"].toArray()[0].toObject()["filter"].toString().contains("561"));
    for (int i = 1; i < paths.size(); ++i)
        QVERIFY(paths[i - 1].toObject()["score"].toDouble() >=
                paths[i].toObject()["score"].toDouble() - 0.001);

    // Wrong calls are refused with what is wanted.
    const std::pair<QStringList, QString> wrong[] = {
        {{"fit"}, "fit needs one of --dye NAME, --dye-file FILE or --ex NM --em NM"},
        {{"fit", "--dye", "EGFP", "--ex", "488"}, "fit needs one of"},
        {{"fit", "--ex", "488"}, "--ex NM needs --em NM too"},
        {{"fit", "--dye", "Alexa"}, "no dye is named 'Alexa'; did you mean: Alexa Fluor 350"},
        {{"fit", "--dye", "EGFP", "--laser", "blue"}, "--laser takes a wavelength in nm, not 'blue'"},
        {{"fit", "--dye-file", sandbox.path("none.csv")}, "none.csv' cannot be read"},
    };
    for (const auto& [arguments, message] : wrong) {
        Run run = inProcess(QStringList{"--db", demo} + arguments);
        QVERIFY2(run.status != 0 && run.err.contains(message),
                 qPrintable(arguments.join(' ') + ": " + run.err));
    }
}

namespace {

// A filter maker's file: a header, comments, a tab-separated table in percent.
QString vendorFile(const QString& path, double from, double to) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("# Measured at 0 degrees\nWavelength (nm)\tTransmission (%)\n");
    for (int nm = 400; nm <= 700; ++nm)
        file.write(QByteArray::number(nm) + '\t' + (nm >= from && nm <= to ? "93.5" : "0.01") + '\n');
    return path;
}

int historyCount(const QString& db) {
    return int(inProcess({"--db", db, "history"}).out.count('\n'));
}

} // namespace

void TestCurveCommands::keepsMeasuredCurvesBesideTheInstallation() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString side = sandbox.path("System_Configurations.spectra.sqlite");
    const QByteArray installation = digest(demo);
    const QString bp = vendorFile(sandbox.path("bp525.txt"), 500, 550);

    // Bad files and unknown filters store nothing, and make no file.
    QFile bad(sandbox.path("bad.txt"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("nm\tT\n500\t0.5\n501\tNaN\n");
    bad.close();
    Run refused = inProcess({"--db", demo, "spectra", "import", "BP 505-530", bad.fileName()});
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.err.contains("bad.txt', line 3: 'NaN' is not a finite number. Nothing was stored."),
             qPrintable(refused.err));
    Run ghost = inProcess({"--db", demo, "spectra", "import", "Ghost", bp});
    QCOMPARE(ghost.status, 1);
    QVERIFY(ghost.err.contains("'Ghost' is not in 'Potential Filters': nothing was stored."));
    QVERIFY(!QFileInfo::exists(side));
    QCOMPARE(inProcess({"--db", demo, "spectra", "list"}).out, QString("no measured spectra\n"));

    Run stored = inProcess({"--db", demo, "spectra", "import", "BP 505-530", bp});
    QCOMPARE(stored.status, 0);
    QVERIFY2(stored.out.startsWith(
                 "stored the measured spectrum of 'BP 505-530': 301 points, 400 to 700 nm, from"),
             qPrintable(stored.out));
    QVERIFY(QFileInfo::exists(side));
    QCOMPARE(inProcess({"--db", demo, "spectra", "import", "BP 505-530", bp}).out.section(':', 0, 0),
             QString("unchanged"));
    QCOMPARE(historyCount(demo), 1); // the same curve again writes nothing
    QVERIFY(
        inProcess({"--db", demo, "spectra", "list"}).out.startsWith("BP 505-530  301 points, 400 to 700 nm"));
    QVERIFY(
        inProcess({"--db", demo, "history"}).out.contains("added 'BP 505-530' to 'Transmission Spectra'"));

    // A curve another program put in the side file is read as a file is: a bad one is named and
    // passed over, the others still read.
    createDatabase(side,
                   {"INSERT INTO [Transmission Spectra] VALUES ('LP 560', '400 0.5\n399 0.6\n', 'hand', "
                    "NULL, '')"});
    Run listed = inProcess({"--db", demo, "spectra", "list"});
    QVERIFY(listed.out.startsWith("BP 505-530  301 points") && !listed.out.contains("LP 560"));
    QVERIFY2(listed.err.contains("the curve of 'LP 560'', line 2: the wavelength 399 nm does not increase"),
             qPrintable(listed.err));
    QCOMPARE(inProcess({"--db", demo, "fit", "--dye", "EGFP"}).status, 0);
    createDatabase(side, {"DELETE FROM [Transmission Spectra] WHERE [ID Potential] = 'LP 560'"});

    // The fit and the drawing take the measured curve.
    Run fit = inProcess({"--db", demo, "fit", "--dye", "EGFP", "--json", "--top", "2000"});
    bool measured = false;
    for (const QJsonValue path : QJsonDocument::fromJson(fit.out.toUtf8())["paths"].toArray())
        for (const QJsonValue position : path["positions"].toArray())
            measured = measured || (position["filter"] == "BP 505-530" && position["measured"].toBool());
    QVERIFY(measured);

    // Another curve replaces it, and undo puts the first back.
    const QString wider = vendorFile(sandbox.path("bp550.txt"), 500, 560);
    QVERIFY(inProcess({"--db", demo, "spectra", "import", "BP 505-530", wider}).out.startsWith("replaced"));
    QVERIFY(inProcess({"--db", demo, "spectra", "list"}).out.contains("bp550.txt"));
    QCOMPARE(inProcess({"--db", demo, "undo", "2"}).status, 0);
    QVERIFY(inProcess({"--db", demo, "spectra", "list"}).out.contains("bp525.txt"));

    // Undone and redone through the history; taken away, and refused a second time.
    QCOMPARE(inProcess({"--db", demo, "undo", "1"}).status, 0);
    QCOMPARE(inProcess({"--db", demo, "spectra", "list"}).out, QString("no measured spectra\n"));
    QCOMPARE(inProcess({"--db", demo, "undo", "4"}).status, 0);
    QVERIFY(inProcess({"--db", demo, "spectra", "list"}).out.startsWith("BP 505-530  301 points"));
    QCOMPARE(inProcess({"--db", demo, "spectra", "remove", "BP 505-530"}).status, 0);
    Run again = inProcess({"--db", demo, "spectra", "remove", "BP 505-530"});
    QVERIFY(again.status != 0 && again.err.contains("'BP 505-530' has no measured spectrum."));
    QCOMPARE(historyCount(demo), 6);
    // Imported again after its removal: undoing the removal would repeat the filter's curve.
    QCOMPARE(inProcess({"--db", demo, "spectra", "import", "BP 505-530", wider}).status, 0);
    Run conflict = inProcess({"--db", demo, "undo", "6"});
    QVERIFY2(conflict.status == 1 && conflict.err.contains("A later change touched BP 505-530"),
             qPrintable(conflict.err));
    QCOMPARE(inProcess({"--db", demo, "undo", "--force", "6"}).status, 0); // forced: the removed one back
    QVERIFY(inProcess({"--db", demo, "spectra", "list"}).out.contains("bp525.txt"));
    QCOMPARE(digest(demo), installation); // never a row of the installation's own tables

    // An installation in WAL mode keeps the record of its side file's write.
    const QString wal = sandbox.path("wal.sqlite");
    createDatabase(wal, demoStatements() << "PRAGMA journal_mode = WAL");
    QCOMPARE(inProcess({"--db", wal, "spectra", "import", "LP 560", bp}).status, 0);
    QCOMPARE(historyCount(wal), 1);
    QCOMPARE(inProcess({"--db", wal, "undo", "1"}).status, 0);
    QCOMPARE(inProcess({"--db", wal, "spectra", "list"}).out, QString("no measured spectra\n"));
}

QTEST_GUILESS_MAIN(TestCurveCommands)
#include "test_curve_commands.moc"
