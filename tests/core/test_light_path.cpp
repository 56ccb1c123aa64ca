#include "support/test_support.h"

#include "core/inspect/light_path.h"
#include "core/session/placement_session.h"

#include <QtTest>

// The band each kind of filter is drawn as, as values, and the lanes of an installation.
class TestLightPath : public QObject {
    Q_OBJECT
private slots:
    void drawsEachTypeAsItsBand();
    void laysOutAnInstallation();
};

using namespace testing;
using Shape = Band::Shape;

void TestLightPath::drawsEachTypeAsItsBand() {
    const Band pass = bandOf("BP", 505, std::nullopt, 530, std::nullopt);
    QCOMPARE(pass.shape, Shape::Pass);
    QCOMPARE(pass.centre, 517.5); // the middle when the centre is Null
    QCOMPARE(bandOf("BP", 505, 520, 530, std::nullopt).centre, 520.0);
    // A long pass is stored to 1000 nm: its edge is what counts, not its stored end.
    const Band longPass = bandOf("LP", 560, std::nullopt, 1000, std::nullopt);
    QCOMPARE(longPass.shape, Shape::LongPass);
    QCOMPARE(longPass.extent(), std::vector<double>{560});
    const Band shortPass = bandOf("KP", 200, std::nullopt, 685, std::nullopt);
    QCOMPARE(shortPass.shape, Shape::ShortPass);
    QCOMPARE(shortPass.extent(), std::vector<double>{685});
    QCOMPARE(bandOf("NF", 478, 488, 498, std::nullopt).shape, Shape::Notch);
    const Band splitter = bandOf("HFT", std::nullopt, std::nullopt, std::nullopt, 488);
    QCOMPARE(splitter.shape, Shape::Lines);
    QCOMPARE(splitter.lines, std::vector<double>{488});
    const Band secondary = bandOf("NFT", std::nullopt, std::nullopt, std::nullopt, 545);
    QCOMPARE(secondary.shape, Shape::Edge);
    QCOMPARE(secondary.from, 545.0);
    // Null values, and a beam splitter without its line, have nothing to draw.
    QCOMPARE(bandOf("BP", std::nullopt, 520, 530, std::nullopt).shape, Shape::NoValues);
    QCOMPARE(bandOf("NT", std::nullopt, std::nullopt, std::nullopt, std::nullopt).shape, Shape::NoValues);
    QCOMPARE(bandOf("FW1", 400, 450, 500, std::nullopt).shape, Shape::NoValues);
    LightPath::Filter none{"NT 80/20", "NT", "", bandOf("NT", {}, {}, {}, {}), nullptr};
    QCOMPARE(none.describe(), QString("NT 80/20, NT: no wavelengths in the catalogue"));
}

void TestLightPath::laysOutAnInstallation() {
    Sandbox sandbox;
    const QString path =
        sandbox.install(demoStatements() << "UPDATE [Potential Filters] SET [Lower Wavelength] = 320 "
                                            "WHERE [ID Potential] = 'BP 505-530'");
    PlacementSession session(startup::Variant::Service);
    QVERIFY(session.start(path).complete());
    // EF1 position 2 chosen in the main window, not stored; position 3 chosen as it is stored.
    const LightPath light =
        lightPathOfMode(session.database(), session.installation(), wheels::Mode::EmissionFilters, 0,
                        {"None", "LP 560", "BP 505-550"});
    std::vector<ExportedWheel> emission;
    for (const ExportedWheel& wheel : exportedWheels(session.database(), session.installation()))
        if (wheel.mode == wheels::Mode::EmissionFilters)
            emission.push_back(wheel);
    QCOMPARE(int(light.lanes.size()), int(emission.size()));
    QVERIFY(light.lanes[0].shown && !light.lanes[1].shown);
    const LightPath::Position& second = light.lanes[0].positions[1];
    QCOMPARE(second.stored.name, QString("BP 505-530"));
    QCOMPARE(second.stored.code, QString("000000-1104-321"));
    QVERIFY(second.chosen && second.chosen->band.shape == Shape::LongPass);
    QVERIFY(!light.lanes[0].positions[0].chosen); // unchanged: nothing beside it
    QVERIFY(!light.lanes[0].positions[2].chosen);
    QCOMPARE(light.axisFrom, 300.0); // widened to the data
    QCOMPARE(light.axisTo, 800.0);   // not to a long pass's stored 1000 nm
}

QTEST_GUILESS_MAIN(TestLightPath)
#include "test_light_path.moc"
