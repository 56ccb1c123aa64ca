#include "gui/mainwindow/access_conversion.h"

#include "core/access/access_import.h"
#include "core/inspect/installation_check.h"
#include "core/settings/settings_store.h"
#include "gui/dialogs.h"
#include "gui/widgets/progress_task.h"

#include <QDir>
#include <QFileInfo>

QString offerAccessConversion(QWidget* parent, const QString& accessFile) {
    const QString target = accessdb::convertedName(accessFile);
    const QString question =
        QStringLiteral("'%1' is a Microsoft Access database file; Filter Control reads SQLite databases.\n\n"
                       "Convert it into the new file '%2' and open that? The Access file is only read.")
            .arg(QDir::toNativeSeparators(accessFile), QDir::toNativeSeparators(target));
    if (dialogs::message(question, dialogs::appTitle(), QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return QString();

    accessdb::ImportReport report;
    QStringList checked;
    runWithProgress(
        parent, QStringLiteral("Converting %1 ...").arg(QFileInfo(accessFile).fileName()),
        [&](const ProgressReport& progress) {
            report = accessdb::importAccessFile(accessFile, target, [&](const QString& table, qint64 rows) {
                return progress(QStringLiteral("Converting table \"%1\": %2 rows").arg(table).arg(rows));
            });
            if (report.ok() && report.holdsInstallation())
                checked = checkFileLines(target);
        });
    if (!report.ok()) {
        if (!report.cancelled)
            dialogs::message(report.error);
        return QString();
    }
    QStringList text = accessdb::reportLines(report);
    if (!checked.isEmpty())
        text << QString() << QStringLiteral("The check of the new file:") << checked;
    text << QString()
         << QStringLiteral("The settings still name the Access file; to start on the new one, set the value "
                           "\"%1\" under \"%2\" (settings file %3) to its path.")
                .arg(settings::DatabaseValue, settings::DatabaseKey,
                     settings::HiveFile(settings::Hive::Machine));
    dialogs::message(text.join(QLatin1Char('\n')));
    return target;
}
