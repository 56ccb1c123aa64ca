#include "gui/exchange/workbook_choice.h"

#include "core/settings/settings_store.h"
#include "gui/dialogs.h"
#include "gui/widgets/progress_task.h"

#include <QFileInfo>

QString rememberedWorkbook(const QString& valueName) {
    return settings::ReadUserString(settings::FilesKeyPath, valueName);
}

void forgetWorkbook(const QString& valueName) {
    if (!rememberedWorkbook(valueName).isEmpty())
        settings::WriteUserString(settings::FilesSubKey, valueName, QString());
}

QString chooseWorkbook(QWidget* parent, const QString& current, const QString& valueName) {
    const QString chosen = dialogs::openFileName(parent, current, QStringLiteral("Workbooks (*.xls *.xlsx)"));
    if (chosen.isEmpty())
        return chosen;
    settings::EnsureUserKey(settings::FilesSubKey);
    settings::WriteUserString(settings::FilesSubKey, valueName, chosen);
    return chosen;
}

std::unique_ptr<Workbook> readWorkbook(QWidget* parent, const QString& path, Result* error,
                                       bool* cancelled) {
    std::unique_ptr<Workbook> workbook;
    *cancelled = false;
    runWithProgress(parent, QStringLiteral("Reading %1 ...").arg(QFileInfo(path).fileName()),
                    [&](const ProgressReport& progress) {
                        workbook =
                            openWorkbook(path, error, [&] { return *cancelled = !progress(QString()); });
                    });
    return workbook;
}
