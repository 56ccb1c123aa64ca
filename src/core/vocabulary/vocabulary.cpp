// The words the windows and filterctl share; see vocabulary.h.

#include "core/vocabulary/vocabulary.h"

#include "core/history/history.h"
#include "core/settings/settings_store.h"

#include <array>

namespace vocabulary {

QString changeLine(const QString& place, const QString& from, const QString& to) {
    return QStringLiteral("%1: %2 -> %3").arg(place, from, to);
}

QString changeDescription(const QString& from, const QString& to) {
    return QStringLiteral("changes from %1 to %2").arg(from, to);
}

QString modeCaption(int mode) {
    static const std::array<const char*, 3> captions{
        {"Emission Filters", "Filter Cubes Stand", "Beam Splitters Corvid"}};
    return mode >= 0 && mode < int(captions.size()) ? QString::fromLatin1(captions[size_t(mode)]) : QString();
}

QString programName(bool serviceMode) {
    return serviceMode ? QStringLiteral("filter /S") : QStringLiteral("filter");
}

QString commandLineProgram() {
    return QStringLiteral("filterctl");
}

QString recordTime(const history::Record& record) {
    return record.when().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString recordWho(const history::Record& record) {
    return record.user + QLatin1Char('@') + record.host;
}

QString recordWhat(const history::Record& record) {
    return record.undoes ? QStringLiteral("%1 (undoes %2)").arg(record.summary).arg(record.undoes)
                         : record.summary;
}

QString recordLine(const history::Record& record) {
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(QString::number(record.id), recordTime(record), recordWho(record), record.program,
             recordWhat(record));
}

QString noDatabaseConfigured() {
    return QStringLiteral("No database path is configured: the value \"%1\" under \"%2\" is missing or empty "
                          "(settings file %3).")
        .arg(settings::DatabaseValue, settings::DatabaseKey, settings::HiveFile(settings::Hive::Machine));
}

} // namespace vocabulary
