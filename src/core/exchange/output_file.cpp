// What a command writes; see output_file.h.

#include "core/exchange/output_file.h"

#include "core/history/history.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace output {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Whether two names lead to one file: the same resolved path, or (where the system tells) the
// same device and inode, as a hard link is.
bool sameFile(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (!first.exists() || !second.exists())
        return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
    if (first.canonicalFilePath() == second.canonicalFilePath())
        return true;
#ifdef Q_OS_UNIX
    struct stat one {};
    struct stat two {};
    return ::stat(QFile::encodeName(a).constData(), &one) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &two) == 0 && one.st_dev == two.st_dev &&
           one.st_ino == two.st_ino;
#else
    return false;
#endif
}

} // namespace

QStringList installationFiles(const QString& databasePath) {
    QStringList files;
    for (const QString& file : {databasePath, history::pathFor(databasePath)})
        files << file << file + QStringLiteral("-journal") << file + QStringLiteral("-wal")
              << file + QStringLiteral("-shm");
    return files;
}

Result checkNotAnInput(const QString& path, const QStringList& inputs) {
    if (path.isEmpty())
        return Result::make(dberr::BadFile, QStringLiteral("an empty name names no file to write"));
    for (const QString& input : inputs) {
        if (input.isEmpty() || !sameFile(path, input))
            continue;
        const QString read = QDir::cleanPath(input);
        return Result::make(
            dberr::BadFile,
            QDir::cleanPath(path) == read
                ? QStringLiteral("'%1' is a file this command reads: nothing was written").arg(shown(path))
                : QStringLiteral("'%1' is '%2', which this command reads: nothing was written")
                      .arg(shown(path), shown(read)));
    }
    return {};
}

Result writeWhole(const QString& path, const std::function<bool(const QString& temporaryPath)>& write) {
    const QFileInfo target(path);
    QTemporaryFile temporary(
        target.absoluteDir().filePath(target.fileName() + QStringLiteral(".XXXXXX.part")));
    temporary.setAutoRemove(true);
    if (!temporary.open())
        return Result::make(
            dberr::BadFile,
            QStringLiteral("'%1' cannot be written: %2").arg(shown(path), temporary.errorString()));
    temporary.close();
    const QString written = temporary.fileName();
    if (!write(written))
        return Result::make(dberr::BadFile, QStringLiteral("'%1' cannot be written").arg(shown(path)));
    // The temporary file's own permissions (0600) would keep the file from others who could read the old one.
    QFile::setPermissions(written, target.exists() ? QFile::permissions(path)
                                                   : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                         QFile::ReadOther);
#ifdef Q_OS_UNIX
    const bool renamed =
        std::rename(QFile::encodeName(written).constData(), QFile::encodeName(path).constData()) == 0;
#else
    const bool renamed = (!QFile::exists(path) || QFile::remove(path)) && QFile::rename(written, path);
#endif
    if (!renamed)
        return Result::make(dberr::BadFile, QStringLiteral("'%1' cannot be written").arg(shown(path)));
    temporary.setAutoRemove(false); // it is the file now
    return {};
}

Result writeWhole(const QString& path, const QByteArray& bytes) {
    return writeWhole(path, [&bytes](const QString& temporaryPath) {
        QFile file(temporaryPath);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
               file.flush();
    });
}

} // namespace output
