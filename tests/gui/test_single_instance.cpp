#include "apps/filter/single_instance.h"
#include "support/test_support.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondInstanceActivatesTheFirst();
    void secondStartOfTheProgramEndsAtOnce();
};

void TestSingleInstance::secondInstanceActivatesTheFirst() {
    const QString key = QStringLiteral("fc-test-%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(key);
    QVERIFY(first.acquire());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    SingleInstance second(key);
    QVERIFY(!second.acquire());
    QVERIFY(second.activateRunning());
    QVERIFY(activated.wait(3000));

    SingleInstance other(key + QStringLiteral("-other"));
    QVERIFY(other.acquire());
}

void TestSingleInstance::secondStartOfTheProgramEndsAtOnce() {
    testing::Sandbox sandbox;
    sandbox.install(testing::smallInstallation());
    QProcess first;
    first.start(QStringLiteral(FILTER_EXECUTABLE), {"/S"});
    QVERIFY(first.waitForStarted());
    // Wait until the first one listens.
    SingleInstance probe(SingleInstance::keyForCurrentUser());
    QVERIFY(probe.activateRunning(10000));

    QProcess second;
    second.start(QStringLiteral(FILTER_EXECUTABLE), {"/S"});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
