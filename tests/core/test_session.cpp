#include "core/session/placement_session.h"
#include "support/test_support.h"

#include <QtTest>

// The start-up's decisions, made once in the session for the windows and filterctl alike: which
// file is opened, which load runs, what the board offers.
class TestSession : public QObject {
    Q_OBJECT
private slots:
    void readsCommandLinesAndVersions();
    void startsEachVariantOnce();
    void preparesTheBoardForAnotherFile();
    void refusesAStoreThatWouldStopTheLoad();
};

using Loader = PlacementSession::Loader;
using startup::Variant;

namespace {

QString install(QTemporaryDir& dir, const QString& name, const QStringList& statements) {
    const QString path = dir.filePath(name);
    testing::createDatabase(path, statements);
    return path;
}

} // namespace

void TestSession::readsCommandLinesAndVersions() {
    // Read as a numeric literal: the leading number, 0 when there is none.
    QCOMPARE(startup::versionNumber("2.0499"), 20499);
    QCOMPARE(startup::versionNumber(" 2.1 beta"), 21000);
    QCOMPARE(startup::versionNumber("v2.1"), 0);
    for (const QString& bad : {QString("/S /S"), QString("-S"), QString(" /S"), QString("/x")})
        QCOMPARE(startup::variantOf(bad), Variant::Invalid);
    QCOMPARE(startup::variantOf("/s"), Variant::Service);
    QCOMPARE(startup::variantOf(""), Variant::User);
}

void TestSession::startsEachVariantOnce() {
    QTemporaryDir dir;
    QStringList small = testing::smallInstallation();
    small << "INSERT INTO [Available FilterSets] VALUES ('FW1', 'Do not use')";
    const QString plain = install(dir, "plain.sqlite", small);

    // A refused command line opens nothing, not even an existing file.
    PlacementSession invalid(Variant::Invalid);
    const auto refused = invalid.start(plain);
    QVERIFY(!refused.opened && !refused.error.isError() && !invalid.database().isOpen());

    // A user: the filter-cube turrets only, the other modes not offered, the FW1 rule applied.
    PlacementSession user(Variant::User);
    auto report = user.start(plain);
    QVERIFY(report.opened && report.complete());
    QCOMPARE(report.loader, Loader::User);
    QCOMPARE(user.path(), plain);
    const WheelBoard& board = user.installation().board;
    QCOMPARE(board.modeVisible, (std::array<bool, 3>{{false, true, false}}));
    QCOMPARE(board.buttons[wheels::Fw1Wheel].caption, QString("FW1"));

    // A MARLIN scan unit: every wheel for the user too, every mode shown.
    QStringList marlinRows = testing::smallInstallation("2.05", "LSM 710 marlin");
    marlinRows.replaceInStrings("('FW1', NULL)", "('FW1', 'Do not use')");
    PlacementSession marlin(Variant::User);
    report = marlin.start(install(dir, "marlin.sqlite", marlinRows));
    QCOMPARE(report.loader, Loader::AllWheels);
    QVERIFY(marlin.marlin() && report.complete());
    QCOMPARE(marlin.installation().board.modeVisible, (std::array<bool, 3>{{true, true, true}}));

    // An FCS unit without a scan unit: its own load in service mode, the user's load otherwise.
    const QString fcs = install(dir, "fcs.sqlite", testing::smallInstallation("2.05", "None", "FCS 3"));
    PlacementSession service(Variant::Service);
    QCOMPARE(service.start(fcs).loader, Loader::FcsUnit);
    PlacementSession fcsUser(Variant::User);
    QCOMPARE(fcsUser.start(fcs).loader, Loader::User);

    // A file that is not there: not opened, the reason given, the path kept for the message.
    PlacementSession missing(Variant::Service);
    report = missing.start(dir.filePath("gone.sqlite"));
    QVERIFY(!report.opened && report.error.code == dberr::EngineFileNotFound);
    QCOMPARE(missing.path(), dir.filePath("gone.sqlite"));
}

void TestSession::preparesTheBoardForAnotherFile() {
    QTemporaryDir dir;
    PlacementSession session(Variant::Service);
    QVERIFY(session.start(install(dir, "demo.sqlite", testing::demoStatements())).complete());
    session.prepareForAnotherFile();
    const WheelBoard& board = session.installation().board;
    QCOMPARE(board.modeEnabled, (std::array<bool, 3>{{false, false, false}}));
    for (int wheel : wheels::wheelsOfMode(wheels::Mode::EmissionFilters)) {
        if (wheels::button(wheel).kind == wheels::SetKind::FcsEmission)
            QVERIFY(!board.buttons[wheel].visible);
        else
            QVERIFY(!board.buttons[wheel].enabled);
    }
}

void TestSession::refusesAStoreThatWouldStopTheLoad() {
    // A filter the catalogue lacks, placed already in a row the load never reads (no such wheel is
    // installed): the installation starts, and placing it where the load reads it is refused.
    QTemporaryDir dir;
    const QString path = install(dir, "ghost.sqlite",
                                 testing::demoStatements()
                                     << "INSERT INTO [Available FilterPlacement] VALUES ('EF9', 1, 'Ghost')");
    PlacementSession session(Variant::Service);
    session.setWriteFavourites(false);
    QVERIFY(session.start(path).complete());
    const QStringList before = testing::placementRows(path);
    QStringList chosen = session.installation().placement.WheelFilters[0].value();
    chosen[1] = "Ghost";
    const PlacementSession::StoreReport report =
        session.storeWheel(0, chosen, [](const QString&) { return true; });
    QVERIFY(!report.stored);
    QVERIFY2(report.message.startsWith("The filter 'Ghost' (EF1 2) is not in 'Potential Filters'"),
             qPrintable(report.message));
    QCOMPARE(testing::placementRows(path), before);
    QVERIFY(PlacementSession(Variant::Service).start(path).complete());
}

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
