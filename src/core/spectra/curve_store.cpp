// Storing measured curves beside the installation, through its own connection.

#include "core/spectra/curve_store.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/history/side_files.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace spectra {

namespace {

const QString& table() {
    return history::spectraTable().table;
}

QString tableName() {
    return history::statementName(table());
}

// Whether the filter has a curve, and whether it is this one from this file: compared by the engine,
// so that a stored value of any size is never copied out.
enum class Held { None, Other, Same };
bool heldFor(const Database& db, const QString& filter, const QVariantList& same, Held* held, Result* error) {
    auto row =
        db.openQuery(QStringLiteral("SELECT [Points] = ? AND IFNULL([Source], '') = IFNULL(?, '') AND "
                                    "IFNULL([Column], '') = IFNULL(?, '') FROM %1 WHERE [ID Potential] = ?")
                         .arg(tableName()),
                     same + QVariantList{filter}, error);
    if (row)
        *held = row->atEnd() ? Held::None : row->valueAt(0).toInt() == 1 ? Held::Same : Held::Other;
    return row != nullptr;
}

} // namespace

Result readStored(const QString& installationPath, std::vector<StoredCurve>* curves, QStringList* skipped) {
    curves->clear();
    const QString path = history::sidePath(installationPath, history::spectraTable());
    if (!QFileInfo::exists(path))
        return {};
    history::recoverSideFiles(installationPath);
    Database db;
    db.setNoun(QStringLiteral("The measured spectra"));
    Result error;
    if (!db.open(path, &error, Database::Access::ReadOnly))
        return error;
    if (!db.hasTable(table()))
        return {};
    // A curve longer than an import takes is not read whole: it is named and passed over.
    auto rows = db.openQuery(
        QStringLiteral(
            "SELECT [ID Potential], CASE WHEN length(CAST([Points] AS BLOB)) <= ? THEN [Points] END, "
            "[Source], [Column], [Imported] FROM %1 ORDER BY 1")
            .arg(sqlName(table())),
        {MaxFileBytes}, &error);
    if (!rows)
        return error;
    for (; !rows->atEnd(); rows->next()) {
        StoredCurve stored{rows->textAt(0), {}, rows->textAt(2), rows->textAt(3), rows->textAt(4)};
        const QString name =
            QStringLiteral("%1, the curve of '%2'").arg(QDir::toNativeSeparators(path), stored.filter);
        const QVariant points = rows->valueAt(1);
        Result read = points.isNull() ? fileFault(name, 0, QStringLiteral("larger than a spectrum."))
                                      : fromText(points.toString().toUtf8(), name, &stored.curve);
        if (read.isError()) {
            if (skipped)
                *skipped << read.description;
            continue;
        }
        curves->push_back(std::move(stored));
    }
    return rows->error();
}

Result readMeasured(const QString& installationPath, QHash<QString, Curve>* curves, QStringList* skipped) {
    curves->clear();
    std::vector<StoredCurve> stored;
    if (Result read = readStored(installationPath, &stored, skipped); read.isError())
        return read;
    for (StoredCurve& curve : stored)
        curves->insert(curve.filter, std::move(curve.curve));
    return {};
}

Result storeCurve(Database& installation, const StoredCurve& stored, Stored* outcome) {
    Result error;
    auto catalogue = installation.openQuery(
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?")
            .arg(sqlName(schema::table::PotentialFilters), sqlName(schema::field::IdPotential)),
        {stored.filter}, &error);
    if (!catalogue)
        return error;
    if (catalogue->atEnd())
        return Result::make(dberr::Refused, QStringLiteral("'%1' is not in '%2': nothing was stored.")
                                                .arg(stored.filter, schema::table::PotentialFilters));
    catalogue.reset();
    const QString points = QString::fromUtf8(toText(stored.curve));
    Held held = Held::None;
    if (!history::attachSide(installation, history::spectraTable(), Database::Access::ReadWrite, &error) ||
        !heldFor(installation, stored.filter, {points, stored.source, stored.column}, &held, &error))
        return error;
    if (held == Held::Same) {
        *outcome = Stored::Unchanged;
        return {};
    }
    const bool before = held == Held::Other;
    *outcome = before ? Stored::Replaced : Stored::Added;
    const QString imported =
        stored.imported.isEmpty() ? QDateTime::currentDateTimeUtc().toString(Qt::ISODate) : stored.imported;
    const QVariantList values{points, stored.source,
                              stored.column.isEmpty() ? QVariant() : QVariant(stored.column), imported,
                              stored.filter};
    // The values are bound in the order the marks stand: the key last in an update.
    const QString statement =
        before ? QStringLiteral("UPDATE %1 SET [Points] = ?, [Source] = ?, [Column] = ?, [Imported] = ? "
                                "WHERE [ID Potential] = ?")
               : QStringLiteral("INSERT INTO %1 ([Points], [Source], [Column], [Imported], [ID Potential]) "
                                "VALUES (?, ?, ?, ?, ?)");
    if (!installation.exec(statement.arg(tableName()), values, &error))
        return error;
    return {};
}

Result removeCurve(Database& installation, const QString& filter) {
    const Result none =
        Result::make(dberr::Refused, QStringLiteral("'%1' has no measured spectrum.").arg(filter));
    if (!QFileInfo::exists(history::sidePath(installation.path(), history::spectraTable())))
        return none;
    Result error;
    Held held = Held::None;
    if (!history::attachSide(installation, history::spectraTable(), Database::Access::ReadWrite, &error) ||
        !heldFor(installation, filter, {QString(), QString(), QString()}, &held, &error))
        return error;
    if (held == Held::None)
        return none;
    if (!installation.exec(QStringLiteral("DELETE FROM %1 WHERE [ID Potential] = ?").arg(tableName()),
                           {filter}, &error))
        return error;
    return {};
}

} // namespace spectra
