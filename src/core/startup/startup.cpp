#include "core/startup/startup.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

namespace startup {

Variant variantOf(const QString& commandLine) {
    if (commandLine.isEmpty())
        return Variant::User;
    if (commandLine == QLatin1String("/S") || commandLine == QLatin1String("/s"))
        return Variant::Service;
    return Variant::Invalid;
}

int versionNumber(const QString& text) {
    static const QRegularExpression leadingNumber(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const QRegularExpressionMatch match = leadingNumber.match(text);
    if (!match.hasMatch())
        return 0;
    const double value = match.captured(0).trimmed().toDouble();
    return static_cast<int>(std::lround(value * 10000.0));
}

bool isVersionAccepted(const QString& text) {
    return versionNumber(text) >= MinVersion;
}

QString versionMessage(const QString& text) {
    return QStringLiteral("Current System Database version ") + text +
           QStringLiteral(" not valid (should be at least ") + MinVersionText + QStringLiteral(" )!");
}

namespace {

bool fieldError(const Cursor& cursor, Result* error) {
    if (!cursor.error().isError())
        return false;
    if (error)
        *error = cursor.error();
    return true;
}

} // namespace

bool readVersionText(const Database& db, QString* text, Result* error) {
    auto cursor = db.openFirstRow(schema::table::SystemVersions, error);
    if (!cursor)
        return false;
    *text = cursor->text(schema::field::VersionName);
    return !fieldError(*cursor, error);
}

bool readSystem(const Database& db, const std::vector<SystemField>& fields, SystemRecord* system,
                Result* error) {
    auto cursor = db.openFirstRow(schema::table::AvailableSystems, error);
    if (!cursor)
        return false;
    for (SystemField field : fields) {
        switch (field) {
        case SystemField::Configuration:
            system->configuration = cursor->text(schema::field::IdConfiguration);
            break;
        case SystemField::Stand:
            system->stand = cursor->text(schema::field::IdStand);
            break;
        case SystemField::ScanUnit:
            system->scanUnit = cursor->text(schema::field::IdScanUnit).toUpper();
            break;
        case SystemField::FcsUnit:
            system->fcsUnit = cursor->text(schema::field::IdFcsUnit).toUpper();
            break;
        }
        if (fieldError(*cursor, error))
            return false;
    }
    return true;
}

bool isMarlin(const SystemRecord& system) {
    return system.scanUnit.contains(schema::MarlinMark);
}

bool needsFcsLoader(const SystemRecord& system) {
    return system.fcsUnit != schema::NoUnit && system.scanUnit == schema::NoUnit;
}

bool hasUsableFw1Set(const Database& db, bool* found, Result* error) {
    *found = false;
    auto cursor = db.openTable(schema::table::FilterSets, error);
    if (!cursor)
        return false;
    for (; !cursor->atEnd(); cursor->next())
        if (cursor->text(schema::field::IdAvailable) == schema::wheel::Fw1 &&
            schema::isUsableStatus(cursor->value(schema::field::Status)))
            *found = true;
    return !fieldError(*cursor, error);
}

bool checkFileExists(const QString& path, Result* error) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.dir().exists())
        return fail(error, dberr::PathNotFound, QStringLiteral("Path not found"));
    if (!info.exists() || info.isDir())
        return fail(error, dberr::FileNotFound,
                    QStringLiteral("File not found: '%1'").arg(QDir::toNativeSeparators(path)));
    if (!info.isReadable())
        return fail(error, dberr::PermissionDenied, QStringLiteral("Permission denied"));
    return true;
}

} // namespace startup
