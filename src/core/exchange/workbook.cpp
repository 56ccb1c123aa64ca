#include "core/exchange/workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

std::unique_ptr<Workbook> openWorkbook(const QString& path, Result* error,
                                       const std::function<bool()>& cancelled) {
    const QString shown = QDir::toNativeSeparators(path);
    const auto refuse = [&](const QString& reason) {
        *error = Result::make(dberr::BadFile,
                              QStringLiteral("The workbook '%1' cannot be read: %2").arg(shown, reason));
        return nullptr;
    };
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return refuse(QStringLiteral("the file does not exist."));
    if (info.size() > workbook_limits::MaxFileSize)
        return refuse(
            QStringLiteral("the file is larger than %1 MiB.").arg(workbook_limits::MaxFileSize >> 20));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("the file cannot be opened (%1).").arg(file.errorString()));
    const QByteArray head = file.read(8);
    if (head.isEmpty())
        return refuse(QStringLiteral("the file is empty."));

    QString reason;
    std::unique_ptr<Workbook> workbook;
    if (head.startsWith("PK\x03\x04"))
        workbook = openXlsxWorkbook(path, &reason);
    else if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        workbook = openXlsWorkbook(path, &reason, cancelled);
    else
        return refuse(QStringLiteral("it is not an Excel workbook (.xls or .xlsx)."));
    if (!workbook)
        return refuse(reason);
    return workbook;
}
