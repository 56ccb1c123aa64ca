#include "gui/window_position.h"

#include "core/settings/settings_store.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

namespace settings {

namespace {

double twipsPerPixel(const QScreen* screen) {
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return TwipsPerInch / (dpi > 0 ? dpi : 96.0);
}

QScreen* screenOf(const QWidget* window) {
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

QPoint besidePosition(const QRect& anchor, const QSize& size, const QRect& available) {
    const QPoint candidates[] = {
        {anchor.right() + 1, anchor.top()},
        {anchor.left() - size.width(), anchor.top()},
        {anchor.left(), anchor.bottom() + 1},
        {anchor.left(), anchor.top() - size.height()},
    };
    const auto onScreen = [&](QPoint at) {
        at.setX(std::clamp(at.x(), available.left(),
                           std::max(available.left(), available.right() + 1 - size.width())));
        at.setY(std::clamp(at.y(), available.top(),
                           std::max(available.top(), available.bottom() + 1 - size.height())));
        return at;
    };
    for (const QPoint& at : candidates)
        if (available.contains(QRect(at, size)))
            return at;
    // No side has room: the one that covers least of the anchor.
    QPoint best = onScreen(candidates[0]);
    qint64 covered = std::numeric_limits<qint64>::max();
    for (const QPoint& at : candidates) {
        const QRect overlap = QRect(onScreen(at), size).intersected(anchor);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (area < covered) {
            covered = area;
            best = onScreen(at);
        }
    }
    return best;
}

void RestoreOrPlaceBeside(QWidget* window, const QWidget* anchor) {
    const QString subKey = WindowSubKeyPrefix + window->objectName();
    if (!anchor || HasUserValue(subKey, QStringLiteral("Left"))) {
        RestoreWindowPosition(window);
        return;
    }
    QScreen* screen = screenOf(anchor);
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    window->adjustSize();
    window->move(besidePosition(anchor->frameGeometry(), window->frameGeometry().size(), available));
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
