#pragma once

// Reads a filter data sheet (label/value pairs in columns A and B) into the new-filter form.

#include <QString>
#include <functional>

class Workbook;

// The parts of the new-filter form that the import fills.
class FilterSheetTarget {
public:
    enum class Field { Producer, FilterName, Code, Summary, Lower, Center, Upper, CutOff, Opaque };
    virtual ~FilterSheetTarget() = default;
    virtual void setText(Field field, const QString& text) = 0;
    // Checks "Non Veltrano" as a click does.
    virtual void checkProducerBox() = 0;
    // Selects the type as SelectComboText does and returns the text the type list then shows.
    virtual QString selectType(const QString& type) = 0;
    virtual void typeClick() = 0;
    virtual void resetEntryFields() = 0;
};

// Fills the target from the sheet. A sheet of the wrong layout stops the import with one message
// through showMessage; fields filled before the failing row stay.
void importFilterSheet(Workbook& workbook, int sheet, FilterSheetTarget& target,
                       const std::function<void(const QString&)>& showMessage);
