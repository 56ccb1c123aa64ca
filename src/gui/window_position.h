#pragma once

// The parts of the settings store and helpers that work on widgets.

#include <QString>

class QComboBox;
class QPoint;
class QRect;
class QSize;
class QWidget;

namespace settings {

// Window positions are kept in twips under "Software\Veltrano\Filter\<window name>".
void RestoreWindowPosition(QWidget* window);
void SaveWindowPosition(QWidget* window);

// A window that follows another (the light path follows the main window) opens beside it, where
// the screen has room, until the user has put it somewhere: then where they put it.
void RestoreOrPlaceBeside(QWidget* window, const QWidget* anchor);
// Where a window of `size` stands beside `anchor` within `available`: right of it, else left, else
// below, else above; where none has room, the side with the most, kept on the screen.
QPoint besidePosition(const QRect& anchor, const QSize& size, const QRect& available);

// Selects the first entry whose text equals the text exactly, else the first entry.
void SelectComboText(QComboBox* combo, const QString& text);

} // namespace settings
