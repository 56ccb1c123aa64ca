#include "gui/lightpath/light_path_window.h"
#include "gui/mainwindow/main_window.h"
#include "gui/window_position.h"
#include "plot/light_path_plot.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QPainter>
#include <QProcess>
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

} // namespace

void TestLightPathWindow::drawsAMirrorAcrossTheAxis() {
    // A mirror's edge is stored at 1000 nm: it reflects everything, drawn over the whole axis.
    Band mirror;
    mirror.shape = Band::Shape::Edge;
    mirror.from = 1000;
    LightPath path;
    path.lanes.push_back({"NT1", 15, false, {{"1", {"Mirror", "NT", "", mirror, nullptr}, std::nullopt}}});
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
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    DialogRecorder recorder;
    MainWindow form;
    form.load("/S");
    click(form, "CmdLightPath");
    LightPathWindow* window = form.lightPathWindow();
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

QTEST_MAIN(TestLightPathWindow)
#include "test_light_path_window.moc"
