#pragma once

#include "core/db/result.h"

// Writes a workbook of one sheet of text cells as Office Open XML (.xlsx), with the parts and
// content types that spreadsheet programs require. (libxlsxwriter cannot share a process with
// QuaZip: both export minizip's zip functions, and its calls land in QuaZip's.)

#include <QMap>
#include <QString>
#include <utility>

// Cells by (row, column), both counted from 1.
using SheetCells = QMap<std::pair<int, int>, QString>;

bool writeXlsx(const QString& path, const QString& sheetName, const SheetCells& cells, Result* error);
