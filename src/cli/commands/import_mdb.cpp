// filterctl import-mdb: an Access installation converted into a new SQLite file, then checked.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/access/access_import.h"
#include "core/exchange/output_file.h"

namespace filterctl {

namespace {

int importMdb(Context& context) {
    const QStringList& files = context.arguments();
    if (files.isEmpty() || files.size() > 2)
        return context.fail(
            Usage, QStringLiteral("import-mdb takes an Access file and, optionally, the new file's name"));
    const QString target = files.size() == 2 ? files[1] : accessdb::convertedName(files[0]);
    // A new file named as the configured installation's journal or history would be taken for it.
    const QString configured = context.databaseIfAny();
    const QStringList read = (configured.isEmpty() ? QStringList() : output::installationFiles(configured))
                             << files[0];
    if (const Result refused = output::checkNotAnInput(target, read); refused.isError())
        return context.failOn(refused);
    const accessdb::ImportReport report = accessdb::importAccessFile(files[0], target);
    if (!report.ok())
        return context.fail(Usage, report.error);
    for (const QString& line : accessdb::reportLines(report))
        context.out() << line << '\n';
    if (!report.holdsInstallation()) {
        context.out() << "not checked: it holds no installation\n";
        return Found;
    }
    return checkOne(context, target, nullptr, nullptr);
}

} // namespace

const Command& importMdbCommand() {
    static const Command command{
        QStringLiteral("import-mdb"),
        {QStringLiteral("import-mdb FILE.mdb|FILE.accdb [NEW.sqlite]")},
        QStringLiteral(
            "Converts an Access installation into a new SQLite file (by default beside it, never over "
            "an existing one): every table, rows in stored order, each table's rows counted; then "
            "checks it as 'check' does. The Access file is only read. Exit 1 when the result has a "
            "problem."),
        false,
        {},
        importMdb};
    return command;
}

} // namespace filterctl
