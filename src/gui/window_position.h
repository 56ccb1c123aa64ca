#pragma once

// The parts of the settings store and helpers that work on widgets.

#include <QString>

class QComboBox;
class QWidget;

namespace settings {

// Window positions are kept in twips under "Software\Veltrano\Filter\<window name>".
void RestoreWindowPosition(QWidget* window);
void SaveWindowPosition(QWidget* window);

// Selects the first entry whose text equals the text exactly, else the first entry.
void SelectComboText(QComboBox* combo, const QString& text);

} // namespace settings
