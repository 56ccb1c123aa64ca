#include "core/exchange/filter_sheet.h"

#include "core/exchange/workbook.h"

#include "core/db/schema.h"

#include <vector>

namespace {

using Field = FilterSheetTarget::Field;

struct Row {
    const char* label;
    Field field;
    const char* message;
};

const std::vector<Row> CommonRows{
    {"Name", Field::FilterName, "No correct filter sheet - no filter name!"},
    {"Series Number", Field::Code, "No correct filter sheet - no series number!"},
    {"Summary", Field::Summary, "No correct filter sheet - no summary!"},
};

std::vector<Row> rowsOfType(const QString& type) {
    using namespace schema::type;
    if (type == BandPass)
        return {{"Lower Wavelength", Field::Lower, "No correct filter sheet - no lower wavelength!"},
                {"Center Wavelength", Field::Center, "No correct filter sheet - no center wavelength!"},
                {"Upper Wavelength", Field::Upper, "No correct filter sheet - no Upper wavelength!"}};
    if (type == LongPass || type == ShortPass || type == NotchSplitter)
        return {{"Cut Off Wavelength", Field::CutOff, "No correct filter sheet - no cut off wavelength!"}};
    if (type == MainSplitter || type == SecondarySplitter)
        return {{"Opaque for", Field::Opaque, "No correct filter sheet - no opaque for!"}};
    return {};
}

// Copies B of each row whose A reads the label; the first wrong label gives its message.
QString copyRows(Workbook& workbook, int sheet, int firstRow, const std::vector<Row>& rows,
                 FilterSheetTarget& target) {
    int row = firstRow;
    for (const Row& expected : rows) {
        if (workbook.cellText(sheet, row, 1) != QLatin1String(expected.label))
            return QString::fromLatin1(expected.message);
        target.setText(expected.field, workbook.cellText(sheet, row, 2));
        ++row;
    }
    return QString();
}

// The import up to its first refusal; *wrongType marks the refusal that empties the form.
QString importRows(Workbook& workbook, int sheet, FilterSheetTarget& target, bool* wrongType) {
    if (workbook.cellText(sheet, 1, 1) != QLatin1String("Producer"))
        return QStringLiteral("No correct filter sheet!");
    const QString producer = workbook.cellText(sheet, 1, 2);
    if (producer != schema::DefaultProducer)
        target.checkProducerBox();
    target.setText(Field::Producer, producer);
    QString message = copyRows(workbook, sheet, 2, CommonRows, target);
    if (!message.isEmpty())
        return message;
    if (workbook.cellText(sheet, 5, 1) != QLatin1String("Type"))
        return QStringLiteral("No correct filter sheet - no filter type!");
    const QString type = workbook.cellText(sheet, 5, 2);
    if (target.selectType(type) != type) {
        *wrongType = true;
        return QStringLiteral("No correct filter type!");
    }
    target.typeClick();
    return copyRows(workbook, sheet, 6, rowsOfType(type), target);
}

} // namespace

void importFilterSheet(Workbook& workbook, int sheet, FilterSheetTarget& target,
                       const std::function<void(const QString&)>& showMessage) {
    bool wrongType = false;
    const QString message = importRows(workbook, sheet, target, &wrongType);
    if (message.isEmpty())
        return;
    showMessage(message);
    // The form is emptied only once the user has read why.
    if (wrongType)
        target.resetEntryFields();
}
