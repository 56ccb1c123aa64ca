// filterctl undo: puts back what a record of the history changed, as a record of its own.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/history/history.h"

#include <QDir>

namespace filterctl {

namespace {

void printUndo(Context& context, const Database& db, qint64 id, const history::UndoPlan& plan, bool dryRun) {
    QTextStream& out = context.out();
    out << "database: " << QDir::toNativeSeparators(db.path()) << '\n';
    out << "undo of record " << id << ": " << plan.record.summary << '\n';
    for (const history::UndoPlan::Step& step : plan.steps)
        out << step.text
            << (step.conflict && !step.gone ? QStringLiteral(" (over a later change)") : QString()) << '\n';
    const int count = plan.rowsWritten();
    out << count << (count == 1 ? " row " : " rows ") << (dryRun ? "would change" : "changed") << '\n';
}

int undo(Context& context) {
    if (context.arguments().size() != 1)
        return context.fail(Usage, QStringLiteral("undo takes one record number"));
    const QString number = context.arguments().first();
    bool ok = false;
    const qint64 id = number.toLongLong(&ok);
    if (!ok || id <= 0)
        return context.fail(
            Usage,
            QStringLiteral("undo takes a record number from 'filterctl history', not '%1'").arg(number));
    const bool dryRun = context.isSet(QStringLiteral("dry-run"));
    QString path;
    if (!context.databasePath(&path))
        return context.status();
    Database db;
    Result error;
    if (!db.open(path, &error, dryRun ? Database::Access::ReadOnly : Database::Access::ReadWrite))
        return context.failOn(error);
    history::UndoPlan plan;
    if (!history::planUndo(db, id, &plan, &error))
        return context.failOn(error);
    if (plan.hasConflicts() && !context.isSet(QStringLiteral("force")))
        return context.fail(Found,
                            plan.conflictText() +
                                QStringLiteral(" Nothing was undone (--force undoes it all the same)."));
    if (!dryRun && !history::executeUndo(db, plan, true, &error))
        return context.failOn(error);
    printUndo(context, db, id, plan, dryRun);
    if (dryRun && plan.rowsWritten() > 0 && !context.predictWrite(path, QStringLiteral("undo")))
        return context.status();
    return Done;
}

} // namespace

const Command& undoCommand() {
    static const Command command{
        QStringLiteral("undo"),
        {QStringLiteral("undo [--dry-run] [--force] [--no-history] N")},
        QStringLiteral(
            "Puts back what record N of the history changed; refuses where a later change touched the "
            "same rows, unless --force. The undo is a record of its own."),
        true,
        {{QStringLiteral("dry-run"), QString(), QStringLiteral("show what would change, write nothing")},
         {QStringLiteral("force"), QString(), QStringLiteral("also over a later change")},
         {QStringLiteral("no-history"), QString(),
          QStringLiteral("write even when the history of changes cannot be written")}},
        undo};
    return command;
}

} // namespace filterctl
