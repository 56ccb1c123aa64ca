#include "core/settings/settings_store.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

namespace settings {

namespace {

const QString UserRoot = QStringLiteral("Software\\Veltrano");
// An empty key keeps this value so that it exists in a file format that has no empty groups;
// the registry's own name for a key's unnamed value.
const QString KeyMarker = QStringLiteral("(default)");

bool usesNativeRegistry() {
#ifdef Q_OS_WIN
    return qEnvironmentVariableIsEmpty("FILTER_REGISTRY_DIR");
#else
    return false;
#endif
}

std::unique_ptr<QSettings> openHive(Hive hive) {
    if (usesNativeRegistry())
        return std::make_unique<QSettings>(hive == Hive::Machine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                                                 : QStringLiteral("HKEY_CURRENT_USER"),
                                           QSettings::NativeFormat);
    return std::make_unique<QSettings>(HiveFile(hive), QSettings::IniFormat);
}

// The key path as a settings group: on file hives lower-cased so that key names compare without
// regard to case, as the registry does.
QString groupOf(const QString& keyPath) {
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!usesNativeRegistry())
        for (QString& part : parts)
            part = part.toLower();
    return parts.join(QLatin1Char('/'));
}

bool keyExists(QSettings& settings, const QString& group) {
    settings.beginGroup(group);
    const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
    settings.endGroup();
    return exists;
}

// Value names compare without regard to case too; returns the stored spelling.
QString storedValueName(QSettings& settings, const QString& group, const QString& valueName) {
    settings.beginGroup(group);
    const QStringList keys = settings.childKeys();
    settings.endGroup();
    for (const QString& key : keys)
        if (key.compare(valueName, Qt::CaseInsensitive) == 0)
            return key;
    return QString();
}

QVariant readValue(Hive hive, const QString& keyPath, const QString& valueName) {
    auto settings = openHive(hive);
    const QString group = groupOf(keyPath);
    const QString name = storedValueName(*settings, group, valueName);
    if (name.isEmpty())
        return QVariant();
    return settings->value(group + QLatin1Char('/') + name);
}

void writeValue(Hive hive, const QString& subKey, const QString& valueName, const QVariant& value) {
    auto settings = openHive(hive);
    const QString group = groupOf(UserRoot + subKey);
    if (!keyExists(*settings, group))
        return;
    QString name = storedValueName(*settings, group, valueName);
    settings->setValue(group + QLatin1Char('/') + (name.isEmpty() ? valueName : name), value);
}

} // namespace

QString HiveFile(Hive hive) {
    const QString fileName =
        hive == Hive::Machine ? QStringLiteral("machine.ini") : QStringLiteral("user.ini");
    const QString dir = qEnvironmentVariable("FILTER_REGISTRY_DIR");
    if (!dir.isEmpty())
        return QDir(dir).filePath(fileName);
    if (hive == Hive::Machine)
        return QStringLiteral("/etc/xdg/filter-control/") + fileName;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/filter-control/") + fileName;
}

namespace {
// The stored text up to its first NUL, as the registry read returns it.
QString storedText(Hive hive, const QString& keyPath, const QString& valueName) {
    QString text = readValue(hive, keyPath, valueName).toString();
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}
} // namespace

QString ReadRegString(Hive hive, const QString& keyPath, const QString& valueName) {
    const QString text = storedText(hive, keyPath, valueName);
    return text.size() > MaxTextLength ? QString() : text;
}

bool IsTextTooLong(Hive hive, const QString& keyPath, const QString& valueName) {
    return storedText(hive, keyPath, valueName).size() > MaxTextLength;
}

qint32 ReadRegLong(Hive hive, const QString& subKey, const QString& valueName) {
    bool ok = false;
    const qint32 number = readValue(hive, UserRoot + subKey, valueName).toInt(&ok);
    return ok ? number : 0;
}

void EnsureRegKey(Hive hive, const QString& subKey) {
    auto settings = openHive(hive);
    const QString group = groupOf(UserRoot + subKey);
    if (!keyExists(*settings, group))
        settings->setValue(group + QLatin1Char('/') + KeyMarker, QString());
}

void WriteRegLong(Hive hive, const QString& subKey, const QString& valueName, qint32 value) {
    writeValue(hive, subKey, valueName, value);
}

void WriteRegString(Hive hive, const QString& subKey, const QString& valueName, const QString& text) {
    writeValue(hive, subKey, valueName, text);
}

QString ReadMachineString(const QString& keyPath, const QString& valueName) {
    return ReadRegString(Hive::Machine, keyPath, valueName);
}

QString ReadUserString(const QString& keyPath, const QString& valueName) {
    return ReadRegString(Hive::User, keyPath, valueName);
}

qint32 ReadUserLong(const QString& subKey, const QString& valueName) {
    return ReadRegLong(Hive::User, subKey, valueName);
}

bool HasUserValue(const QString& subKey, const QString& valueName) {
    return readValue(Hive::User, UserRoot + subKey, valueName).isValid();
}

void EnsureUserKey(const QString& subKey) {
    EnsureRegKey(Hive::User, subKey);
}

void WriteUserLong(const QString& subKey, const QString& valueName, qint32 value) {
    WriteRegLong(Hive::User, subKey, valueName, value);
}

void WriteUserString(const QString& subKey, const QString& valueName, const QString& text) {
    WriteRegString(Hive::User, subKey, valueName, text);
}

QString DoubleAmpersand(const QString& text) {
    const int at = text.indexOf(QLatin1Char('&'));
    if (at < 0)
        return text;
    return text.left(at + 1) + QLatin1Char('&') + text.mid(at + 1);
}

QString CaptionText(const QString& caption) {
    QString shown;
    shown.reserve(caption.size());
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            shown += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
            shown += QLatin1Char('&');
            ++i;
        }
    }
    return shown;
}

QPoint ClampWindowPosition(QPoint twips, QSize screenTwips) {
    const auto clamp = [](int edge, int screenSize) {
        if (edge < 1)
            edge = 0;
        return qMin(edge, screenSize - 1000);
    };
    return QPoint(clamp(twips.x(), screenTwips.width()), clamp(twips.y(), screenTwips.height()));
}

} // namespace settings
