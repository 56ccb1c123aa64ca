#pragma once

// The settings store with the semantics of the Windows registry on every platform: two hives,
// key paths compared without regard to case, missing keys or values read as empty text or 0,
// writes to a missing key do nothing, texts longer than 248 characters read as empty.

#include <QPoint>
#include <QSize>
#include <QString>

namespace settings {

enum class Hive { Machine, User };

// Where a hive lives when it is a file (everywhere but the native Windows registry).
QString HiveFile(Hive hive);

QString ReadRegString(Hive hive, const QString& keyPath, const QString& valueName);
qint32 ReadRegLong(Hive hive, const QString& subKey, const QString& valueName);
void EnsureRegKey(Hive hive, const QString& subKey);
void WriteRegLong(Hive hive, const QString& subKey, const QString& valueName, qint32 value);
void WriteRegString(Hive hive, const QString& subKey, const QString& valueName, const QString& text);

// Whether the value exists but is longer than a text may be (so it reads as empty).
bool IsTextTooLong(Hive hive, const QString& keyPath, const QString& valueName);
constexpr int MaxTextLength = 248;

// Whole key paths.
QString ReadMachineString(const QString& keyPath, const QString& valueName);
QString ReadUserString(const QString& keyPath, const QString& valueName);
// Sub-keys below "Software\Veltrano", beginning with a backslash.
qint32 ReadUserLong(const QString& subKey, const QString& valueName);
bool HasUserValue(const QString& subKey, const QString& valueName);
void EnsureUserKey(const QString& subKey);
void WriteUserLong(const QString& subKey, const QString& valueName, qint32 value);
void WriteUserString(const QString& subKey, const QString& valueName, const QString& text);

// Doubles the first "&" so that a caption shows it instead of taking it as an access-key mark.
QString DoubleAmpersand(const QString& text);
// What a caption shows: "&&" is a plain "&", a single "&" only marks the access key.
QString CaptionText(const QString& caption);

// Keeps a saved window position (twips) on the screen: not left of or above the screen, and not
// further right or down than the screen size less 1000 twips.
QPoint ClampWindowPosition(QPoint twips, QSize screenTwips);
constexpr int TwipsPerInch = 1440;

// Registry locations the program uses.
inline const QString DatabaseKey = QStringLiteral("SOFTWARE\\Veltrano\\CP\\Database");
inline const QString DatabaseValue = QStringLiteral("Path");
// The git working copy of the facility's record, for the snapshot service.
inline const QString FleetKey = QStringLiteral("SOFTWARE\\Veltrano\\Filter\\Fleet");
inline const QString FleetValue = QStringLiteral("Repository");
inline const QString FilesKeyPath = QStringLiteral("SOFTWARE\\Veltrano\\Filter\\Files");
inline const QString FilesSubKey = QStringLiteral("\\Filter\\Files");
inline const QString WindowSubKeyPrefix = QStringLiteral("\\Filter\\");

} // namespace settings
