#include "gui/window_position.h"

#include "core/settings/settings_store.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace settings {

namespace {

double twipsPerPixel(const QScreen* screen) {
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return TwipsPerInch / (dpi > 0 ? dpi : 96.0);
}

QScreen* screenOf(QWidget* window) {
    QScreen* screen = window->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

void RestoreWindowPosition(QWidget* window) {
    const QString subKey = WindowSubKeyPrefix + window->objectName();
    const QPoint saved(ReadUserLong(subKey, QStringLiteral("Left")),
                       ReadUserLong(subKey, QStringLiteral("Top")));
    QScreen* screen = screenOf(window);
    const double scale = twipsPerPixel(screen);
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const QSize screenTwips(qRound(area.width() * scale), qRound(area.height() * scale));
    const QPoint twips = ClampWindowPosition(saved, screenTwips);
    window->move(area.topLeft() + QPoint(qRound(twips.x() / scale), qRound(twips.y() / scale)));
}

void SaveWindowPosition(QWidget* window) {
    const QString subKey = WindowSubKeyPrefix + window->objectName();
    QScreen* screen = screenOf(window);
    const double scale = twipsPerPixel(screen);
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    const QPoint pixels = window->pos() - origin;
    EnsureUserKey(subKey);
    WriteUserLong(subKey, QStringLiteral("Left"), static_cast<qint32>(std::lround(pixels.x() * scale)));
    WriteUserLong(subKey, QStringLiteral("Top"), static_cast<qint32>(std::lround(pixels.y() * scale)));
}

void SelectComboText(QComboBox* combo, const QString& text) {
    const int count = combo->count();
    for (int i = 0; i < count; ++i) {
        if (combo->itemText(i) == text) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    if (count > 0)
        combo->setCurrentIndex(0);
}

} // namespace settings
