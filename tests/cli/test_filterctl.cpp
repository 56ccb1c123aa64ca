#include "support/filterctl_run.h"
#include "support/test_support.h"

#include "cli/filterctl.h"
#include "cli/registry.h"
#include "core/db/database.h"
#include "core/exchange/output_file.h"
#include "core/history/history_file.h"
#include "core/inspect/snapshot.h"
#include "core/vocabulary/vocabulary.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <atomic>
#include <thread>
#include <unistd.h>

// filterctl as an engineer runs it, on real databases and workbooks: its commands in process, and
// the real executable where the process itself matters.
class TestFilterctl : public QObject {
    Q_OBJECT
private slots:
    void checksAnInstallation();
    void showsAndExportsThePlacement();
    void appliesAPackageOnlyWhenAsked();
    void carriesAConfigurationToAnotherSystem();
    void refusesWrongUsage();
    void refusesWhatItCannotMean();
    void namesRowsByTheirPosition();
    void undoesAnApplyFromItsHistory();
    void comparesInstallationsAndSnapshots();
    void exportsWhatMicroManagerLoads();
    void exportsOmeThatTheSchemaAccepts();
    void waitsForAnotherProgramsShortWrite();
    void namesAnInterruptedWrite();
    void writesOnlyAReviewedPlan();
    void convertsAnAccessFile();
    void helpAndManualComeFromTheRegistry();
    void neverReplacesWhatItReads();
    void readsAPlanFileAsForeignInput();
    void keepsTheFleetsRecordInGit();
};

using namespace testing;

namespace {

Run filterctlProcess(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(FILTERCTL), arguments);
    if (!process.waitForFinished(30000))
        qFatal("filterctl did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
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
    Run clean = inProcess({"check"}); // the configured database
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
    Run found = inProcess({"--db", damaged, "check"});
    QCOMPARE(found.status, 1);
    for (const char* named :
         {"EFX: the ID has no wheel number",
          "EF1 position 3: the windows show the row with \"Position\" 2 at position 3, which repeats a "
          "position",
          "EF2 position 3: 'Ghost' is not in 'Potential Filters'", "Gone BP: the favourite"})
        QVERIFY2(found.out.contains(named), qPrintable(named + ("\n" + found.out)));
    QCOMPARE(digest(damaged), before); // reading never writes
    Run json = inProcess({"--db", damaged, "check", "--json"});
    QCOMPARE(json.status, 1);
    QVERIFY(json.out.contains("\"problem\": true"));

    // A page the load never reads, broken: the engine's own check, run beside the others, comes first.
    const QString broken = sandbox.path("broken.sqlite");
    createDatabase(broken, demoStatements() << "UPDATE [Available FilterPlacement] SET [ID Potential] = "
                                               "'Ghost' WHERE [ID Available] = 'EF2' AND [Position] = 3"
                                            << "CREATE TABLE [Notes] ([Text] TEXT)"
                                            << "INSERT INTO [Notes] WITH RECURSIVE n(i) AS (SELECT 1 UNION "
                                               "ALL SELECT i + 1 FROM n WHERE i < 2000) SELECT "
                                               "printf('note %08d', i) FROM n");
    QFile pages(broken);
    QVERIFY(pages.open(QIODevice::ReadWrite) && pages.size() % 4096 == 0);
    QVERIFY(pages.seek(pages.size() - 4096) && pages.write("\xff", 1) == 1); // the last page's kind
    pages.close();
    Run engine = inProcess({"--db", broken, "check"});
    QCOMPARE(engine.status, 1);
    QVERIFY2(engine.out.startsWith("problem: the engine's integrity check says: "), qPrintable(engine.out));
    QVERIFY2(engine.out.contains("\nproblem: \"Available FilterPlacement\", EF2 position 3: 'Ghost'"),
             qPrintable(engine.out));
}

void TestFilterctl::showsAndExportsThePlacement() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    Run show = inProcess({"--db", demo, "show", "EF1"});
    QCOMPARE(show.status, 0);
    QVERIFY2(
        show.out.section('\n', 1).startsWith("wheel EF1: emission filter wheel 1 (Emission Filters)\nEF1 1  "
                                             "None\nEF1 2  BP 505-530  000000-1104-321\n"),
        qPrintable(show.out));
    QVERIFY(!show.out.contains("wheel EF2"));

    Run mm = inProcess({"--db", demo, "export", "--format", "mm", "--device", "EF1=Emission Wheel 1"});
    QCOMPARE(mm.status, 0);
    QVERIFY(mm.out.startsWith("Label,Emission Wheel 1,0,None\nLabel,Emission Wheel 1,1,BP 505-530\n"));
    QVERIFY(mm.out.contains("\nLabel,EF2,0,"));
    const QString csv = sandbox.path("placement.csv");
    QCOMPARE(inProcess({"--db", demo, "export", "--format", "csv", "-o", csv}).status, 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readLine(), QByteArray("Button,ID Available,Position,ID Potential,Veltrano Code No\n"));
    QCOMPARE(file.readLine(), QByteArray("0,EF1,1,None,\n"));

    // The snapshot's JSON, written from the engine's bytes, reads back as every name was.
    const QString hostile = sandbox.path("hostile.sqlite");
    createDatabase(hostile, demoStatements()
                                << "INSERT INTO [Potential Filters] ([ID Potential], [Type], [Summary]) "
                                   "VALUES ('Q\"t \\ b' || char(1) || char(31), 'BP', 'Ünï ' || "
                                   "char(9)), (CAST(X'41FF42' AS TEXT), 'LP', NULL)");
    Run json = inProcess({"--db", hostile, "show", "--format", "json"});
    QStringList names;
    for (const QJsonValue row : QJsonDocument::fromJson(json.out.toUtf8())["catalogue"].toArray())
        names << row[0].toString() + "|" + row[2].toString();
    QVERIFY2(names.contains(QString("Q\"t \\ b\x01\x1f|Ünï \t")), qPrintable(json.out.right(400)));
    QVERIFY(names.contains(QString("A\uFFFDB|")));
    // The program writes the same bytes to its standard output as to the text a test reads.
    const Run launched = filterctlProcess({"--db", hostile, "show", "--format", "json"});
    QCOMPARE(launched.status, 0);
    QCOMPARE(QString(launched.out).replace("\r\n", "\n"), json.out);
    // A standard output that takes nothing: the snapshot is reported cut short, not a success.
    if (QFile::exists("/dev/full")) {
        QProcess full;
        full.setStandardOutputFile("/dev/full");
        full.start(QStringLiteral(FILTERCTL), {"--db", hostile, "show", "--format", "json"});
        QVERIFY(full.waitForFinished(30000));
        QCOMPARE(full.exitCode(), 2);
        QVERIFY(full.readAllStandardError().contains("the snapshot could not be written"));
    }
}

void TestFilterctl::appliesAPackageOnlyWhenAsked() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    Run several = inProcess({"--db", demo, "apply", workbook});
    QCOMPARE(several.status, 2); // the demo workbook holds more than one package
    QVERIFY(several.err.contains("--package"));

    const QByteArray before = digest(demo);
    const QStringList rows = placementRows(demo);
    Run dry = inProcess({"--db", demo, "apply", "--dry-run", "--package", "FITC - TRITC", workbook});
    QCOMPARE(dry.status, 0);
    QVERIFY2(dry.out.startsWith("database: " + QDir::toNativeSeparators(demo) + "\n") &&
                 dry.out.contains(" -> ") && dry.out.endsWith("positions would change\n"),
             qPrintable(dry.out));
    QCOMPARE(digest(demo), before);

    Run applied = inProcess({"--db", demo, "apply", "--package", "FITC - TRITC", workbook});
    QCOMPARE(applied.status, 0);
    QCOMPARE(applied.out, QString(dry.out).replace("would change", "changed"));
    // Exactly the announced positions changed.
    const QStringList after = placementRows(demo);
    QStringList changed;
    for (int i = 0; i < rows.size(); ++i)
        if (rows[i] != after[i])
            changed << after[i];
    QCOMPARE(changed.size(), dry.out.count(" -> "));
    QVERIFY(inProcess({"--db", demo, "apply", "--package", "FITC - TRITC", workbook})
                .out.endsWith("\n0 positions changed\n"));
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
    Run exported = inProcess({"--db", source, "export", "--format", "package", "-o", package});
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

    Run applied = inProcess({"--db", target, "apply", package});
    QCOMPARE(applied.status, 0);
    QVERIFY(applied.out.contains("EF2 1: None -> LP 650"));
    QCOMPARE(packageWheels(target), packageWheels(source));

    // A filter the other catalogue lacks is refused before anything is written.
    createDatabase(sandbox.path("bare.sqlite"),
                   demoStatements() << "DELETE FROM [Potential Filters] WHERE [ID Potential] = 'LP 650'");
    const QByteArray bare = digest(sandbox.path("bare.sqlite"));
    Run refused = inProcess({"--db", sandbox.path("bare.sqlite"), "apply", package});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("LP 650"), qPrintable(refused.err));
    QCOMPARE(digest(sandbox.path("bare.sqlite")), bare);
}

void TestFilterctl::refusesWrongUsage() {
    Sandbox sandbox; // nothing configured
    for (const QStringList& wrong :
         {QStringList{}, QStringList{"frobnicate"}, QStringList{"check"},
          QStringList{"--db", sandbox.path("gone.sqlite"), "show"},
          QStringList{"--db", "x", "export", "--format", "pdf"}, QStringList{"--db", "x", "diff", "", "x"}}) {
        const Run run = inProcess(wrong);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith("filterctl: ") && run.err.count('\n') == 1, qPrintable(run.err));
    }
    // Said in the words the windows use for it.
    QVERIFY(inProcess({"check"}).err.contains(vocabulary::noDatabaseConfigured()));
    QCOMPARE(filterctlProcess({"--version"}).out, QString("filterctl 1.0\n"));
}

void TestFilterctl::refusesWhatItCannotMean() {
    Sandbox sandbox;
    const QString configured = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    const QByteArray before = digest(configured);
    // An unset variable in a script names no database: the configured one is never written.
    const Run empty = filterctlProcess({"--db", "", "apply", "--package", "FITC - TRITC", workbook});
    QCOMPARE(empty.status, 2);
    QVERIFY2(empty.err == "filterctl: --db needs a file name\n", qPrintable(empty.err));
    QCOMPARE(digest(configured), before);

    const QList<QStringList> wrong{
        {"show", "EFX"},
        {"export", "--format", "mm", "--device", "EFX=Emission"},
        {"apply", "--dry-run", "--package", "FITC - TRITC", "--wheel", "FW9", workbook},
        {"show", "--json"},
        {"check", "--dry-run"},
        {"export", "--format", "csv", "extra"},
    };
    for (const QStringList& arguments : wrong) {
        const Run run = inProcess(arguments);
        QVERIFY2(run.status == 2 && run.err.startsWith("filterctl: ") && run.err.count('\n') == 1,
                 qPrintable(arguments.join(' ') + ": " + run.err));
    }
    QVERIFY(inProcess({"show", "EFX"}).err.contains("'EFX'"));
    const Run noWheel = inProcess({"history", "--wheel", "bogus"});
    QVERIFY2(noWheel.status == 2 && noWheel.err.contains("'bogus'"), qPrintable(noWheel.err));
    // A drawing run by a service with no session folder says nothing on standard error.
    QProcess plot;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.remove("QT_QPA_PLATFORM");
    plot.setProcessEnvironment(environment);
    plot.start(FILTERCTL, {"plot", "-o", sandbox.path("plot.svg")});
    QVERIFY(plot.waitForFinished(30000));
    QCOMPARE(plot.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(plot.readAllStandardError()), QString());
    QCOMPARE(digest(configured), before);

    // Another program's lock has its own status, after the busy wait.
    Database other;
    QVERIFY(other.open(configured, nullptr));
    QVERIFY(other.exec("BEGIN EXCLUSIVE", QVariantList(), nullptr));
    const Run locked = inProcess({"check"});
    QCOMPARE(locked.status, int(filterctl::Locked));
    QVERIFY2(locked.err.contains("in use by another program") && locked.err.count('\n') == 1,
             qPrintable(locked.err));
    other.rollback();
}

void TestFilterctl::namesRowsByTheirPosition() {
    // EF1's second row deleted and inserted again, EF2's fifth row gone.
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString moved = sandbox.path("moved.sqlite");
    createDatabase(moved, demoStatements()
                              << "DELETE FROM [Available FilterPlacement] WHERE [ID Available] = 'EF1' AND "
                                 "[Position] = 2"
                              << "INSERT INTO [Available FilterPlacement] VALUES ('EF1', 2, 'BP 505-530')"
                              << "DELETE FROM [Available FilterPlacement] WHERE [ID Available] = 'EF2' AND "
                                 "[Position] = 5");
    const Run shown = inProcess({"--db", moved, "show", "EF1"});
    QCOMPARE(shown.status, 0);
    QVERIFY2(shown.out.contains("\nEF1 1  None\nEF1 3  ") &&
                 shown.out.endsWith("\nEF1 2  BP 505-530  000000-1104-321\n"),
             qPrintable(shown.out));
    // A ninth row of a full wheel: never shown, never written; check names it and diff sees it.
    const QString ninth = sandbox.path("ninth.sqlite");
    createDatabase(ninth, demoStatements()
                              << "INSERT INTO [Available FilterPlacement] VALUES ('EF1', 2, 'Ghost')");
    const Run extra = inProcess({"--db", ninth, "check"});
    QVERIFY2(extra.status == 1 && extra.out.contains("EF1: the row 9 with \"Position\" 2 'Ghost' comes after "
                                                     "the wheel's eighth"),
             qPrintable(extra.out));
    // A snapshot larger than a snapshot may be is not read at all.
    QFile huge(sandbox.path("huge.json"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write("{\n") == 2 &&
            huge.resize(Snapshot::MaxFileBytes + 1));
    huge.close();
    const Run tooLarge = inProcess({"diff", huge.fileName(), demo});
    QVERIFY2(tooLarge.status == 2 && tooLarge.err.contains("larger than the 256 MiB a snapshot may be"),
             qPrintable(tooLarge.err));
    const Run differs = inProcess({"diff", demo, ninth});
    QVERIFY2(differs.status == 1 && differs.out.contains("EF1 row 9 (not shown): only in B"),
             qPrintable(differs.out));
    const Run checked = inProcess({"--db", moved, "check"});
    QCOMPARE(checked.status, 1);
    QVERIFY2(
        checked.out.contains("EF1 position 2: the windows show the row with \"Position\" 3 at position 2, "
                             "out of order"),
        qPrintable(checked.out));

    // The package of the copy carries each filter at its "Position": applied to the demo it changes nothing.
    const QString package = sandbox.path("moved.xlsx");
    QCOMPARE(inProcess({"--db", moved, "export", "--format", "package", "-o", package}).status, 0);
    const QByteArray before = digest(demo);
    const Run dry = inProcess({"--db", demo, "apply", "--dry-run", package});
    QCOMPARE(dry.status, 0);
    QVERIFY2(!dry.out.contains(" -> ") && dry.out.endsWith("\n0 positions would change\n"),
             qPrintable(dry.out));
    // The empty cell of EF2's fifth position stops the rows after it from lining up, and says so.
    QVERIFY2(dry.out.contains("not written: EF2 6 (the next row of the wheel is not its row"),
             qPrintable(dry.out));
    QCOMPARE(digest(demo), before);
}

void TestFilterctl::undoesAnApplyFromItsHistory() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    const QStringList before = placementRows(demo);
    QCOMPARE(inProcess({"apply", "--package", "FITC - TRITC", workbook}).status, 0);
    const Run history = inProcess({"history"});
    QCOMPARE(history.status, 0);
    const QString newest = history.out.section('\n', 0, 0);
    QVERIFY2(newest.contains("  filterctl  HT 1: HFT 405/488 -> HFT 488/543"), qPrintable(history.out));
    const QString id = newest.section(' ', 0, 0);
    const Run json = inProcess({"history", "--json", "--wheel", "EF1", "--since", "2000-01-01"});
    QVERIFY2(json.out.contains("\"program\": \"filterctl\""), qPrintable(json.out));
    QVERIFY(inProcess({"history", "--wheel", "EF4"}).out.isEmpty());

    const QByteArray applied = digest(demo);
    const Run dry = inProcess({"undo", "--dry-run", id});
    QCOMPARE(dry.status, 0);
    QVERIFY2(dry.out.contains("HT 1: HFT 488/543 -> HFT 405/488") && dry.out.contains("rows would change"),
             qPrintable(dry.out));
    QCOMPARE(digest(demo), applied);
    const Run undone = inProcess({"undo", id});
    QCOMPARE(undone.status, 0);
    QCOMPARE(undone.out, QString(dry.out).replace("would change", "changed"));
    QCOMPARE(placementRows(demo), before);
    QVERIFY(inProcess({"history"}).out.section('\n', 0, 0).endsWith(QString("(undoes %1)").arg(id)));
    // Undone already: the rows no longer hold what the record wrote.
    const Run again = inProcess({"undo", id});
    QCOMPARE(again.status, 1);
    QVERIFY2(again.err.contains("A later change touched"), qPrintable(again.err));
    QCOMPARE(inProcess({"undo", "x"}).status, 2);
}

namespace {

QString writeFile(const QString& path, const QString& text) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    return path;
}

// Micro-Manager's configuration reader: fields split at commas (empty ones skipped), a Label line
// exactly four fields, and a device keeping one position per label.
QString microManagerRefusal(const QString& text) {
    QHash<QString, QHash<QString, QString>> labels;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(',', Qt::SkipEmptyParts);
        if (fields.size() != 4 || fields[0] != "Label")
            return "not four fields: " + line;
        if (labels[fields[1]].contains(fields[3]))
            return "a label twice: " + line;
        labels[fields[1]].insert(fields[3], fields[2]);
    }
    return QString();
}

} // namespace

void TestFilterctl::comparesInstallationsAndSnapshots() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString twin = sandbox.path("twin.sqlite");
    createDatabase(twin, demoStatements());
    const QString changed = sandbox.path("changed.sqlite");
    createDatabase(changed,
                   demoStatements()
                       << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 560' WHERE "
                          "[ID Available] = 'EF1' AND [Position] = 2"
                       << "UPDATE [Potential Filters] SET [Veltrano Code No] = 'X-1' WHERE [ID Potential] = "
                          "'LP 650'"
                       << "INSERT INTO [Favourite Filters] VALUES ('KP 545', 'KP')");
    const Run differs = inProcess({"diff", demo, changed});
    QCOMPARE(differs.status, 1);
    QCOMPARE(differs.out, QString("EF1 2: BP 505-530 -> LP 560\n"
                                  "catalogue 'LP 650' Veltrano Code No: 000000-1208-431 -> X-1\n"
                                  "favourite 'KP 545': only in B (KP)\n"));
    QVERIFY(inProcess({"diff", "--json", demo, changed}).out.contains("\"where\": \"EF1 2\""));

    // A snapshot carries no path: two identical installations give identical snapshots.
    const Run snapshot = inProcess({"--db", demo, "show", "--format", "json"});
    QCOMPARE(snapshot.status, 0);
    QCOMPARE(inProcess({"--db", twin, "show", "--format", "json"}).out, snapshot.out);
    QVERIFY(!snapshot.out.contains(sandbox.path("")));
    const QString saved = writeFile(sandbox.path("demo.json"), snapshot.out);
    const Run same = inProcess({"diff", demo, saved});
    QVERIFY2(same.status == 0 && same.out.isEmpty(), qPrintable(same.out + same.err));
    QCOMPARE(inProcess({"diff", saved, changed}).out, differs.out);
    // Rows are read a line at a time, in the order written: a line out of order, or no row, is named.
    QStringList lines = snapshot.out.split('\n');
    const int first = int(lines.indexOf("  \"catalogue\": [")) + 1;
    QVERIFY(first > 0);
    std::swap(lines[first], lines[first + 1]);
    const Run unordered =
        inProcess({"diff", demo, writeFile(sandbox.path("swapped.json"), lines.join('\n'))});
    QVERIFY2(unordered.status == 2 &&
                 unordered.err.contains(QString("line %1 is out of the order").arg(first + 2)),
             qPrintable(unordered.err));
    std::swap(lines[first], lines[first + 1]);
    lines[first] = "    [\"broken\"";
    const Run broken = inProcess({"diff", writeFile(sandbox.path("broken.json"), lines.join('\n')), demo});
    QVERIFY2(broken.status == 2 &&
                 broken.err.contains(QString("line %1 is no row of a snapshot").arg(first + 1)),
             qPrintable(broken.err));
    QCOMPARE(inProcess({"diff", demo, sandbox.path("gone.sqlite")}).status, 2);
    // Both sides are read at once, but what fails is told for the first side that fails, alone.
    const QString headless = writeFile(sandbox.path("headless.json"), "{\n}\n");
    const Run headlessFirst = inProcess({"diff", headless, sandbox.path("gone.sqlite")});
    QVERIFY2(headlessFirst.status == 2 && headlessFirst.err.count('\n') == 1 &&
                 headlessFirst.err.contains("headless.json' cannot be read as a snapshot"),
             qPrintable(headlessFirst.err));
    const Run goneFirst = inProcess({"diff", sandbox.path("gone.sqlite"), headless});
    QVERIFY2(goneFirst.status == 2 && goneFirst.err.count('\n') == 1 && goneFirst.err.contains("gone.sqlite"),
             qPrintable(goneFirst.err));
    QVERIFY(inProcess({"--db", demo, "show"}).out.contains("\nEF1 2  BP 505-530  000000-1104-321\n"));

    // Package workbooks are the same byte for byte.
    QCOMPARE(inProcess({"--db", demo, "export", "--format", "package", "-o", sandbox.path("a.xlsx")}).status,
             0);
    QCOMPARE(inProcess({"--db", twin, "export", "--format", "package", "-o", sandbox.path("b.xlsx")}).status,
             0);
    QCOMPARE(digest(sandbox.path("a.xlsx")), digest(sandbox.path("b.xlsx")));

    // Many installations at once: a line each, the worst status.
    const Run many = inProcess({"check", demo, changed, sandbox.path("gone.sqlite")});
    QCOMPARE(many.status, 2);
    QVERIFY2(many.out.contains(QDir::toNativeSeparators(demo) + ": no findings\n") &&
                 many.out.contains("gone.sqlite: Could not find the database file"),
             qPrintable(many.out));
    QCOMPARE(inProcess({"check", "--json", demo, twin}).out.count("\"findings\""), 2);
}

void TestFilterctl::exportsWhatMicroManagerLoads() {
    Sandbox sandbox;
    const QString path = sandbox.install(
        demoStatements()
        << "UPDATE [Potential Filters] SET [ID Potential] = 'BP 505,530' WHERE [ID Potential] = 'BP 505-530'"
        << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'BP 505,530' WHERE [ID Potential] = "
           "'BP 505-530'"
        << "INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES ('LP two' || char(10) || "
           "'lines', 'LP')"
        << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP two' || char(10) || 'lines' WHERE "
           "[ID Available] = 'EF2' AND [Position] = 3"
        << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'None' WHERE [ID Available] = 'EF1' AND "
           "[Position] = 5");
    const Run refused = inProcess({"export", "--format", "mm"});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("'BP 505,530' (EF1 2)") && refused.err.contains("(EF2 3)") &&
                 refused.out.isEmpty(),
             qPrintable(refused.err));
    const Run replaced =
        inProcess({"export", "--format", "mm", "--replace", ";", "--device", "EF1=Emission 1"});
    QCOMPARE(replaced.status, 0);
    QCOMPARE(microManagerRefusal(replaced.out), QString());
    QVERIFY(replaced.out.contains("Label,Emission 1,1,BP 505;530\n"));
    QVERIFY(replaced.out.contains("Label,Emission 1,4,None (5)\n")); // one position per label
    for (const QStringList& wrong : {QStringList{"export", "--format", "mm", "--device", "EF1="},
                                     QStringList{"export", "--format", "mm", "--device", "EF1=Em,1"},
                                     QStringList{"export", "--format", "csv", "--replace", ";"}})
        QCOMPARE(inProcess(wrong).status, 2);
    // Two wheels never become one device.
    const QStringList mm{"export", "--format", "mm", "--replace", ";"};
    for (const QStringList& merged :
         {QStringList{"--device", "EF1=A", "--device", "EF2=A"}, QStringList{"--device", "EF1=EF2"},
          QStringList{"--device", "EF1=A", "--device", "EF1=B"}}) {
        const Run run = inProcess(mm + merged);
        QVERIFY2(run.status == 2 && run.out.isEmpty() && run.err.count('\n') == 1, qPrintable(run.err));
    }
    QVERIFY(
        inProcess(mm + QStringList{"--device", "EF1=EF2"}).err.contains("the device 'EF2' for EF1 and EF2"));
    // A package carries the names exactly or not at all: the line break is named, nothing written.
    const QString package = sandbox.path("lines.xlsx");
    const Run carried = inProcess({"export", "--format", "package", "-o", package});
    QCOMPARE(carried.status, 1);
    QVERIFY2(carried.err.contains("'LP two\\nlines' (EF2 3)") && carried.err.count('\n') == 1,
             qPrintable(carried.err));
    QVERIFY(!QFile::exists(package));
    // Every error line of a refusal stays one line, whatever the names hold.
    for (const QString& line : refused.err.split('\n', Qt::SkipEmptyParts))
        QVERIFY2(line.startsWith("filterctl: "), qPrintable(line));
}

void TestFilterctl::exportsOmeThatTheSchemaAccepts() {
    const QString schema = testing::referenceFile("ome/ome-2016-06.xsd");
    REQUIRE_REFERENCE(schema);
    Sandbox sandbox;
    const QStringList hostile =
        demoStatements() << "UPDATE [Potential Filters] SET [ID Potential] = 'BP <5&6> \"q\"', "
                            "[Lower Wavelength] = NULL WHERE [ID Potential] = 'BP 505-530'"
                         << "UPDATE [Available FilterPlacement] SET [ID Potential] = 'BP <5&6> \"q\"' WHERE "
                            "[ID Potential] = 'BP 505-530'";
    for (const QStringList& statements : {demoStatements(), fcsDemoStatements(), hostile}) {
        const QString path = sandbox.path(QString("ome%1.sqlite").arg(statements.size()));
        createDatabase(path, statements);
        const QString xml = sandbox.path("instrument.ome.xml");
        QCOMPARE(inProcess({"--db", path, "export", "--format", "ome", "-o", xml}).status, 0);
        QProcess lint;
        lint.start("xmllint", {"--noout", "--nonet", "--schema", schema, xml});
        QVERIFY(lint.waitForFinished(30000));
        QVERIFY2(lint.exitCode() == 0, qPrintable(lint.readAllStandardError()));
        QFile file(xml);
        file.open(QIODevice::ReadOnly);
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("FilterWheel=\"EF1 position 2\"") ||
                statements.size() != demoStatements().size());
    }
}

void TestFilterctl::waitsForAnotherProgramsShortWrite() {
    // Another program writes for 0.3 s: apply waits for it (0.75 s at most) and then writes.
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    std::atomic<bool> holding{false};
    std::thread other([&] {
        Database db;
        db.open(demo, nullptr);
        db.exec("BEGIN IMMEDIATE", QVariantList(), nullptr);
        holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        db.exec("COMMIT", QVariantList(), nullptr);
    });
    while (!holding)
        std::this_thread::yield();
    QElapsedTimer waited;
    waited.start();
    const Run applied = inProcess({"--db", demo, "apply", "--package", "FITC - TRITC", workbook});
    other.join();
    QVERIFY2(applied.status == 0, qPrintable(applied.err));
    QVERIFY(applied.out.endsWith("positions changed\n"));
    QVERIFY(waited.elapsed() >= 150);
}

void TestFilterctl::namesAnInterruptedWrite() {
    // A writer that died mid-write, as its files were at that moment: the pages written, the journal
    // of the old ones beside them.
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString crashed = sandbox.path("crashed.sqlite");
    {
        Database writer;
        QVERIFY(writer.open(demo, nullptr));
        QVERIFY(writer.exec("PRAGMA cache_size = 1", QVariantList(), nullptr) &&
                writer.beginTransaction(nullptr));
        QVERIFY(writer.exec("UPDATE [Potential Filters] SET [Summary] = [Summary] || ' changed'",
                            QVariantList(), nullptr));
        QVERIFY(writer.exec("UPDATE [Available FilterPlacement] SET [ID Potential] = 'None'", QVariantList(),
                            nullptr));
        QVERIFY(QFile::copy(demo, crashed) && QFile::copy(demo + "-journal", crashed + "-journal"));
        writer.rollback();
    }
    const Run read = inProcess({"--db", crashed, "check"});
    QCOMPARE(read.status, 2);
    QVERIFY2(read.err.contains("An interrupted write left its journal") && !read.err.contains("read-only"),
             qPrintable(read.err));
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    const Run applied = inProcess({"--db", crashed, "apply", "--package", "FITC - TRITC", workbook});
    QCOMPARE(applied.status, 0);
    QVERIFY2(applied.err.contains("opening it restored its last complete state"), qPrintable(applied.err));
    QCOMPARE(inProcess({"--db", crashed, "check"}).status, 0);
    // The unfinished write (every position "None") is gone.
    const QStringList rows = placementRows(crashed);
    QVERIFY(rows.filter(QRegularExpression("\\|None$")).size() < rows.size() / 2);
}

void TestFilterctl::writesOnlyAReviewedPlan() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    const QString planFile = sandbox.path("plan.json");
    const Run dry =
        inProcess({"apply", "--dry-run", "--save-plan", planFile, "--package", "FITC - TRITC", workbook});
    QCOMPARE(dry.status, 0);
    QVERIFY(QFile::exists(planFile));
    // A plan edited to place a filter the catalogue lacks is refused at the write, naming it.
    {
        QFile plan(planFile);
        QVERIFY(plan.open(QIODevice::ReadOnly));
        QByteArray json = plan.readAll();
        plan.close();
        const int chosen = json.indexOf("\"chosen\": \"");
        QVERIFY(chosen > 0);
        json.insert(chosen + 11, "XQ 999 ");
        const QString edited = sandbox.path("edited.json");
        QFile out(edited);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(json) == json.size());
        out.close();
        const QByteArray unchanged = digest(demo);
        const Run unknown = inProcess({"apply", "--plan", edited});
        QCOMPARE(unknown.status, 1);
        QVERIFY2(unknown.err.contains("is not in 'Potential Filters': the program would not start with it"),
                 qPrintable(unknown.err));
        QCOMPARE(digest(demo), unchanged);
    }
    // Another program changes a planned row after the review: the plan is refused, naming it.
    {
        Database other;
        QVERIFY(other.open(demo, nullptr));
        QVERIFY(other.exec(
            "UPDATE [Available FilterPlacement] SET [ID Potential] = 'KP 685' WHERE [ID Available] = "
            "'EF1' AND [Position] = 3",
            QVariantList(), nullptr));
    }
    const QByteArray changed = digest(demo);
    const Run refused = inProcess({"apply", "--plan", planFile});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("EF1 3 now holds 'KP 685', the plan read 'BP 505-550'"),
             qPrintable(refused.err));
    QCOMPARE(digest(demo), changed);
    {
        Database other;
        QVERIFY(other.open(demo, nullptr));
        QVERIFY(other.exec("UPDATE [Available FilterPlacement] SET [ID Potential] = 'BP 505-550' WHERE "
                           "[ID Available] = 'EF1' AND [Position] = 3",
                           QVariantList(), nullptr));
    }
    const Run applied = inProcess({"apply", "--plan", planFile});
    QCOMPARE(applied.status, 0);
    QCOMPARE(applied.out, QString(dry.out).replace("would change", "changed"));
    for (const QStringList& wrong : {QStringList{"apply", "--save-plan", planFile, workbook},
                                     QStringList{"apply", "--plan", planFile, workbook}})
        QCOMPARE(inProcess(wrong).status, 2);

    // A dry run says when apply would be refused: as a user who may not write the folder.
    QFile::setPermissions(sandbox.path(""),
                          QFile::permissions(sandbox.path("")) | QFile::ExeOther | QFile::ReadOther);
    QProcess nobody;
    nobody.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", FILTERCTL, "--db", demo,
                             "apply", "--dry-run", "--package", "CFP - YFP - RFP", workbook});
    if (!nobody.waitForFinished(30000) || nobody.exitCode() == 127 || getuid() != 0)
        QSKIP("no other user to run as");
    QCOMPARE(nobody.exitCode(), int(filterctl::ReadOnly));
    QVERIFY(nobody.readAllStandardError().contains("apply will be refused: "));
}

void TestFilterctl::convertsAnAccessFile() {
    QTemporaryDir dir;
    const QString access = dir.filePath("DateTest.mdb");
    const QString reference = testing::referenceFile("access/DateTestDatabase.mdb");
    REQUIRE_REFERENCE(reference);
    QVERIFY(QFile::copy(reference, access));
    // Beside it by default; not an installation, so exit 1 and every missing table named.
    Run run = inProcess({"import-mdb", access});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.out.startsWith(
                 QString("converted 1 table, 6 rows (JET4) into %1;").arg(dir.filePath("DateTest.sqlite"))),
             qPrintable(run.out));
    QVERIFY(run.out.contains("  \"DateTest\": 6 rows, 6 fields\n"));
    QVERIFY(run.out.contains("problem: no table \"System Versions\", which an installation holds\n"));
    QVERIFY(run.out.endsWith("not checked: it holds no installation\n"));
    // Again: a new name, the first file untouched.
    const QByteArray first = digest(dir.filePath("DateTest.sqlite"));
    QCOMPARE(inProcess({"import-mdb", access}).status, 1);
    QVERIFY(QFile::exists(dir.filePath("DateTest (2).sqlite")));
    QCOMPARE(digest(dir.filePath("DateTest.sqlite")), first);
    // Named over an existing file, or a damaged file: one line, exit 2, nothing written.
    run = inProcess({"import-mdb", access, dir.filePath("DateTest.sqlite")});
    QCOMPARE(run.status, 2);
    QVERIFY(run.err.contains("exists already, and is never overwritten. Nothing was written.\n"));
    QCOMPARE(digest(dir.filePath("DateTest.sqlite")), first);
    QFile truncated(dir.filePath("truncated.mdb"));
    QFile whole(access);
    QVERIFY(truncated.open(QIODevice::WriteOnly) && whole.open(QIODevice::ReadOnly));
    truncated.write(whole.read(20000));
    truncated.close();
    run = inProcess({"import-mdb", truncated.fileName(), dir.filePath("t.sqlite")});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(run.err.startsWith(QString("filterctl: '%1' cannot be converted: ").arg(truncated.fileName())));
    QVERIFY(!QFile::exists(dir.filePath("t.sqlite")));
    // The database layer names the conversion where it refuses an Access file.
    run = inProcess({"--db", access, "check"});
    QCOMPARE(run.status, 2);
    QVERIFY(run.err.contains("filterctl import-mdb FILE NEW.sqlite"));
}

void TestFilterctl::helpAndManualComeFromTheRegistry() {
    // The manual page's synopsis is the registry's, line for line.
    QFile page(QStringLiteral(FC_SOURCE_DIR "/packaging/filterctl.1"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(page.readAll());
    const qsizetype start = manual.indexOf(".SH SYNOPSIS\n") + 13;
    const QString synopsis = manual.mid(start, manual.indexOf("\n.SH DESCRIPTION") + 1 - start);
    const QString expected = filterctl::manSynopsis();
    if (synopsis != expected) {
        QFile wanted("filterctl.1.synopsis");
        QVERIFY(wanted.open(QIODevice::WriteOnly));
        wanted.write(expected.toUtf8());
        QFAIL(qPrintable("filterctl.1's SYNOPSIS is not the registry's; it would be " +
                         QFileInfo(wanted).absoluteFilePath()));
    }

    const Run overview = inProcess({"--help"});
    QCOMPARE(overview.status, 0);
    QStringList names;
    QHash<QString, QString> valueNames;
    for (const filterctl::Command* command : filterctl::commands()) {
        names << command->name;
        // Each command's help: its forms, its options with their values, and the exit statuses.
        const Run help = inProcess({command->name, "--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith("Usage: filterctl "));
        QVERIFY(help.out.contains("3 the database is in use"));
        for (const QString& form : command->synopsis) {
            QVERIFY2(help.out.contains(form + "\n"), qPrintable(form));
            QVERIFY(overview.out.contains("  " + form + "\n"));
        }
        for (const filterctl::Option& option : command->options) {
            const QString flag = filterctl::optionFlag(option.name);
            QVERIFY2(
                help.out.contains("  " + flag + (option.valueName.isEmpty() ? "" : " " + option.valueName)),
                qPrintable(command->name + " " + flag));
            QVERIFY(overview.out.contains("  " + flag)); // and in the overview, with the commands taking it
            // One option means one thing to the parser, whichever commands take it.
            QCOMPARE(valueNames.value(option.name, option.valueName), option.valueName);
            valueNames.insert(option.name, option.valueName);
        }
    }
    // An option of another command is refused by name, and only the registry's commands run.
    const Run foreign = inProcess({"show", "--save-plan", "x"});
    QCOMPARE(foreign.status, 2);
    QVERIFY(foreign.err.contains("--save-plan is not an option of show; see filterctl show --help"));
    QVERIFY(!inProcess({"show", "--help"}).out.contains("--save-plan"));
    QCOMPARE(inProcess({"frobnicate"}).status, 2);
    QCOMPARE(names, QStringList({"check", "show", "diff", "export", "apply", "plot", "history", "undo",
                                 "import-mdb", "snapshot", "publish", "spectra", "fit"}));
}

void TestFilterctl::neverReplacesWhatItReads() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = sandbox.path("W.xlsx");
    QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx",
                        workbook));
    QVERIFY(QFile::link(demo, sandbox.path("link.sqlite")));
    QVERIFY(::link(QFile::encodeName(demo).constData(),
                   QFile::encodeName(sandbox.path("hard.sqlite")).constData()) == 0);
    const QByteArray database = digest(demo);
    const QByteArray book = digest(workbook);
    const QStringList dryRun{"apply", "--dry-run", "--package", "CFP - YFP - RFP", "--save-plan"};
    const QList<QStringList> refused{
        dryRun + QStringList{demo, workbook},
        dryRun + QStringList{workbook, workbook},
        {"export", "--format", "json", "-o", demo},
        {"export", "--format", "package", "-o", sandbox.path("link.sqlite")},
        {"export", "--format", "csv", "-o", sandbox.path("hard.sqlite")},
        {"export", "--format", "mm", "-o", demo + "-journal"},
        {"export", "--format", "json", "-o", sandbox.path("System_Configurations.history.sqlite")},
        {"plot", "-o", demo},
        {"import-mdb", sandbox.path("old.mdb"), demo + "-wal"},
        {"import-mdb", sandbox.path("old.mdb"), sandbox.path("old.mdb")}};
    for (const QStringList& arguments : refused) {
        const Run run = inProcess(arguments);
        QVERIFY2(run.status == 2 && run.err.contains("this command reads: nothing was written"),
                 qPrintable(arguments.join(' ') + ": " + run.err));
    }
    // Every empty name is a usage error, never the configured database.
    for (const QStringList& arguments :
         {QStringList{"check", ""}, QStringList{"diff", "", demo}, QStringList{"apply", "--plan", ""},
          QStringList{"export", "--format", "csv", "-o", ""}, dryRun + QStringList{"", workbook}}) {
        const Run run = inProcess(arguments);
        QVERIFY2(run.status == 2 && run.err.count('\n') == 1,
                 qPrintable(arguments.join(' ') + ": " + run.err));
    }
    QCOMPARE(digest(demo), database);
    QCOMPARE(digest(workbook), book);

    // An output is whole or not there: a failed write leaves the old file and no part of the new one.
    const QString csv = sandbox.path("placement.csv");
    QCOMPARE(inProcess({"export", "--format", "csv", "-o", csv}).status, 0);
    const QByteArray exported = digest(csv);
    QVERIFY(!output::writeWhole(csv, [](const QString& part) {
                 QFile file(part);
                 return file.open(QIODevice::WriteOnly) && file.write("half") == 4 && false;
             }).ok());
    QCOMPARE(digest(csv), exported);
    QCOMPARE(QDir(sandbox.path("")).entryList({"*.part"}), QStringList());
}

void TestFilterctl::readsAPlanFileAsForeignInput() {
    Sandbox sandbox;
    const QString demo = sandbox.install(demoStatements());
    const QString workbook = QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx";
    const QString planFile = sandbox.path("plan.json");
    QCOMPARE(inProcess({"apply", "--dry-run", "--save-plan", planFile, "--package", "FITC - TRITC", workbook})
                 .status,
             0);
    QFile file(planFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject plan = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(plan.value("format").toInt(), 1);
    QCOMPARE(plan.value("installation").toObject().value("stand").toString(),
             QString("Inverted Stand IS-200 motorized"));
    int edits = 0;
    const auto edited = [&](const std::function<void(QJsonObject&)>& change) {
        QJsonObject copy = plan;
        change(copy);
        const QString path = sandbox.path(QString("edited%1.json").arg(++edits));
        QFile out(path);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(QJsonDocument(copy).toJson());
        return path;
    };
    const auto firstWheel = [](QJsonObject& root, const std::function<void(QJsonObject&)>& change) {
        QJsonArray wheels = root.value("plan").toArray();
        QJsonObject wheel = wheels[0].toObject();
        change(wheel);
        wheels[0] = wheel;
        root["plan"] = wheels;
    };
    const QByteArray before = digest(demo);
    const QList<std::pair<QString, QString>> faults{
        {edited([](QJsonObject& root) { root["extra"] = 1; }), "'extra' is no part of a plan"},
        {edited([](QJsonObject& root) { root["format"] = 2; }), "it is not a plan of format 1"},
        {edited([](QJsonObject& root) {
             QJsonArray wheels = root.value("plan").toArray();
             wheels.append(wheels[0]);
             root["plan"] = wheels;
         }),
         "is planned twice"},
        {edited([&](QJsonObject& root) {
             firstWheel(root, [](QJsonObject& wheel) {
                 QJsonArray notWritten = wheel.value("notWritten").toArray();
                 notWritten.append(QJsonObject{{"position", 1}, {"why", "said so"}});
                 wheel["notWritten"] = notWritten;
             });
         }),
         "plan entry 1, notWritten entry 1: position 1 is planned twice"},
        {edited([&](QJsonObject& root) {
             firstWheel(root, [](QJsonObject& wheel) {
                 QJsonArray writes = wheel.value("writes").toArray();
                 QJsonObject write = writes[0].toObject();
                 write["position"] = "one";
                 writes[0] = write;
                 wheel["writes"] = writes;
             });
         }),
         "plan entry 1, writes entry 1: 'position' is not a whole number from 1 to 8"}};
    for (const auto& [path, why] : faults) {
        const Run run = inProcess({"apply", "--plan", path});
        QVERIFY2(run.status == 2 && run.err.contains("is not a saved plan: ") && run.err.contains(why),
                 qPrintable(why + " | " + run.err));
    }
    QFile huge(sandbox.path("huge.json"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(QByteArray(2 << 20, ' ')) > 0);
    huge.close();
    QVERIFY(inProcess({"apply", "--plan", huge.fileName()}).err.contains("larger than a plan may be"));

    // Made on another installation: refused, naming both.
    const QString other = edited([](QJsonObject& root) {
        QJsonObject installation = root.value("installation").toObject();
        installation["stand"] = "Upright Stand";
        root["installation"] = installation;
    });
    const Run elsewhere = inProcess({"apply", "--plan", other});
    QCOMPARE(elsewhere.status, 1);
    QVERIFY2(elsewhere.err.contains("stand 'Upright Stand'") &&
                 elsewhere.err.contains("stand 'Inverted Stand IS-200 motorized'") &&
                 elsewhere.err.contains("nothing was written"),
             qPrintable(elsewhere.err));
    QCOMPARE(digest(demo), before);
}

void TestFilterctl::keepsTheFleetsRecordInGit() {
    // Two installations commit to one repository, a file each; a change is committed with what changed
    // as its message and the real user as its author; nothing is committed when nothing changed.
    Sandbox sandbox;
    const QString repository = sandbox.path("fleet");
    QDir().mkpath(repository);
    const auto git = [&](const QStringList& arguments) {
        QProcess process;
        process.start("git", QStringList{"-C", repository} + arguments);
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    if (QProcess::execute("git", {"-C", repository, "init", "-q"}) != 0)
        QSKIP("git is not installed");
    const QString first = sandbox.install(demoStatements(), "first.sqlite");
    const QString second = sandbox.path("second.sqlite");
    createDatabase(second, demoStatements()
                               << "UPDATE [Available Systems] SET [ID Configuration] = 'Lab <2>'");
    const QStringList record{"snapshot", "--git", repository};
    for (const QString& installation : {first, second, first}) {
        const Run run = inProcess(QStringList{"--db", installation} + record);
        QVERIFY2(run.status == 0, qPrintable(run.err));
    }
    QCOMPARE(git({"rev-list", "--count", "HEAD"}).trimmed(), QString("2"));
    QCOMPARE(QDir(repository).entryList({"*.json"}).size(), 2);
    QVERIFY(QDir(repository).entryList({"*.json"}).filter("Lab_2_-").size() == 1);
    createDatabase(first,
                   {"UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 560' WHERE [ID Available] = "
                    "'EF1' AND [Position] = 2"});
    const Run changed = inProcess(QStringList{"--db", first} + record);
    QVERIFY2(changed.status == 0 && changed.out.startsWith("committed 1 change: "), qPrintable(changed.out));
    QVERIFY2(git({"log", "-1", "--format=%B"}).contains("EF1 2: BP 505-530 -> LP 560"),
             qPrintable(git({"log", "-1", "--format=%B"})));
    QCOMPARE(git({"log", "-1", "--format=%an"}).trimmed(), history::realUserName());
    // The file is the snapshot show writes.
    QFile committed(QDir(repository).filePath(QDir(repository).entryList({"Confocal*.json"}).value(0)));
    QVERIFY(committed.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(committed.readAll()),
             inProcess({"--db", first, "show", "--format", "json"}).out);
    // The service names no repository: the machine settings do, or it says where to name one.
    const Run unnamed = inProcess({"--db", first, "snapshot"});
    QVERIFY2(unnamed.status == 2 &&
                 unnamed.err.contains("\"Repository\" under \"SOFTWARE\\Veltrano\\Filter\\Fleet\""),
             qPrintable(unnamed.err));
    QSettings(sandbox.path("machine.ini"), QSettings::IniFormat)
        .setValue("software/veltrano/filter/fleet/Repository", repository);
    QVERIFY(inProcess({"--db", first, "snapshot"}).out.startsWith("unchanged: "));
    // The facility's page from the record's checkout and an installation with hostile names: every text
    // escaped, each microscope linked from the index.
    const QString hostile = sandbox.path("hostile.sqlite");
    createDatabase(hostile, demoStatements()
                                << "UPDATE [Available Systems] SET [ID Configuration] = 'Lab <b>3</b>'"
                                << "INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES "
                                   "('<script>alert(1)</script>', 'BP')"
                                << "UPDATE [Available FilterPlacement] SET [ID Potential] = "
                                   "'<script>alert(1)</script>' WHERE [ID Available] = 'EF1' AND "
                                   "[Position] = 3");
    const QString site = sandbox.path("site");
    const Run published = inProcess({"publish", "-o", site, repository, hostile});
    QVERIFY2(published.status == 0 && published.out.startsWith("published 3 microscopes"),
             qPrintable(published.err));
    QString pagesText;
    for (const QString& name : QDir(site).entryList({"*.html"})) {
        QFile page(QDir(site).filePath(name));
        QVERIFY(page.open(QIODevice::ReadOnly));
        pagesText += QString::fromUtf8(page.readAll());
    }
    QVERIFY(!pagesText.contains("<script>alert") && !pagesText.contains("<b>3"));
    QVERIFY(pagesText.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
    QFile index(QDir(site).filePath("index.html"));
    QVERIFY(index.open(QIODevice::ReadOnly));
    const QString indexText = QString::fromUtf8(index.readAll());
    for (const QString& name : QDir(site).entryList({"*.html"}))
        QVERIFY2(name == "index.html" || indexText.contains("href=\"" + name + "\""), qPrintable(name));
    // A page made from the installation is the page made from its snapshot, names that JSON escapes
    // included.
    createDatabase(hostile,
                   {"INSERT INTO [Potential Filters] ([ID Potential], [Type], [Lower Wavelength], [Upper "
                    "Wavelength]) VALUES ('BP \\ \"500\"', 'BP', 490, 510)",
                    "UPDATE [Available FilterPlacement] SET [ID Potential] = 'BP \\ \"500\"' WHERE [ID "
                    "Available] = 'EF2' AND [Position] = 2"});
    const QString snapshotFile = sandbox.path("hostile.json");
    QFile snapshot(snapshotFile);
    QVERIFY(snapshot.open(QIODevice::WriteOnly));
    snapshot.write(inProcess({"--db", hostile, "show", "--format", "json"}).out.toUtf8());
    snapshot.close();
    const auto pageOf = [&](const QString& input) {
        const QString folder = sandbox.path("one-" + QFileInfo(input).suffix());
        if (inProcess({"publish", "-o", folder, input}).status != 0)
            return QByteArray();
        QFile page(QDir(folder).filePath(QDir(folder).entryList({"Lab*.html"}).value(0)));
        return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
    };
    const QByteArray fromInstallation = pageOf(hostile);
    QVERIFY(fromInstallation.contains("<td>BP \\ &quot;500&quot;</td>") ||
            fromInstallation.contains("<td>BP \\ \"500\"</td>"));
    QVERIFY(fromInstallation.contains("passes 490 to 510 nm"));
    QCOMPARE(pageOf(snapshotFile), fromInstallation);
    QCOMPARE(inProcess({"publish", "-o", repository, repository}).status, 2); // never over what it reads
    const Run notARepository = inProcess(QStringList{"--db", first, "snapshot", "--git", sandbox.path("")});
    QVERIFY2(notARepository.status == 2 && notARepository.err.contains("is not a git working copy"),
             qPrintable(notARepository.err));
}

QTEST_GUILESS_MAIN(TestFilterctl)
#include "test_filterctl.moc"
