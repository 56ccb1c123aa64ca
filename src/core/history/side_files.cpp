// The files beside the installation that its writes attach.

#include "core/history/side_files.h"

#include "core/db/cursor.h"
#include "core/db/engine_guard.h"
#include "core/history/history_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <sqlite3.h>

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

// The table of that name in the attached file is the program's: the same name, a rowid, its fields.
bool isOurs(const Database& db, const SideTable& side, bool* exists, Result* error) {
    auto found = db.openQuery(
        QStringLiteral(
            "SELECT name, sql FROM %1.sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE")
            .arg(side.schema),
        {side.table}, error);
    if (!found)
        return false;
    *exists = !found->atEnd();
    if (!*exists)
        return true;
    const QString sql = found->textAt(1);
    if (found->textAt(0) == side.table &&
        !sql.contains(QStringLiteral("WITHOUT ROWID"), Qt::CaseInsensitive)) {
        auto fields =
            db.openQuery(QStringLiteral("SELECT count(*) FROM pragma_table_info(?, ?) WHERE name IN "
                                        "('ID Potential', 'Points', 'Source', 'Column', 'Imported')"),
                         {side.table, side.schema}, error);
        if (fields && !fields->atEnd() && fields->valueAt(0).toInt() == 5)
            return true;
    }
    return fail(error, dberr::Refused,
                QStringLiteral("'%1' holds a table '%2' that is not this program's: nothing was written.")
                    .arg(QDir::toNativeSeparators(sidePath(db.path(), side)), found->textAt(0)));
}

} // namespace

bool attachSide(const Database& db, const SideTable& side, Database::Access access, Result* error,
                bool create) {
    if (isAttached(db, side.schema, error))
        return true;
    const QString path = sidePath(db.path(), side);
    const bool writing = access == Database::Access::ReadWrite;
    if (!QFileInfo::exists(path)) {
        QString why;
        if (!writing || !create)
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
    bool exists = false;
    if (!isOurs(db, side, &exists, error)) {
        (void)db.exec(QStringLiteral("DETACH DATABASE %1").arg(side.schema), {}, nullptr);
        return false;
    }
    // Made only where missing: making it is a write of its own, with the installation's lock.
    return exists || !writing || db.exec(side.create, {}, error);
}

void recoverSideFiles(const QString& installationPath) {
    for (const SideTable* side : {&spectraTable()}) {
        const QString path = sidePath(installationPath, *side);
        const QFileInfo journal(path + QStringLiteral("-journal"));
        if (!journal.exists() || journal.size() == 0 || !QFileInfo(path).isWritable())
            continue;
        // A writing connection's first read rolls a hot journal back.
        sqlite3* engine = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &engine, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK) {
            sqlite3_busy_timeout(engine, 750);
            engine_guard::harden(engine, path);
            sqlite3_exec(engine, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        }
        sqlite3_close_v2(engine);
    }
}

} // namespace history
