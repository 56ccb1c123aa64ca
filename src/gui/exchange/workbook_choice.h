#pragma once

// The workbook file each workbook window remembers under "Software\Veltrano\Filter\Files".

#include <QString>

class QWidget;

QString rememberedWorkbook(const QString& valueName);
// Forgets the remembered workbook (one that cannot be opened would otherwise end every start of the
// window before its Browse could be reached).
void forgetWorkbook(const QString& valueName);
// Lets the user choose an existing workbook, starting from `current`; remembers the choice under
// the value name and returns it, or the empty text when the dialog was cancelled.
QString chooseWorkbook(QWidget* parent, const QString& current, const QString& valueName);
