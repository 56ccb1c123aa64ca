#include "core/settings/settings_store.h"
#include "gui/window_position.h"
#include "support/test_support.h"

#include <QComboBox>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QtTest>

using namespace settings;

class TestTool : public QObject {
    Q_OBJECT
private slots:
    void readsWithRegistrySemantics();
    void writesOnlyToExistingKeys();
    void restoresAndSavesWindowPositionsInTwips();
    void selectsComboTextAndDoublesAmpersands();
};

void TestTool::readsWithRegistrySemantics() {
    testing::Sandbox sandbox;
    const QString exact(248, QLatin1Char('p'));
    {
        // The layout an administrator writes by hand.
        QFile machine(sandbox.path("machine.ini"));
        QVERIFY(machine.open(QIODevice::WriteOnly));
        machine.write("[software]\nveltrano\\cp\\database\\Path=/srv/db/System_Configurations.sqlite\n"
                      "veltrano\\cp\\long\\Exact=" +
                      exact.toLatin1() +
                      "\n"
                      "veltrano\\cp\\long\\Over=" +
                      exact.toLatin1() + "p\n");
    }
    QCOMPARE(ReadMachineString("SOFTWARE\\Veltrano\\CP\\Database", "Path"),
             QString("/srv/db/System_Configurations.sqlite"));
    QCOMPARE(ReadMachineString("software\\VELTRANO\\cp\\database", "path"),
             QString("/srv/db/System_Configurations.sqlite"));
    QCOMPARE(ReadMachineString("SOFTWARE\\Veltrano\\CP\\Long", "Exact"), exact);
    QCOMPARE(ReadMachineString("SOFTWARE\\Veltrano\\CP\\Long", "Over"), QString());
    QCOMPARE(ReadMachineString("SOFTWARE\\Veltrano\\CP\\Missing", "Path"), QString());
    QCOMPARE(ReadUserString("SOFTWARE\\Veltrano\\CP\\Database", "Path"), QString()); // other hive
    QCOMPARE(ReadUserLong("\\Filter\\Nothing", "Left"), 0);
}

void TestTool::writesOnlyToExistingKeys() {
    testing::Sandbox sandbox;
    WriteUserString("\\Filter\\Files", "Browse", "/tmp/a.xls");
    QCOMPARE(ReadUserString(FilesKeyPath, "Browse"), QString());

    EnsureUserKey("\\Filter\\Files");
    WriteUserString("\\Filter\\Files", "Browse", "/tmp/a.xls");
    WriteUserLong("\\Filter\\Files", "Count", -7);
    QCOMPARE(ReadUserString(FilesKeyPath, "Browse"), QString("/tmp/a.xls"));
    QCOMPARE(ReadUserString("Software\\Veltrano\\Filter\\FILES", "BROWSE"), QString("/tmp/a.xls"));
    QCOMPARE(ReadUserLong("\\filter\\files", "count"), -7);
    // A write under another spelling of the value name replaces the value, as in the registry.
    WriteUserString("\\Filter\\Files", "BROWSE", "/tmp/b.xls");
    QSettings user(sandbox.path("user.ini"), QSettings::IniFormat);
    QCOMPARE(user.value("software/veltrano/filter/files/Browse").toString(), QString("/tmp/b.xls"));
    QCOMPARE(user.allKeys().filter("rowse", Qt::CaseInsensitive).size(), 1);
}

void TestTool::restoresAndSavesWindowPositionsInTwips() {
    testing::Sandbox sandbox;
    QWidget window;
    window.setObjectName("SalesFilters");
    RestoreWindowPosition(&window); // first run: nothing saved
    QCOMPARE(window.pos(), QPoint(0, 0));

    const double twipsPerPixel = 1440.0 / window.screen()->logicalDotsPerInchX();
    window.move(100, 40);
    SaveWindowPosition(&window);
    QCOMPARE(ReadUserLong("\\Filter\\SalesFilters", "Left"), qRound(100 * twipsPerPixel));
    QCOMPARE(ReadUserLong("\\Filter\\SalesFilters", "Top"), qRound(40 * twipsPerPixel));
    window.move(0, 0);
    RestoreWindowPosition(&window);
    QCOMPARE(window.pos(), QPoint(100, 40));

    WriteUserLong("\\Filter\\SalesFilters", "Left", -5000);
    WriteUserLong("\\Filter\\SalesFilters", "Top", 10000000);
    RestoreWindowPosition(&window);
    const QSize screen = window.screen()->geometry().size();
    QCOMPARE(window.pos().x(), 0);
    QCOMPARE(window.pos().y(), qRound((qRound(screen.height() * twipsPerPixel) - 1000) / twipsPerPixel));

    QCOMPARE(ClampWindowPosition({-5000, 0}, {19200, 14400}), QPoint(0, 0));
    QCOMPARE(ClampWindowPosition({19000, 14000}, {19200, 14400}), QPoint(18200, 13400));
    QCOMPARE(ClampWindowPosition({500, 700}, {19200, 14400}), QPoint(500, 700));
}

void TestTool::selectsComboTextAndDoublesAmpersands() {
    QComboBox combo;
    SelectComboText(&combo, "x"); // empty list stays as it is
    QCOMPARE(combo.currentIndex(), -1);
    combo.addItems({"None", "BP 505", "LP 560", "BP 505"});
    SelectComboText(&combo, "LP 560");
    QCOMPARE(combo.currentIndex(), 2);
    SelectComboText(&combo, "BP 505");
    QCOMPARE(combo.currentIndex(), 1);
    SelectComboText(&combo, "lp 560");
    QCOMPARE(combo.currentIndex(), 0);

    QCOMPARE(DoubleAmpersand("Confocal & Spectral"), QString("Confocal && Spectral"));
    QCOMPARE(DoubleAmpersand("A & B & C"), QString("A && B & C"));
    QCOMPARE(DoubleAmpersand("Plain"), QString("Plain"));
    QCOMPARE(CaptionText(DoubleAmpersand("Confocal & Spectral")), QString("Confocal & Spectral"));
    QCOMPARE(CaptionText("A && B & C"), QString("A & B  C"));
}

QTEST_MAIN(TestTool)
#include "test_tool.moc"
