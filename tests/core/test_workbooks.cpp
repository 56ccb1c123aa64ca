#include "core/exchange/package.h"
#include "core/exchange/workbook.h"
#include "core/startup/helper_programs.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QProcess>
#include <QtTest>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

class TestWorkbooks : public QObject {
    Q_OBJECT
private slots:
    void readsBothFormatsAlike();
    void readsPackages();
    void refusesDamagedFiles();
    void sandboxRefusesWhatAReaderNeverNeeds();
    void readersEndWithTheirProgram();
};

namespace {

QString workbook(const QString& name) {
    return qEnvironmentVariable("FC_WORKBOOKS") + "/" + name;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QString write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// An .xlsx whose parts are given; the content types do not matter to the reader.
QString writeZip(const QString& path, const QList<std::pair<QString, QByteArray>>& parts) {
    QuaZip zip(path);
    zip.open(QuaZip::mdCreate);
    for (const auto& [name, data] : parts) {
        QuaZipFile part(&zip);
        part.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
        part.write(data);
        part.close();
    }
    zip.close();
    return path;
}

const QByteArray WorkbookXml =
    "<workbook xmlns:r=\"r\"><sheets><sheet name=\"One\" r:id=\"rId1\"/></sheets></workbook>";
const QByteArray RelsXml =
    "<Relationships><Relationship Id=\"rId1\" Target=\"/xl/worksheets/a.xml\"/></Relationships>";

} // namespace

void TestWorkbooks::readsBothFormatsAlike() {
    for (const char* name : {"Filter_Configurations", "import_cases", "package_cases"}) {
        Result error;
        auto xls = openWorkbook(workbook(QString(name) + ".xls"), &error);
        QVERIFY2(xls, qPrintable(error.description));
        auto xlsx = openWorkbook(workbook(QString(name) + ".xlsx"), &error);
        QVERIFY2(xlsx, qPrintable(error.description));
        QCOMPARE(xlsx->sheetCount(), xls->sheetCount());
        for (int sheet = 1; sheet <= xls->sheetCount(); ++sheet) {
            QCOMPARE(xlsx->sheetName(sheet), xls->sheetName(sheet));
            for (int row = 1; row <= 20; ++row)
                for (int column = 1; column <= 14; ++column)
                    QCOMPARE(xlsx->cellText(sheet, row, column), xls->cellText(sheet, row, column));
        }
    }
    Result error;
    auto cases = openWorkbook(workbook("import_cases.xls"), &error);
    QCOMPARE(cases->sheetName(1), QString("BP wrong A7"));
    QCOMPARE(cases->cellText(1, 6, 2), QString("500"));
    QCOMPARE(cases->cellText(5, 3, 2), QString("2.05"));
    QCOMPARE(cases->cellText(1, 99, 99), QString());

    // Inline, rich and phonetic texts, booleans, and cells and rows without references.
    QTemporaryDir dir;
    const QByteArray sheet =
        "<worksheet><sheetData><row><c t=\"inlineStr\"><is><r><t>Bold</t></r><r><t> part</t></r>"
        "<rPh><t>skip</t></rPh></is></c><c t=\"b\"><v>1</v></c></row>"
        "<row r=\"3\"><c r=\"C3\" t=\"str\"><f>A1</f><v>formula</v></c><c><v>1.50</v></c>"
        "<c t=\"e\"><v>#N/A</v></c></row></sheetData></worksheet>";
    auto rich = openWorkbook(writeZip(dir.filePath("rich.xlsx"), {{"xl/workbook.xml", WorkbookXml},
                                                                  {"xl/_rels/workbook.xml.rels", RelsXml},
                                                                  {"xl/worksheets/a.xml", sheet}}),
                             &error);
    QVERIFY2(rich, qPrintable(error.description));
    QCOMPARE(rich->cellText(1, 1, 1), QString("Bold part"));
    QCOMPARE(rich->cellText(1, 1, 2), QString("TRUE"));
    QCOMPARE(rich->cellText(1, 3, 3), QString("formula"));
    QCOMPARE(rich->cellText(1, 3, 4), QString("1.5"));
    QCOMPARE(rich->cellText(1, 3, 5), QString("#N/A"));
}

void TestWorkbooks::readsPackages() {
    for (const char* file : {"package_cases.xls", "package_cases.xlsx"}) {
        Result error;
        auto book = openWorkbook(workbook(file), &error);
        QVERIFY2(book, qPrintable(error.description));
        const Package package = readPackage(*book, 1);
        QCOMPARE(package.upperExtraWheels, 1);
        QCOMPARE(package.wheelIds,
                 QStringList({"HT", "NT1", "NT2", "NT3", "MBS", "EF1", "EF2", "EF3", "EF4"}));
        const PackageWheel mbs = readPackageWheel(*book, 1, package, 4);
        QVERIFY(mbs.upper);
        QCOMPARE(mbs.filters.mid(0, 3), QStringList({"M1", "M2", ""}));
        const PackageWheel ef1 = readPackageWheel(*book, 1, package, 5);
        QVERIFY(!ef1.upper);
        QCOMPARE(ef1.filters, QStringList({"", "", "B", "Known", "", "", "", ""})); // "abc": three characters
    }
}

void TestWorkbooks::refusesDamagedFiles() {
    QTemporaryDir dir;
    const QByteArray xls = bytesOf(workbook("Filter_Sheets.xls"));
    const QByteArray xlsx = bytesOf(workbook("Filter_Sheets.xlsx"));
    QByteArray ole = xls.left(512);
    ole.append(QByteArray(4096, '\xff'));
    QByteArray flipped = xlsx;
    for (int i = 40; i < flipped.size(); i += 97)
        flipped[i] = char(flipped[i] ^ 0x5a);
    const QList<std::pair<QString, QByteArray>> corpus{
        {"empty.xls", {}},
        {"notes.xlsx", "Producer;Name\nVeltrano;BP\n"},
        {"half.xls", xls.left(xls.size() / 2)},
        {"header.xls", xls.left(600)},
        {"garbage.xls", ole},
        {"half.xlsx", xlsx.left(xlsx.size() / 2)},
        {"flipped.xlsx", flipped},
        {"zip-only.xlsx", QByteArray("PK\x03\x04", 4) + QByteArray(100, '\0')},
    };
    QStringList files;
    for (const auto& [name, bytes] : corpus)
        files << write(dir.filePath(name), bytes);
    files << writeZip(dir.filePath("no-workbook.xlsx"), {{"xl/worksheets/a.xml", "<worksheet/>"}})
          << writeZip(dir.filePath("bomb.xlsx"),
                      {{"xl/workbook.xml", WorkbookXml}, {"xl/sharedStrings.xml", QByteArray(40 << 20, ' ')}})
          // A sheet that inflates past the limit is refused, not read as a sheet without cells.
          << writeZip(dir.filePath("sheet-bomb.xlsx"), {{"xl/workbook.xml", WorkbookXml},
                                                        {"xl/_rels/workbook.xml.rels", RelsXml},
                                                        {"xl/worksheets/a.xml", QByteArray(33 << 20, ' ')}});
    for (const QString& file : files) {
        Result error;
        auto book = openWorkbook(file, &error);
        QVERIFY2(!book, qPrintable(file));
        QVERIFY2(error.description.contains(QFileInfo(file).fileName()), qPrintable(error.description));
        // Each reader on its own refuses the other's files and the damaged ones, without crashing.
        QString reason;
        QVERIFY(!openXlsWorkbook(file, &reason));
        openXlsxWorkbook(file, &reason);
    }
    // Files that once upset a reader (tests/data/workbooks) open or are refused, never crash.
    const QDir found(QStringLiteral(FC_TEST_DATA) + "/workbooks");
    for (const QFileInfo& file : found.entryInfoList(QDir::Files)) {
        Result error;
        if (!openWorkbook(file.filePath(), &error))
            QVERIFY2(error.description.contains(file.fileName()), qPrintable(error.description));
    }
    Result error;
    QVERIFY(!openWorkbook(dir.filePath("missing.xls"), &error));
    QVERIFY(error.description.contains("does not exist"));

    // A sheet whose XML is broken or missing reads as a sheet without cells.
    auto broken =
        openWorkbook(writeZip(dir.filePath("broken.xlsx"), {{"xl/workbook.xml", WorkbookXml},
                                                            {"xl/_rels/workbook.xml.rels", RelsXml},
                                                            {"xl/worksheets/a.xml", "<worksheet><sheetD"}}),
                     &error);
    QVERIFY2(broken, qPrintable(error.description));
    QVERIFY(!broken->hasCells(1));
    QCOMPARE(broken->cellText(1, 1, 1), QString());
    QVERIFY(!openWorkbook(dir.filePath("sheet-bomb.xlsx"), &error));
    QVERIFY2(error.description.contains("the sheet 'One' cannot be read") && error.description.contains("larger than 32 MiB"),
             qPrintable(error.description));

    // Text nested inside a cell is read in a loop, not on the stack; nesting 100,000 elements deep
    // (which would take the XML reader's memory) is refused when the workbook opens.
    const auto nestedSheet = [](int depth) {
        QByteArray xml = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>";
        xml += QByteArray("<x>").repeated(depth) + "deep" + QByteArray("</x>").repeated(depth);
        xml += "</t></is></c></row><row r=\"1000000\"><c r=\"A1000000\" t=\"inlineStr\"><is><t>far</t></is>"
               "</c></row></sheetData></worksheet>";
        return xml;
    };
    auto nested =
        openWorkbook(writeZip(dir.filePath("nested.xlsx"), {{"xl/workbook.xml", WorkbookXml},
                                                            {"xl/_rels/workbook.xml.rels", RelsXml},
                                                            {"xl/worksheets/a.xml", nestedSheet(200)}}),
                     &error);
    QVERIFY2(nested, qPrintable(error.description));
    QCOMPARE(nested->cellText(1, 1, 1), QString("deep"));
    QCOMPARE(nested->cellText(1, 1000000, 1), QString()); // far rows are not kept
    QVERIFY(!openWorkbook(writeZip(dir.filePath("deep.xlsx"), {{"xl/workbook.xml", WorkbookXml},
                                                               {"xl/_rels/workbook.xml.rels", RelsXml},
                                                               {"xl/worksheets/a.xml", nestedSheet(100000)}}),
                          &error));
    QVERIFY2(error.description.contains("the sheet 'One' cannot be read: its XML is nested deeper than 256 elements"),
             qPrintable(error.description));

    // More than Excel allows: a text longer than 32,767 characters, more than 4096 sheets.
    const QByteArray longText = "<worksheet><sheetData><row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>" +
                                QByteArray(40000, 'x') + "</t></is></c></row></sheetData></worksheet>";
    QVERIFY(!openWorkbook(writeZip(dir.filePath("long.xlsx"), {{"xl/workbook.xml", WorkbookXml},
                                                               {"xl/_rels/workbook.xml.rels", RelsXml},
                                                               {"xl/worksheets/a.xml", longText}}),
                          &error));
    QVERIFY2(error.description.contains("row 2, column 2 holds a text longer than 32767 characters"), qPrintable(error.description));
    QByteArray manySheets = "<workbook><sheets>";
    for (int sheet = 0; sheet < 5000; ++sheet)
        manySheets += "<sheet name=\"S" + QByteArray::number(sheet) + "\"/>";
    QVERIFY(!openWorkbook(
        writeZip(dir.filePath("many.xlsx"), {{"xl/workbook.xml", manySheets + "</sheets></workbook>"}}),
        &error));
    QVERIFY2(error.description.contains("it has too many sheets (5000; a workbook may have 4096)"), qPrintable(error.description));

    // A valid .xls whose 40 sheets each claim a cell at row 65536, column 256: the reader meets its
    // memory limit and says so, instead of taking the machine's memory.
    QProcess xlwt;
    xlwt.start("/usr/bin/python3",
               {"-c",
                "import xlwt, sys\nbook = xlwt.Workbook()\nfor i in range(40):\n"
                "    book.add_sheet('S%d' % i).write(65535, 255, 'x')\nbook.save(sys.argv[1])",
                dir.filePath("wide.xls")});
    QVERIFY(xlwt.waitForFinished(60000) && xlwt.exitCode() == 0);
    QVERIFY(!openWorkbook(dir.filePath("wide.xls"), &error));
    QVERIFY2(error.description.contains("needs more memory than the .xls reader may take"), qPrintable(error.description));
}

void TestWorkbooks::sandboxRefusesWhatAReaderNeverNeeds() {
    // The probe enters the readers' sandbox and tries, after it is up, what a taken-over reader
    // would; the test reads its report and looks for the file it tried to create.
    QTemporaryDir dir;
    const QString input = write(dir.filePath("input.xls"), "input");
    const QString other = write(dir.filePath("other.txt"), "private");
    QProcess probe;
    probe.setStandardInputFile(input);
    probe.start(QStringLiteral(SANDBOX_PROBE), {other, dir.filePath("new.txt")});
    QVERIFY(probe.waitForFinished(10000));
    const QStringList lines =
        QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains("seccomp: on"), qPrintable(lines.join('|')));
    for (const char* allowed : {"read the input: ok", "open the input again: ok"})
        QVERIFY2(lines.contains(allowed), allowed);
    for (const char* refused : {"create a file", "open a socket", "start a program", "start a process"})
        QVERIFY2(lines.contains(QString("%1: refused (Operation not permitted)").arg(refused)), refused);
    QVERIFY(!QFile::exists(dir.filePath("new.txt")));
    // Another file is out of reach where the kernel has Landlock (seccomp alone lets it be read).
    if (lines.contains("landlock: on"))
        QVERIFY(lines.contains("open another file: refused (Permission denied)"));

    // Under the sandbox the reader still reads every kind of workbook, code pages included.
    for (const QString name : {"Filter_Sheets.xls", "Filter_Configurations.xls"}) {
        Result error;
        auto book = openWorkbook(workbook(name), &error);
        QVERIFY2(book && book->sheetCount() > 0, qPrintable(error.description));
    }
}

void TestWorkbooks::readersEndWithTheirProgram() {
    // A reader waiting on input that never ends (a pipe held open) under a shell that is then
    // killed without a word: the reader goes with it.
    const auto running = [](qint64 pid) {
        QFile stat(QString("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
    };
    QTemporaryDir dir;
    for (const QString reader : {"filter-xls-reader", "filter-mdb-reader"}) {
        QProcess shell;
        shell.start("/bin/sh",
                    {"-c", QString("mkfifo '%1/pipe'; exec 3<>'%1/pipe'; '%2' <'%1/pipe' & echo $!; wait")
                               .arg(dir.path(), helpers::program(reader))});
        QVERIFY(shell.waitForReadyRead(5000));
        const qint64 pid = shell.readLine().trimmed().toLongLong();
        QVERIFY(pid > 0);
        QTest::qWait(300);
        QVERIFY2(running(pid), qPrintable(reader));
        shell.kill();
        shell.waitForFinished();
        QTRY_VERIFY2_WITH_TIMEOUT(!running(pid), qPrintable(reader), 3000);
        QFile::remove(dir.filePath("pipe"));
    }
}

QTEST_GUILESS_MAIN(TestWorkbooks)
#include "test_workbooks.moc"
