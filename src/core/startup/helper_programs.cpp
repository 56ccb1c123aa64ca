#include "core/startup/helper_programs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace helpers {

namespace {
QString& namedFolder() {
    static QString folder;
    return folder;
}
} // namespace

void setFolder(const QString& folder) {
    namedFolder() = folder;
}

QString folder() {
    return namedFolder();
}

QString program(const QString& name) {
    if (!namedFolder().isEmpty())
        return QDir(namedFolder()).filePath(name);
    const QDir programs(QCoreApplication::applicationDirPath());
    const QString beside = programs.filePath(name);
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(programs.filePath(QStringLiteral(FC_HELPER_FROM_BINDIR "/") + name));
}

} // namespace helpers
