// The fleet's record in git; see git_record.h.

#include "core/fleet/git_record.h"

#include "core/history/history_file.h"
#include "core/session/placement_session.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace fleet {

namespace {

constexpr int ShownChanges = 50; // lines of a commit message; the rest is counted

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Runs git in the working copy as the real user (author and committer), whatever git's own
// configuration says or lacks; what it prints, when asked.
Result git(const QString& repository, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString user = history::realUserName();
    const QString email = user + QLatin1Char('@') + history::realHostName();
    for (const char* role : {"AUTHOR", "COMMITTER"}) {
        environment.insert(QStringLiteral("GIT_%1_NAME").arg(QLatin1String(role)), user);
        environment.insert(QStringLiteral("GIT_%1_EMAIL").arg(QLatin1String(role)), email);
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("git"), QStringList{QStringLiteral("-C"), repository} + arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return Result::make(dberr::BadFile,
                            QStringLiteral("git %1 in '%2' failed: %3")
                                .arg(arguments.value(0), shown(repository),
                                     process.error() == QProcess::FailedToStart
                                         ? QStringLiteral("git is not installed")
                                         : QString::fromLocal8Bit(process.readAllStandardError()).trimmed()));
    if (output)
        *output = process.readAllStandardOutput();
    return {};
}

QString commitMessage(const Snapshot::Identity& identity, const QStringList& changes) {
    QString message =
        QStringLiteral("%1 | %2 | %3: ").arg(identity.configuration, identity.stand, identity.scanUnit);
    message += changes.isEmpty()
                   ? QStringLiteral("first snapshot")
                   : QStringLiteral("%1 %2")
                         .arg(changes.size())
                         .arg(changes.size() == 1 ? QStringLiteral("change") : QStringLiteral("changes"));
    if (!changes.isEmpty())
        message += QStringLiteral("\n\n") + QStringList(changes.mid(0, ShownChanges)).join(QLatin1Char('\n'));
    if (changes.size() > ShownChanges)
        message += QStringLiteral("\nand %1 more").arg(changes.size() - ShownChanges);
    return message;
}

} // namespace

QString snapshotFileName(const Snapshot::Identity& identity, const QString& host) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._]+"));
    QStringList parts;
    for (const QString& part : {identity.configuration, identity.stand, identity.scanUnit, host})
        parts << QString(part).replace(unsafe, QStringLiteral("_")).left(60);
    return parts.join(QLatin1Char('-')) + QStringLiteral(".json");
}

Result recordInGit(PlacementSession& session, const QString& repository, GitRecord* record) {
    *record = GitRecord();
    if (Result inside =
            git(repository, {QStringLiteral("rev-parse"), QStringLiteral("--is-inside-work-tree")});
        inside.isError())
        return Result::make(
            dberr::BadFile,
            QStringLiteral("'%1' is not a git working copy: %2").arg(shown(repository), inside.description));
    Snapshot snapshot;
    Result error;
    if (!readSnapshot(session, &snapshot, &error))
        return error;
    record->file = QDir(repository).filePath(snapshotFileName(snapshot.identity, history::realHostName()));
    const bool before = QFileInfo::exists(record->file);
    if (before) {
        Snapshot committed;
        std::vector<Difference> differences;
        if (!readSnapshotFile(record->file, &committed, &error) ||
            !diffSnapshots(committed, snapshot, &differences, &error))
            return Result::make(
                dberr::BadFile,
                QStringLiteral("'%1' cannot be compared: %2").arg(shown(record->file), error.description));
        for (const Difference& difference : differences)
            record->changes << difference.text();
        if (record->changes.isEmpty())
            return {};
    }
    if (const Result written = writeSnapshotFile(snapshot, record->file); written.isError())
        return written;
    const QString name = QFileInfo(record->file).fileName();
    if (Result added = git(repository, {QStringLiteral("add"), QStringLiteral("--"), name}); added.isError())
        return added;
    if (Result commit =
            git(repository, {QStringLiteral("commit"), QStringLiteral("--quiet"), QStringLiteral("-m"),
                             commitMessage(snapshot.identity, record->changes), QStringLiteral("--"), name});
        commit.isError())
        return commit;
    record->committed = true;
    return {};
}

} // namespace fleet

namespace fleet {

std::vector<GitCommit> commitsOf(const QString& file, int count) {
    const QFileInfo info(file);
    QByteArray log;
    // Fields and records apart by the separators ASCII keeps for them; no text of a commit holds them.
    if (git(info.absolutePath(),
            {QStringLiteral("log"), QStringLiteral("-n"), QString::number(count),
             QStringLiteral("--format=%aI%x1f%an%x1f%s%x1f%b%x1e"), QStringLiteral("--"), info.fileName()},
            &log)
            .isError())
        return {};
    std::vector<GitCommit> commits;
    for (const QByteArray& entry : log.split('\x1e')) {
        const QList<QByteArray> fields = entry.trimmed().split('\x1f');
        if (fields.size() < 4)
            continue;
        QStringList changes;
        for (const QByteArray& line : fields[3].split('\n'))
            if (!line.trimmed().isEmpty())
                changes << QString::fromUtf8(line.trimmed());
        commits.push_back(
            {QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]),
             changes.isEmpty() ? QString::fromUtf8(fields[2]) : changes.join(QStringLiteral("; "))});
    }
    return commits;
}

} // namespace fleet
