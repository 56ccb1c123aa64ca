// The words the windows and filterctl share; see vocabulary.h.

#include "core/vocabulary/vocabulary.h"

#include "core/history/history.h"
#include "core/settings/settings_store.h"

#include <algorithm>
#include <array>

namespace vocabulary {

QString visible(const QString& text) {
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return text;
    QString shown;
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control)
            shown += c;
        else if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            shown += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            shown += QStringLiteral("\\t");
        else
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return shown;
}

QString changeLine(const QString& place, const QString& from, const QString& to) {
    return QStringLiteral("%1: %2 -> %3").arg(visible(place), visible(from), visible(to));
}

QString changeDescription(const QString& from, const QString& to) {
    return QStringLiteral("changes from %1 to %2").arg(from, to);
}

QString modeCaption(int mode) {
    static const std::array<const char*, 3> captions{
        {"Emission Filters", "Filter Cubes Stand", "Beam Splitters Corvid"}};
    return mode >= 0 && mode < int(captions.size()) ? QString::fromLatin1(captions[size_t(mode)]) : QString();
}

QString wheelKind(int mode) {
    static const std::array<const char*, 3> kinds{
        {"Emission filter wheel", "Filter cube turret", "Beam splitter changer"}};
    return mode >= 0 && mode < int(kinds.size()) ? QString::fromLatin1(kinds[size_t(mode)]) : QString();
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
    return visible(QStringLiteral("%1  %2  %3  %4  %5")
                       .arg(QString::number(record.id), recordTime(record), recordWho(record), record.program,
                            recordWhat(record)));
}

QString noDatabaseConfigured() {
    return QStringLiteral("No database path is configured: the value \"%1\" under \"%2\" is missing or empty "
                          "(settings file %3).")
        .arg(settings::DatabaseValue, settings::DatabaseKey, settings::HiveFile(settings::Hive::Machine));
}

} // namespace vocabulary
