#pragma once

// The workbook file each workbook window remembers under "Software\Veltrano\Filter\Files".

#include "core/exchange/workbook.h"

#include <QString>
#include <memory>

class QWidget;

QString rememberedWorkbook(const QString& valueName);
// Forgets the remembered workbook (one that cannot be opened would otherwise end every start of the
// window before its Browse could be reached).
void forgetWorkbook(const QString& valueName);
// Lets the user choose an existing workbook, starting from `current`; remembers the choice under
// the value name and returns it, or the empty text when the dialog was cancelled.
QString chooseWorkbook(QWidget* parent, const QString& current, const QString& valueName);

// Reads the workbook on a thread of its own, the window responsive, with a progress window and
// Cancel once it takes a moment. On failure *error says why; *cancelled tells a cancel apart.
std::unique_ptr<Workbook> readWorkbook(QWidget* parent, const QString& path, Result* error, bool* cancelled);
