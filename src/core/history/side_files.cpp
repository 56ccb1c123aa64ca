// The files beside the installation that its writes attach.

#include "core/history/side_files.h"

#include "core/db/cursor.h"
#include "core/history/history_file.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace history {

const SideTable& spectraTable() {
    static const SideTable side{
        QStringLiteral("Transmission Spectra"), QStringLiteral("spectra"), QStringLiteral(".spectra.sqlite"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS spectra.[Transmission Spectra] ([ID Potential] TEXT "
            "PRIMARY KEY, [Points] TEXT NOT NULL, [Source] TEXT, [Column] TEXT, [Imported] TEXT)")};
    return side;
}

const SideTable* sideTableNamed(const QString& table) {
    return table == spectraTable().table ? &spectraTable() : nullptr;
}

QString sidePath(const QString& installationPath, const SideTable& side) {
    const QFileInfo file(installationPath);
    return file.dir().filePath(file.completeBaseName() + side.fileSuffix);
}

QString statementName(const QString& table) {
    const SideTable* side = sideTableNamed(table);
    return side ? side->schema + QLatin1Char('.') + sqlName(table) : sqlName(table);
}

namespace {

bool isAttached(const Database& db, const QString& schema, Result* error) {
    auto list =
        db.openQuery(QStringLiteral("SELECT 1 FROM pragma_database_list WHERE name = ?"), {schema}, error);
    return list && !list->atEnd();
}

} // namespace

bool attachSide(const Database& db, const SideTable& side, Database::Access access, Result* error) {
    if (isAttached(db, side.schema, error))
        return true;
    const QString path = sidePath(db.path(), side);
    const bool writing = access == Database::Access::ReadWrite;
    if (!QFileInfo::exists(path)) {
        QString why;
        if (!writing)
            return false;
        if (!createLike(path, db.path(), &why))
            return fail(
                error, dberr::ReadOnly,
                QStringLiteral("'%1' cannot be created: %2").arg(QDir::toNativeSeparators(path), why));
    }
    const QString uri =
        QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded()) +
        (writing ? QStringLiteral("?mode=rw") : QStringLiteral("?mode=ro"));
    if (!db.exec(QStringLiteral("ATTACH DATABASE ? AS %1").arg(side.schema), {uri}, error))
        return false;
    return !writing || db.exec(side.create, {}, error);
}

} // namespace history
