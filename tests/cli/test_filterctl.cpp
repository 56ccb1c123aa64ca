#include "support/test_support.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QtTest>

// filterctl as an engineer runs it: the real executable on real databases and workbooks.
class TestFilterctl : public QObject {
    Q_OBJECT
private slots:
    void checksAnInstallation();
    void showsAndExportsThePlacement();
    void appliesAPackageOnlyWhenAsked();
    void carriesAConfigurationToAnotherSystem();
    void refusesWrongUsage();
};

using namespace testing;

namespace {

struct Run {
    int status;
    QString out;
    QString err;
};

Run filterctl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(FILTERCTL), arguments);
    if (!process.waitForFinished(30000))
        qFatal("filterctl did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray digest(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// The wheels a package carries, as "ID|position|filter" rows.
QStringList packageWheels(const QString& path) {
    QStringList rows;
    for (const QString& row : placementRows(path))
        if (!row.startsWith("FW"))
            rows << row;
    return rows;
}

} // namespace

void TestFilterctl::checksAnInstallation() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    Run clean = filterctl({"check"}); // the configured database
    QCOMPARE(clean.status, 0);
    QVERIFY2(clean.out.startsWith("no findings"), qPrintable(clean.out));

    const QString damaged = sandbox.path("damaged.sqlite");
    createDatabase(
        damaged,
        demoStatements() << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'Ghost' WHERE "
                            "[ID Available] = 'EF2' AND [Position] = 3"
                         << "INSERT INTO [Available FilterSets] VALUES ('EFX', 'no number', NULL)"
                         << "INSERT INTO [Favourite Filters] VALUES ('Gone BP', 'BP')"
                         << "UPDATE [Available FilterPlacement] SET [Position] = 2 WHERE [ID Available] = "
                            "'EF1' AND [Position] = 3");
    const QByteArray before = digest(damaged);
    Run found = filterctl({"--db", damaged, "check"});
    QCOMPARE(found.status, 1);
    for (const char* named :
         {"EFX: the ID has no wheel number", "EF1 position 2: the position is repeated",
          "EF2 position 3: 'Ghost' is not in 'Potential Filters'", "Gone BP: the favourite"})
        QVERIFY2(found.out.contains(named), qPrintable(named + ("\n" + found.out)));
    QCOMPARE(digest(damaged), before); // reading never writes
    Run json = filterctl({"--db", damaged, "check", "--json"});
    QCOMPARE(json.status, 1);
    QVERIFY(json.out.contains("\"problem\": true"));
}

void TestFilterctl::showsAndExportsThePlacement() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    Run show = filterctl({"--db", demo, "show", "EF1"});
    QCOMPARE(show.status, 0);
    QVERIFY(show.out.startsWith("wheel EF1 (button 0)\n  1  None\n  2  BP 505-530  000000-1104-321\n"));
    QVERIFY(!show.out.contains("wheel EF2"));

    Run mm = filterctl({"--db", demo, "export", "--format", "mm", "--device", "EF1=Emission Wheel 1"});
    QCOMPARE(mm.status, 0);
    QVERIFY(mm.out.startsWith("Label,Emission Wheel 1,0,None\nLabel,Emission Wheel 1,1,BP 505-530\n"));
    QVERIFY(mm.out.contains("\nLabel,EF2,0,"));
    const QString csv = sandbox.path("placement.csv");
    QCOMPARE(filterctl({"--db", demo, "export", "--format", "csv", "-o", csv}).status, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readLine(), QByteArray("Button,ID Available,Position,ID Potential,Veltrano Code No\n"));
    QCOMPARE(file.readLine(), QByteArray("0,EF1,1,None,\n"));
}

void TestFilterctl::appliesAPackageOnlyWhenAsked() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    Run several = filterctl({"--db", demo, "apply", workbook});
    QCOMPARE(several.status, 2); // the demo workbook holds more than one package
    QVERIFY(several.err.contains("--package"));

    const QByteArray before = digest(demo);
    const QStringList rows = placementRows(demo);
    Run dry = filterctl({"--db", demo, "apply", "--dry-run", "--package", "FITC - TRITC", workbook});
    QCOMPARE(dry.status, 0);
    QVERIFY2(dry.out.contains(" -> ") && dry.out.contains("positions change"), qPrintable(dry.out));
    QCOMPARE(digest(demo), before);

    Run applied = filterctl({"--db", demo, "apply", "--package", "FITC - TRITC", workbook});
    QCOMPARE(applied.status, 0);
    QCOMPARE(applied.out, dry.out);
    // Exactly the announced positions changed.
    const QStringList after = placementRows(demo);
    QStringList changed;
    for (int i = 0; i < rows.size(); ++i)
        if (rows[i] != after[i])
            changed << after[i];
    QCOMPARE(changed.size(), dry.out.count(" -> "));
    QVERIFY(filterctl({"--db", demo, "apply", "--package", "FITC - TRITC", workbook})
                .out.startsWith("0 positions"));
}

void TestFilterctl::carriesAConfigurationToAnotherSystem() {
    Sandbox sandbox;
    const QString source = sandbox.install(
        demoStatements()
            << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 650' WHERE [ID Available] "
               "= 'EF2' AND [Position] = 1",
        "source.sqlite");
    const QString target = sandbox.path("target.sqlite");
    createDatabase(target, demoStatements());
    const QString package = sandbox.path("captured.xlsx");
    Run exported = filterctl({"--db", source, "export", "--format", "package", "-o", package});
    QCOMPARE(exported.status, 0);
    QVERIFY(exported.err.contains("FW-1")); // the cube turrets have no place in a package

    // A strict, independent reader accepts the workbook.
    QProcess openpyxl;
    openpyxl.start("/usr/bin/python3",
                   {"-c",
                    "import openpyxl, sys; print(openpyxl.load_workbook(sys.argv[1]).active"
                    "['A12'].value)",
                    package});
    QVERIFY(openpyxl.waitForFinished(30000));
    QCOMPARE(openpyxl.readAllStandardOutput().trimmed(), QByteArray("1. None"));

    Run applied = filterctl({"--db", target, "apply", package});
    QCOMPARE(applied.status, 0);
    QVERIFY(applied.out.contains("EF2 1: None -> LP 650"));
    QCOMPARE(packageWheels(target), packageWheels(source));

    // A filter the other catalogue lacks is refused before anything is written.
    createDatabase(sandbox.path("bare.sqlite"),
                   demoStatements() << "DELETE FROM [Potential Filters] WHERE [ID Potential] = 'LP 650'");
    const QByteArray bare = digest(sandbox.path("bare.sqlite"));
    Run refused = filterctl({"--db", sandbox.path("bare.sqlite"), "apply", package});
    QCOMPARE(refused.status, 1);
    QVERIFY(refused.err.contains("'LP 650'"));
    QCOMPARE(digest(sandbox.path("bare.sqlite")), bare);
}

void TestFilterctl::refusesWrongUsage() {
    Sandbox sandbox; // nothing configured
    for (const QStringList& wrong : {QStringList{}, QStringList{"frobnicate"}, QStringList{"check"},
                                     QStringList{"--db", sandbox.path("gone.sqlite"), "show"},
                                     QStringList{"--db", "x", "export", "--format", "pdf"}}) {
        const Run run = filterctl(wrong);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith("filterctl: ") && run.err.count('\n') == 1, qPrintable(run.err));
    }
    QCOMPARE(filterctl({"--version"}).out, QString("filterctl 1.0\n"));
}

QTEST_GUILESS_MAIN(TestFilterctl)
#include "test_filterctl.moc"
