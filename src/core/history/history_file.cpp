// The history file as a file; see history_file.h.

#include "core/history/history_file.h"

#include "core/history/history.h"

#include "core/db/database.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <vector>

namespace history {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

#ifdef Q_OS_UNIX
QString accountName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("uid %1").arg(uid);
}

QString groupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QStringLiteral("gid %1").arg(gid);
}

// "root:users 0664".
QString ownership(const struct stat& info) {
    return QStringLiteral("%1:%2 %3")
        .arg(accountName(info.st_uid), groupName(info.st_gid))
        .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
}

bool statOf(const QString& path, struct stat* info) {
    return ::stat(QFile::encodeName(path).constData(), info) == 0;
}

bool writable(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

QString quoted(const QString& path) {
    return QLatin1Char('\'') + QString(path).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}
#endif

} // namespace

QString realUserName() {
#ifdef Q_OS_UNIX
    return accountName(getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

QString realHostName() {
#ifdef Q_OS_UNIX
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0)
        return QString::fromLocal8Bit(name);
#endif
    return QSysInfo::machineHostName();
}

bool createLike(const QString& historyPath, const QString& installationPath, QString* why) {
#ifdef Q_OS_UNIX
    struct stat installation {};
    if (!statOf(installationPath, &installation)) {
        *why = QStringLiteral("'%1' cannot be read").arg(shown(installationPath));
        return false;
    }
    const mode_t mode = installation.st_mode & 0666;
    const int file =
        ::open(QFile::encodeName(historyPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (file < 0) {
        if (errno == EEXIST)
            return true; // another writer made it a moment before: it is theirs to have set
        *why = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    // The group (and, for root, the owner) first, then the bits the umask took away. A user who is
    // no member of the group keeps their own: the message for the next writer names the remedy.
    const uid_t owner = geteuid() == 0 ? installation.st_uid : uid_t(-1);
    if (fchown(file, owner, installation.st_gid) != 0 && owner != uid_t(-1))
        (void)!fchown(file, uid_t(-1), installation.st_gid);
    (void)!fchmod(file, mode);
    ::close(file);
    return true;
#else
    QFile file(historyPath);
    if (file.exists() || file.open(QIODevice::WriteOnly))
        return true;
    *why = file.errorString();
    return false;
#endif
}

QString permissionProblem(const QString& historyPath, const QString& installationPath) {
#ifdef Q_OS_UNIX
    struct stat history {};
    struct stat installation {};
    if (!statOf(historyPath, &history) || !statOf(installationPath, &installation) || writable(historyPath) ||
        !writable(installationPath))
        return QString();
    return QStringLiteral("'%1' (%2) can be written by this user (%3), its history '%4' (%5) cannot. The "
                          "history's owner or an administrator mends it with: chgrp --reference=%6 %7 && "
                          "chmod --reference=%6 %7")
        .arg(shown(installationPath), ownership(installation), realUserName(), shown(historyPath),
             ownership(history), quoted(installationPath), quoted(historyPath));
#else
    Q_UNUSED(historyPath)
    Q_UNUSED(installationPath)
    return QString();
#endif
}

Result checkUsable(const QString& installationPath) {
    const QString path = pathFor(installationPath);
    const QFileInfo file(path);
    if (!file.exists()) {
        if (QFileInfo(file.absolutePath()).isWritable())
            return {};
        return Result::make(dberr::ReadOnly,
                            QStringLiteral("%1 '%2' cannot be created: its folder cannot be written.")
                                .arg(HistoryNoun, shown(path)));
    }
    if (file.isDir() || !file.isReadable())
        return Result::make(dberr::CannotOpen,
                            QStringLiteral("%1 '%2' cannot be opened: it is not a readable file.")
                                .arg(HistoryNoun, shown(path)));
    if (const QString problem = permissionProblem(path, installationPath); !problem.isEmpty())
        return Result::make(dberr::ReadOnly, problem);
    if (!file.isWritable())
        return Result::make(dberr::ReadOnly,
                            QStringLiteral("%1 '%2' cannot be written.").arg(HistoryNoun, shown(path)));
    Result read;
    return checkReadable(path, &read) ? Result() : read;
}

Result setAside(const QString& installationPath, QString* setAsidePath) {
    const QString path = pathFor(installationPath);
    if (!QFileInfo(path).isFile())
        return Result::make(
            dberr::Refused,
            QStringLiteral("%1 '%2' is not there: nothing was set aside.").arg(HistoryNoun, shown(path)));
    Result read;
    if (checkReadable(path, &read))
        return Result::make(
            dberr::Refused,
            QStringLiteral("%1 '%2' can be read: nothing was set aside.").arg(HistoryNoun, shown(path)));
    // Only damage: a history in use, or one this user may not read, is not set aside.
    if (read.code != dberr::Damaged && read.code != dberr::NotADatabase)
        return read;
    const QFileInfo file(path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int again = 1; again == 1 || QFileInfo::exists(*setAsidePath); ++again)
        *setAsidePath = file.dir().filePath(file.completeBaseName() + QStringLiteral(".damaged-") + stamp +
                                            (again > 1 ? QStringLiteral("-%1").arg(again) : QString()) +
                                            QStringLiteral(".sqlite"));
    if (!QFile::rename(path, *setAsidePath))
        return Result::make(dberr::CannotOpen, QStringLiteral("%1 '%2' cannot be renamed to '%3'.")
                                                   .arg(HistoryNoun, shown(path), shown(*setAsidePath)));
    const QString journal = path + QStringLiteral("-journal");
    if (QFileInfo::exists(journal))
        QFile::rename(journal, *setAsidePath + QStringLiteral("-journal"));
    return {};
}

QString completeRecords(const Database& history) {
    return history.fieldNames(QStringLiteral("actions")).contains(QStringLiteral("pending"))
               ? QStringLiteral("pending IS NULL")
               : QString();
}

bool openForReading(const QString& path, Database* db, Result* error) {
    const QFileInfo file(path);
    if (!file.exists() || (file.isFile() && file.size() == 0))
        return false;
    db->setNoun(HistoryNoun);
    const bool interrupted = QFileInfo(path + QStringLiteral("-journal")).size() > 0;
    if (interrupted && file.isWritable() && db->open(path, error, Database::Access::ReadWrite))
        return db->hasTable(QStringLiteral("actions"));
    return db->open(path, error, Database::Access::ReadOnly) && db->hasTable(QStringLiteral("actions"));
}

} // namespace history
