#include "gui/catalogue/new_filter_window.h"
#include "gui/lightpath/light_path_window.h"
#include "gui/mainwindow/main_window.h"
#include "gui/widgets/finding_combo.h"
#include "gui/window_position.h"
#include "plot/light_path_plot.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QXmlStreamReader>
#include <QtTest>

// The light-path window beside the main window, its image files, and filterctl's plot.
class TestLightPathWindow : public QObject {
    Q_OBJECT
private slots:
    void followsTheMainWindowAndSavesImages();
    void opensBesideTheMainWindow();
    void drawsAMirrorAcrossTheAxis();
    void ranksThePathsForADye();
    void importsASpectrumInTheNewFilterWindow();
};

using namespace testing;

namespace {

// The bands of an SVG: every band is drawn as one path.
int bandsIn(const QString& file) {
    QFile svg(file);
    if (!svg.open(QIODevice::ReadOnly))
        return -1;
    QXmlStreamReader xml(&svg);
    int paths = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("path"))
            ++paths;
    return xml.hasError() ? -1 : paths;
}

// The demo in service mode with its light-path window open.
struct OpenWindow {
    Sandbox sandbox;
    QString path = sandbox.install(demoStatements());
    DialogRecorder recorder;
    MainWindow form;
    LightPathWindow* window = nullptr;
    OpenWindow() {
        form.load("/S");
        click(form, "CmdLightPath");
        window = form.lightPathWindow();
    }
};

} // namespace

void TestLightPathWindow::drawsAMirrorAcrossTheAxis() {
    // A mirror's edge is stored at 1000 nm: it reflects everything, drawn over the whole axis.
    Band mirror;
    mirror.shape = Band::Shape::Edge;
    mirror.from = 1000;
    LightPath path;
    path.lanes.push_back(
        {"NT1", 15, false, {{"1", {"Mirror", "NT", "", mirror, nullptr}, std::nullopt}}, {}});
    const plot::LightPathPlot plot(path, QPalette());
    QImage image(plot.preferredSize(), QImage::Format_ARGB32);
    QPainter painter(&image);
    const std::vector<plot::Item> items = plot.paint(painter, QRectF(QPointF(0, 0), plot.preferredSize()));
    QCOMPARE(int(items.size()), 1);
    QVERIFY2(items[0].rect.width() > plot.preferredSize().width() / 2.0,
             qPrintable(QString::number(items[0].rect.width())));
    QVERIFY2(items[0].text.contains("a mirror: reflects the whole range"), qPrintable(items[0].text));
}

void TestLightPathWindow::opensBesideTheMainWindow() {
    // Right of it, else left, else below; on a screen too small for any, covering least of it.
    const QRect main(100, 50, 600, 400);
    QCOMPARE(settings::besidePosition(main, {300, 200}, {0, 0, 1200, 800}), QPoint(700, 50));
    QCOMPARE(settings::besidePosition({400, 50, 400, 400}, {300, 200}, {0, 0, 900, 800}), QPoint(100, 50));
    QCOMPARE(settings::besidePosition(main, {400, 200}, {0, 0, 900, 800}), QPoint(100, 450));
    const QPoint cramped = settings::besidePosition(main, {500, 300}, {0, 0, 800, 600});
    QVERIFY(QRect(0, 0, 800, 600).contains(QRect(cramped, QSize(500, 300))));
    QVERIFY(QRect(cramped, QSize(500, 300)).intersected(main).height() < 300);

    // The window the user moved opens where they put it.
    Sandbox sandbox;
    sandbox.install(demoStatements());
    DialogRecorder recorder;
    MainWindow form;
    form.load("/S");
    click(form, "CmdLightPath");
    LightPathWindow* window = form.lightPathWindow();
    QVERIFY(window);
    window->move(window->pos() + QPoint(7, 5));
    const QPoint moved = window->pos();
    click(*window, "CmdClose");
    LightPathWindow again(&form);
    QCOMPARE(again.pos(), moved);
}

void TestLightPathWindow::followsTheMainWindowAndSavesImages() {
    OpenWindow open;
    auto& [sandbox, path, recorder, form, window] = open;
    QVERIFY(window);
    auto* table = child<QTableWidget>(*window, "LightPathTable");
    const int rows = table->rowCount();
    QVERIFY(rows > 8);
    QCOMPARE(table->item(1, 2)->text(), QString("BP 505-530"));
    QCOMPARE(table->item(1, 3)->text(), QString("passes 505 to 530 nm, centre 517 nm"));

    // A choice in the main window is drawn beside the stored filter, at once.
    choose(child<QComboBox>(form, "CmbFilter_1"), "LP 560");
    QCOMPARE(table->rowCount(), rows + 1);
    QCOMPARE(table->item(2, 2)->text(), QString("LP 560 (chosen, not stored)"));
    QCOMPARE(table->item(2, 3)->text(), QString("passes from 560 nm up"));
    // The keyboard reaches each band and hears what it is.
    window->view()->repaint();
    window->view()->setFocus();
    QTest::keyClick(window->view(), Qt::Key_Right);
    QVERIFY2(window->view()->accessibleDescription().startsWith("EF1 position 2: BP 505-530"),
             qPrintable(window->view()->accessibleDescription()));
    // The beam-splitter mode's lanes follow the mode.
    click(form, "RbMode_2");
    QCOMPARE(table->item(0, 0)->text(), QString("HT"));

    recorder.nextFiles = {sandbox.path("path.svg")};
    click(*window, "CmdSaveImage");
    int placed = 0;
    for (int row = 0; row < table->rowCount(); ++row)
        placed += table->item(row, 2)->text() != "None" &&
                  !table->item(row, 3)->text().startsWith("no wavelengths");
    QCOMPARE(bandsIn(sandbox.path("path.svg")), placed);
    // The drawing explains itself: wheels by their kind, a legend of its symbols.
    QFile svg(sandbox.path("path.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray drawn = svg.readAll();
    for (const char* words : {"Beam splitter changer HT", "chosen, not stored yet", "blocks (a notch)",
                              "reflects a laser line (a beam splitter)"})
        QVERIFY2(drawn.contains(words), words);
    QVERIFY(recorder.messages.isEmpty());

    // filterctl draws without a display.
    QProcess filterctl;
    filterctl.setProcessEnvironment([] {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("DISPLAY");
        return environment;
    }());
    filterctl.start(FILTERCTL, {"--db", path, "plot", "--wheel", "EF1", "-o", sandbox.path("ef1.svg")});
    QVERIFY(filterctl.waitForFinished(30000));
    QVERIFY2(filterctl.exitCode() == 0, qPrintable(filterctl.readAllStandardError()));
    QCOMPARE(bandsIn(sandbox.path("ef1.svg")), 7); // EF1's eight positions, one of them "None"
    filterctl.start(FILTERCTL, {"--db", path, "plot", "-o", sandbox.path("all.png")});
    QVERIFY(filterctl.waitForFinished(30000));
    QCOMPARE(filterctl.exitCode(), 0);
    QVERIFY(QImage(sandbox.path("all.png")).width() > 800);
}

void TestLightPathWindow::ranksThePathsForADye() {
    OpenWindow open;
    auto& [sandbox, path, recorder, form, window] = open;
    auto* dye = child<FindingComboBox>(*window, "CmbDye");
    auto* ranked = child<QTableWidget>(*window, "FitTable");
    auto* drawn = child<QTableWidget>(*window, "LightPathTable");
    const int modeRows = drawn->rowCount();
    QCOMPARE(ranked->rowCount(), 0);

    // Typed into the open dye list, "gfp" narrows it to EGFP first; Enter chooses it.
    dye->setFocus();
    dye->showPopup();
    QTest::keyClicks(dye->findingList(), "gfp");
    QVERIFY(dye->findingList()->model()->index(0, 0).data().toString().startsWith("EGFP (GFP)"));
    QTest::keyClick(dye->findingList(), Qt::Key_Return);
    QVERIFY(dye->currentText().startsWith("EGFP"));
    QCOMPARE(ranked->rowCount(), 50);

    // The same ranking as filterctl's on the same installation.
    QProcess filterctl;
    filterctl.start(FILTERCTL, {"--db", path, "fit", "--dye", "EGFP", "--top", "10"});
    QVERIFY(filterctl.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(filterctl.readAllStandardOutput()).split('\n');
    for (int row = 0; row < 10; ++row)
        QVERIFY2(lines[row + 2].endsWith("  " + ranked->item(row, 6)->text()), qPrintable(lines[row + 2]));

    // A screen reader hears the table by its name, its header and its cells.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(ranked);
    QCOMPARE(table->text(QAccessible::Name), QString("Light paths ranked for EGFP"));
    QCOMPARE(table->tableInterface()->columnDescription(6), QString("Path"));
    QCOMPARE(table->tableInterface()->cellAt(0, 1)->text(QAccessible::Name), QString("94.3 %"));
    QCOMPARE(table->tableInterface()->cellAt(0, 6)->text(QAccessible::Name), ranked->item(0, 6)->text());

    // The best path is drawn with the dye's curves; another one chosen names its positions.
    QCOMPARE(drawn->item(0, 0)->text(), QString("Dye EGFP, relative to its peaks"));
    QVERIFY(drawn->item(0, 3)->text().startsWith("measured: 751 points"));
    ranked->setCurrentCell(1, 0);
    QStringList select;
    for (const auto& [wheel, position] : window->fitResult().positionsOf(window->fitResult().paths[1]))
        select << wheel + " position " + position;
    QCOMPARE(child<QLabel>(*window, "FitPositions")->text(),
             "To image it this way, select " + select.join(", ") + ".");
    QCOMPARE(drawn->rowCount(), 2 + 1 + int(select.size())); // the dye, the line, a lane per position

    // A laser line the splitters reflect, then a dye from a spectra viewer's file.
    child<QSpinBox>(*window, "SpinLaser")->setValue(561);
    QCOMPARE(ranked->item(0, 2)->text(), QString("561 nm"));
    QFile file(sandbox.path("mScarlet.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("wavelength,mScarlet ex,mScarlet em\n560,0.8,0.01\n569,1,0.2\n594,0.1,1\n640,0,0.1\n");
    file.close();
    recorder.nextFiles = {file.fileName()};
    click(*window, "CmdDyeFile");
    QVERIFY(dye->currentText().startsWith("mScarlet (from"));
    QVERIFY(ranked->rowCount() > 0);
    QVERIFY(recorder.messages.isEmpty());
    recorder.nextFiles = {sandbox.path("missing.csv")};
    click(*window, "CmdDyeFile");
    QCOMPARE(recorder.messages.size(), 1);

    // No dye: the mode's wheels again.
    window->chooseDye(-1);
    QCOMPARE(ranked->rowCount(), 0);
    QCOMPARE(drawn->rowCount(), modeRows);
}

void TestLightPathWindow::importsASpectrumInTheNewFilterWindow() {
    Sandbox sandbox;
    sandbox.install(demoStatements());
    QFile file(sandbox.path("sheet.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("nm,BP 505-530 (%),OD\n450,0.1,6\n505,92,0.1\n530,93,0.1\n600,0.2,6\n");
    file.close();
    DialogRecorder recorder;
    MainWindow form;
    form.load("/S");
    NewFilterWindow* window = form.newFiltersWindow();
    auto* spectrum = child<QPushButton>(*window, "CmdSpectrum");
    QVERIFY(!spectrum->isHidden());

    // The file's first value column, chosen by its header, for the filter the form names.
    child<QLineEdit>(*window, "FilterName")->setText("BP 505-530");
    recorder.nextFiles = {file.fileName()};
    recorder.answers = {0};
    click(*window, "CmdSpectrum");
    QCOMPARE(recorder.messages.size(), 2);
    QCOMPARE(recorder.messages[0].choices, QStringList({"BP 505-530 (%)", "OD", "Cancel"}));
    QCOMPARE(recorder.messages[1].text,
             QString("Stored the measured spectrum of 'BP 505-530': 4 points, 450 to 600 nm."));
    click(form, "CmdLightPath");
    auto* table = child<QTableWidget>(*form.lightPathWindow(), "LightPathTable");
    QCOMPARE(table->item(1, 3)->text(),
             QString("passes 505 to 530 nm, centre 517 nm, measured: 4 points, 450 to 600 nm"));

    // A filter the catalogue lacks stores nothing, and says so.
    child<QLineEdit>(*window, "FilterName")->setText("Ghost");
    recorder.nextFiles = {file.fileName()};
    recorder.answers = {0};
    click(*window, "CmdSpectrum");
    QCOMPARE(recorder.messages.last().text,
             QString("'Ghost' is not in 'Potential Filters': nothing was stored."));

    // In user mode the new-filter window offers no spectrum.
    MainWindow user;
    user.load("");
    QVERIFY(child<QPushButton>(*user.newFiltersWindow(), "CmdSpectrum")->isHidden());
}

QTEST_MAIN(TestLightPathWindow)
#include "test_light_path_window.moc"
