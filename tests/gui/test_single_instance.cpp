#include "apps/filter/single_instance.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondInstanceActivatesTheFirst();
    void secondStartOfTheProgramEndsAtOnce();
    void theProgramStartsWhileItReads();
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
    QVERIFY(!SingleInstance(key + QStringLiteral("-none")).activateRunning(100));

    // What a start that died leaves in the temporary folder does not keep the next from listening.
    const QString leftKey = key + QStringLiteral("-left");
    for (const QString& suffix : {QStringLiteral(".socket"), QStringLiteral(".lock")}) {
        QFile left(QDir(QDir::tempPath()).filePath(leftKey + suffix));
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.write("99999999\n"); // as a lock, a process that is gone
    }
    SingleInstance next(leftKey);
    QVERIFY(next.acquire());
    QSignalSpy knocked(&next, &SingleInstance::activationRequested);
    QVERIFY(SingleInstance(leftKey).activateRunning());
    QVERIFY(knocked.wait(3000));
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

// The program begins reading before Qt's application object exists; it must show its window in
// either mode, and where Qt takes an option out of the command line (the start begun early is then
// not the one asked for) too, without a word from Qt or the engine.
void TestSingleInstance::theProgramStartsWhileItReads() {
    testing::Sandbox sandbox;
    sandbox.install(testing::smallInstallation());
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"/S"}, QStringList{"/S", "-style", "fusion"}}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FILTER_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(FILTER_EXECUTABLE), arguments);
        QVERIFY2(program.waitForFinished(20000), qPrintable(arguments.join(' ')));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(program.readAllStandardOutput().trimmed().toLongLong() > 0);
        QStringList said = QString::fromUtf8(program.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        said.removeIf([](const QString& line) {
            return line.startsWith(QLatin1String("This plugin does not support")) ||
                   line.startsWith(QLatin1String("QStandardPaths:"));
        });
        QVERIFY2(said.isEmpty(), qPrintable(said.join('\n')));
    }
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
