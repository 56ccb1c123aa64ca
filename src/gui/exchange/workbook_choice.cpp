#include "gui/exchange/workbook_choice.h"

#include "core/settings/tool.h"
#include "gui/dialogs.h"

QString rememberedWorkbook(const QString& valueName) {
    return tool::ReadUserString(tool::FilesKeyPath, valueName);
}

void forgetWorkbook(const QString& valueName) {
    if (!rememberedWorkbook(valueName).isEmpty())
        tool::WriteUserString(tool::FilesSubKey, valueName, QString());
}

QString chooseWorkbook(QWidget* parent, const QString& current, const QString& valueName) {
    const QString chosen = dialogs::openFileName(parent, current, QStringLiteral("Workbooks (*.xls *.xlsx)"));
    if (chosen.isEmpty())
        return chosen;
    tool::EnsureUserKey(tool::FilesSubKey);
    tool::WriteUserString(tool::FilesSubKey, valueName, chosen);
    return chosen;
}
