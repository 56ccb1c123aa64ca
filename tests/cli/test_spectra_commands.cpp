#include "support/filterctl_run.h"
#include "support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// filterctl's spectra and fit commands on real installations.
class TestSpectraCommands : public QObject {
    Q_OBJECT
private slots:
    void fitsADyeToTheInstalledPositions();
};

using namespace testing;

void TestSpectraCommands::fitsADyeToTheInstalledPositions() {
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

QTEST_GUILESS_MAIN(TestSpectraCommands)
#include "test_spectra_commands.moc"
