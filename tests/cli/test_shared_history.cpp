#include "support/filterctl_run.h"
#include "support/test_support.h"

#include "cli/filterctl.h"
#include "core/db/database.h"
#include "core/history/history.h"
#include "core/history/history_file.h"
#include "core/inspect/installation_check.h"
#include "core/session/placement_session.h"

#include <QProcess>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

// The history of a PC that scientists share under accounts of their own: whoever may write the
// installation may write its history and is recorded by their true name; a damaged history is
// named as the history; dry runs foresee what the real run meets; undo says what it wrote.
class TestSharedHistory : public QObject {
    Q_OBJECT
private slots:
    void recordsEveryMemberByTheirTrueName();
    void namesADamagedHistoryAsTheHistory();
    void undoSaysWhatItWrote();
    void settlesWhatAWalWriterLeftPending();
    void namesTheFullDisk();
};

using namespace testing;

namespace {

// filterctl as another account (uid and gid `id`, a member of group 100, "users"), with an
// environment that claims to be root.
Run asAccount(int id, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment;
    environment.insert("USER", "root");
    environment.insert("LOGNAME", "root");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start("/usr/bin/setpriv", QStringList{QString("--reuid=%1").arg(id),
                                                  QString("--regid=%1").arg(id), "--groups=100", FILTERCTL} +
                                          arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString workbookIn(const Sandbox& sandbox) {
    const QString copy = sandbox.path("packages.xlsx");
    QFile::copy(QString::fromLocal8Bit(qgetenv("FC_WORKBOOKS")) + "/Filter_Configurations.xlsx", copy);
    QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ReadOther | QFile::ReadGroup);
    return copy;
}

QStringList recordedUsers(const QString& database) {
    std::vector<history::Record> records;
    Result error;
    if (!history::readRecords(history::pathFor(database), {}, &records, &error))
        qFatal("%s", qPrintable(error.description));
    QStringList users;
    for (const history::Record& record : records)
        users << record.user;
    return users;
}

} // namespace

void TestSharedHistory::recordsEveryMemberByTheirTrueName() {
    if (getuid() != 0 || !QFile::exists("/usr/bin/setpriv"))
        QSKIP("needs root and setpriv to act as two other accounts");
    Sandbox sandbox;
    const QString folder = sandbox.path("");
    ::chmod(QFile::encodeName(folder).constData(), 01777);
    const QString database = sandbox.install(demoStatements(), "S.sqlite");
    ::chown(QFile::encodeName(database).constData(), 0, 100);
    ::chmod(QFile::encodeName(database).constData(), 0664);
    const QString workbook = workbookIn(sandbox);

    // The first member creates the history as the installation is: the group's, writable by it.
    const Run first = asAccount(1, {"--db", database, "apply", "--package", "CFP - YFP - RFP", workbook});
    QVERIFY2(first.status == 0, qPrintable(first.err));
    struct stat made {};
    QVERIFY(::stat(QFile::encodeName(history::pathFor(database)).constData(), &made) == 0);
    QCOMPARE(int(made.st_gid), 100);
    QCOMPARE(int(made.st_mode & 0777), 0664);
    const Run second = asAccount(2, {"--db", database, "apply", "--package", "FITC - TRITC", workbook});
    QVERIFY2(second.status == 0, qPrintable(second.err));
    QCOMPARE(recordedUsers(database), QStringList({"bin", "daemon"}));

    // A history the member may not write, beside an installation they may: named with the remedy,
    // foreseen by the dry run, nothing written.
    ::chmod(QFile::encodeName(history::pathFor(database)).constData(), 0644);
    const QByteArray before = digest(database);
    const QStringList apply{"--db", database, "apply", "--package", "CFP - YFP - RFP", workbook};
    const Run refused = asAccount(2, apply);
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.err.contains("can be written by this user (bin), its history") &&
                 refused.err.contains("daemon:users 0644") && refused.err.contains("chgrp --reference="),
             qPrintable(refused.err));
    QCOMPARE(digest(database), before);
    const Run foreseen = asAccount(2, QStringList(apply) << "--dry-run");
    QCOMPARE(foreseen.status, int(filterctl::ReadOnly));
    QVERIFY2(foreseen.err.contains("apply will be refused: ") && foreseen.err.contains("chgrp --reference="),
             qPrintable(foreseen.err));
}

void TestSharedHistory::namesADamagedHistoryAsTheHistory() {
    Sandbox sandbox;
    const QString database = sandbox.install(demoStatements());
    const QString workbook = workbookIn(sandbox);
    const QString historyFile = history::pathFor(database);
    QCOMPARE(inProcess({"apply", "--package", "CFP - YFP - RFP", workbook}).status, 0);
    QFile file(historyFile);
    QVERIFY(file.resize(file.size() / 2));
    const QByteArray before = digest(database);
    const QStringList apply{"apply", "--package", "FITC - TRITC", workbook};
    for (const QStringList& arguments : {apply, QStringList{"history"}}) {
        const Run run = inProcess(arguments);
        QVERIFY2(run.status == 2 && run.err.contains("The history of changes '") &&
                     !run.err.contains("configuration database"),
                 qPrintable(run.err));
    }
    QCOMPARE(inProcess(QStringList(apply) << "--dry-run").status, int(filterctl::ReadOnly));
    QCOMPARE(digest(database), before);

    // Set aside, renamed and kept; the next write begins a new history. A readable one stays.
    const Run aside = inProcess({"history", "--set-aside"});
    QVERIFY2(aside.status == 0 && aside.out.startsWith("set aside as "), qPrintable(aside.err));
    QCOMPARE(QDir(sandbox.path("")).entryList({"*.history.damaged-*.sqlite"}).size(), 1);
    QCOMPARE(inProcess(apply).status, 0);
    QCOMPARE(recordedUsers(database), QStringList({history::realUserName()}));
    QCOMPARE(inProcess({"history", "--set-aside"}).status, 1);
    {
        // A history in use is not damaged: it is not set aside.
        Database holder;
        holder.setNoun(history::HistoryNoun);
        QVERIFY(holder.open(historyFile, nullptr));
        QVERIFY(holder.exec("BEGIN EXCLUSIVE", QVariantList(), nullptr));
        const Run busy = inProcess({"history", "--set-aside"});
        QVERIFY2(busy.status == int(filterctl::Locked) && busy.err.contains("in use"), qPrintable(busy.err));
        holder.rollback();
        QCOMPARE(QDir(sandbox.path("")).entryList({"*.history.damaged-*.sqlite"}).size(), 1);
    }

    // The program's question may set it aside too: that write is refused, the next one recorded.
    QVERIFY(file.resize(file.size() / 2));
    history::recordEveryWrite("test");
    bool damagedAsked = false;
    history::setUnavailableQuestion([&](const QString&, bool damaged) {
        damagedAsked = damaged;
        return history::WhenUnavailable::SetAside;
    });
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false);
    QVERIFY(session.start(database).complete());
    QStringList chosen = session.installation().placement.WheelFilters[0].value();
    chosen[1] = chosen[1] == "LP 560" ? "BP 505-530" : "LP 560";
    const PlacementSession::StoreReport refused = session.storeWheel(0, chosen, {});
    QVERIFY2(!refused.stored && damagedAsked &&
                 refused.message.contains("is set aside (renamed with the date"),
             qPrintable(refused.message));
    QVERIFY(session.storeWheel(0, chosen, {}).stored);
    QCOMPARE(recordedUsers(database).size(), 1);
    QCOMPARE(QDir(sandbox.path("")).entryList({"*.history.damaged-*.sqlite"}).size(), 2);
    history::setUnavailableQuestion({});

    // The empty file an interrupted first write leaves is a history with no record yet.
    QVERIFY(file.resize(0));
    const Run empty = inProcess({"history"});
    QVERIFY2(empty.status == 0 && empty.out.isEmpty(), qPrintable(empty.err));
    QCOMPARE(inProcess({"apply", "--package", "CFP - YFP - RFP", workbook}).status, 0);
    QCOMPARE(recordedUsers(database).size(), 1);

    // A folder in its place is named as what it is, not as a record that is missing.
    QVERIFY(QFile::remove(historyFile) && QDir().mkdir(historyFile));
    const Run folder = inProcess({"undo", "1"});
    QVERIFY2(folder.status == 2 && folder.err.contains("is a folder"), qPrintable(folder.err));
    QVERIFY(QDir().rmdir(historyFile));

    // A writer that gives up on another program's lock leaves the history it created for the
    // next one, which may already hold it open: it is never removed.
    Database other;
    QVERIFY(other.open(database, nullptr));
    QVERIFY(other.exec("BEGIN IMMEDIATE", QVariantList(), nullptr));
    QCOMPARE(inProcess(apply).status, int(filterctl::Locked));
    other.rollback();
    QVERIFY(QFileInfo::exists(historyFile));
    QCOMPARE(inProcess(apply).status, 0);
    QCOMPARE(recordedUsers(database).size(), 1);
}

void TestSharedHistory::undoSaysWhatItWrote() {
    // Values kept as another program stored them (a BLOB here): an apply and its undo give the
    // rows back as they were, each with its storage type.
    Sandbox sandbox;
    const QString database = sandbox.install(
        demoStatements() << "UPDATE [Available FilterPlacement] SET [ID Potential] = CAST([ID Potential] AS "
                            "BLOB) WHERE [ID Available] = 'EF1'");
    const QString workbook = workbookIn(sandbox);
    const QStringList start = exactRows(database, "Available FilterPlacement");
    const QStringList apply{"apply", "--package", "CFP - YFP - RFP", workbook};
    QCOMPARE(inProcess(apply).status, 0);
    QCOMPARE(inProcess({"undo", "1"}).status, 0);
    QCOMPARE(exactRows(database, "Available FilterPlacement"), start);

    // A row another program deleted since: named as not restored, and not counted.
    QCOMPARE(inProcess(apply).status, 0);
    createDatabase(database, {"DELETE FROM [Available FilterPlacement] WHERE [ID Available] = 'EF1' AND "
                              "[Position] = 3"});
    QCOMPARE(inProcess({"undo", "3"}).status, 1);
    const Run forced = inProcess({"undo", "--force", "3"});
    QCOMPARE(forced.status, 0);
    QVERIFY2(forced.out.contains("\nEF1 3: not restored, the row no longer exists\n") &&
                 forced.out.endsWith("\n8 rows changed\n"),
             qPrintable(forced.out));
    history::Record undone;
    Result error;
    QVERIFY(history::readRecord(history::pathFor(database), 4, &undone, &error));
    QCOMPARE(int(undone.rows.size()), 8);

    // A dry run foresees another program's lock.
    QCOMPARE(inProcess(apply).status, 0);
    Database other;
    QVERIFY(other.open(database, nullptr));
    QVERIFY(other.exec("BEGIN IMMEDIATE", QVariantList(), nullptr));
    const Run locked = inProcess({"undo", "--dry-run", "5"});
    QCOMPARE(locked.status, int(filterctl::ReadOnly));
    QVERIFY2(locked.err.contains("undo will be refused: ") && locked.err.contains("in use"),
             qPrintable(locked.err));
    other.rollback();
}

void TestSharedHistory::settlesWhatAWalWriterLeftPending() {
    // A WAL installation commits apart from its history: the record goes first, as pending. What a
    // crash between the two leaves is settled by the next program: kept when the installation
    // holds the rows it wrote, taken out when it does not.
    Sandbox sandbox;
    const QString database = sandbox.install(demoStatements() << "PRAGMA journal_mode = WAL");
    const QString workbook = workbookIn(sandbox);
    QCOMPARE(inProcess({"apply", "--package", "CFP - YFP - RFP", workbook}).status, 0);
    QCOMPARE(inProcess({"apply", "--package", "FITC - TRITC", workbook}).status, 0);
    const QString historyFile = history::pathFor(database);
    QCOMPARE(exactRows(historyFile, "actions").filter("|null:NULL").size(), 2); // none left pending
    QCOMPARE(recordedUsers(database).size(), 2);

    // Committed, but killed before it was marked: kept.
    createDatabase(historyFile, {"UPDATE actions SET pending = 1 WHERE id = 2"});
    QCOMPARE(inProcess({"history"}).out.count('\n'), 2);
    QCOMPARE(exactRows(historyFile, "actions").filter("|null:NULL").size(), 2);
    // Killed before the installation committed (a row of it holds what it held before): taken out.
    createDatabase(historyFile, {"UPDATE actions SET pending = 1 WHERE id = 2"});
    createDatabase(database,
                   {"UPDATE [Available FilterPlacement] SET [ID Potential] = 'HFT 405/488/561' WHERE "
                    "[ID Available] = 'HT' AND [Position] = 1"});
    const Run listed = inProcess({"history"});
    QCOMPARE(listed.status, 0);
    QVERIFY2(listed.out.count('\n') == 1 && listed.out.startsWith("1  "), qPrintable(listed.out));
    QCOMPARE(inProcess({"undo", "--dry-run", "2"}).status, 2); // gone, not merely hidden
    QCOMPARE(exactRows(historyFile, "actions").size(), 1);

    // Set aside on its own connection too: the next write begins a new history beside it.
    QFile damaged(historyFile);
    QVERIFY(damaged.resize(damaged.size() / 2));
    history::setUnavailableQuestion([](const QString&, bool) { return history::WhenUnavailable::SetAside; });
    PlacementSession session(startup::Variant::Service);
    session.setWriteFavourites(false);
    QVERIFY(session.start(database).complete());
    QStringList chosen = session.installation().placement.WheelFilters[0].value();
    chosen[2] = chosen[2] == "LP 560" ? "BP 505-530" : "LP 560";
    QVERIFY(!session.storeWheel(0, chosen, {}).stored);
    QVERIFY(session.storeWheel(0, chosen, {}).stored);
    QCOMPARE(recordedUsers(database).size(), 1);
    QCOMPARE(QDir(sandbox.path("")).entryList({"*.history.damaged-*.sqlite"}).size(), 1);
    history::setUnavailableQuestion({});
}

void TestSharedHistory::namesTheFullDisk() {
    // A small file system, filled up to a few kilobytes: each write is refused whole, naming the
    // file that could not grow, and the installation stays sound.
    QTemporaryDir mountPoint;
    if (getuid() != 0 ||
        QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", mountPoint.path()}) != 0)
        QSKIP("needs root and a tmpfs mount to fill a disk");
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {mountPoint.path()}); });
    const QString database = mountPoint.filePath("S.sqlite");
    createDatabase(database, demoStatements());
    Sandbox sandbox;
    const QString workbook = workbookIn(sandbox);
    int refused = 0;
    for (int free : {8, 16, 24, 32, 48}) {
        QFile::remove(history::pathFor(database));
        QFile::remove(mountPoint.filePath("fill"));
        QProcess df;
        df.start("df", {"--output=avail", "-k", mountPoint.path()});
        df.waitForFinished();
        const int available =
            QString::fromLatin1(df.readAllStandardOutput()).split('\n').value(1).trimmed().toInt();
        QFile fill(mountPoint.filePath("fill"));
        QVERIFY(fill.open(QIODevice::WriteOnly));
        fill.write(QByteArray(qMax(0, available - free) * 1024, '\0'));
        fill.close();
        for (const QStringList& apply : {QStringList{"--no-history", "--package", "CFP - YFP - RFP"},
                                         QStringList{"--package", "FITC - TRITC"}}) {
            const QStringList before = exactRows(database, "Available FilterPlacement");
            const Run run = inProcess(QStringList{"--db", database, "apply"} + apply << workbook);
            if (run.status == 0)
                continue;
            ++refused;
            QVERIFY2(run.err.contains("cannot grow: the disk is full") &&
                         run.err.contains("Nothing was stored.") && run.err.count('\n') == 1,
                     qPrintable(run.err));
            QCOMPARE(exactRows(database, "Available FilterPlacement"), before);
        }
        QCOMPARE(checkFileLines(database).join('\n'), QString("no findings"));
    }
    QVERIFY(refused > 0);
}

QTEST_GUILESS_MAIN(TestSharedHistory)
#include "test_shared_history.moc"
