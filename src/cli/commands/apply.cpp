// filterctl apply: a package of a configuration workbook stored as the configurations window
// stores it, shown first with --dry-run, or a reviewed plan written exactly.

#include "cli/commands/commands.h"
#include "cli/context.h"
#include "core/db/schema.h"
#include "core/exchange/output_file.h"
#include "core/exchange/package.h"
#include "core/exchange/workbook.h"
#include "core/inspect/package_apply.h"
#include "core/vocabulary/vocabulary.h"

#include <QDir>
#include <QFile>

namespace filterctl {

namespace {

// The sheet of the package to apply: the one --package names, or a workbook's only one; 0 when
// refused (with the error given).
int packageSheet(Context& context, Workbook& workbook, const QString& workbookPath) {
    const QString name = context.value(QStringLiteral("package"));
    if (!name.isEmpty()) {
        for (int sheet = 1; sheet <= workbook.sheetCount(); ++sheet)
            if (workbook.sheetName(sheet) == name)
                return sheet;
        context.fail(Usage, QStringLiteral("the workbook '%1' has no package '%2'")
                                .arg(QDir::toNativeSeparators(workbookPath), name));
        return 0;
    }
    if (workbook.sheetCount() == 1)
        return 1;
    context.fail(Usage, QStringLiteral("the workbook '%1' holds %2 packages: name one with --package")
                            .arg(QDir::toNativeSeparators(workbookPath))
                            .arg(workbook.sheetCount()));
    return 0;
}

bool savePlan(Context& context, const PackageApplyPlan& plan, const SavedPlan::Identity& identity) {
    const QString saveAs = context.value(QStringLiteral("save-plan"));
    if (saveAs.isEmpty())
        return true;
    const Result written = output::writeWhole(saveAs, planJson(SavedPlan{identity, plan.wheels}));
    if (written.ok())
        return true;
    context.failOn(written);
    return false;
}

void printPlan(Context& context, const PlacementSession& session, const PackageApplyPlan& plan, bool dryRun) {
    QTextStream& out = context.out();
    out << "database: " << QDir::toNativeSeparators(session.database().path()) << '\n';
    for (const PackageChange& change : plan.changes)
        out << vocabulary::changeLine(QStringLiteral("%1 %2").arg(change.availableId).arg(change.position),
                                      change.from, change.to)
            << '\n';
    for (const WheelStorePlan& wheel : plan.wheels)
        for (const auto& [position, why] : wheel.notWritten)
            out << "not written: " << wheel.availableId << ' ' << position << " (" << why << ")\n";
    const int count = int(plan.changes.size());
    out << count << (count == 1 ? " position " : " positions ") << (dryRun ? "would change" : "changed")
        << '\n';
}

int applyPlan(Context& context, PlacementSession& session, const PackageApplyPlan& plan, bool dryRun,
              const SavedPlan::Identity& identity) {
    if (!plan.refusals.isEmpty()) {
        for (const QString& refusal : plan.refusals)
            context.warn(refusal);
        return context.fail(Found, QStringLiteral("nothing was written"));
    }
    if (dryRun && !savePlan(context, plan, identity))
        return context.status();
    if (!dryRun && !plan.changes.empty()) {
        const StoreResult result = session.storePlans(plan.wheels);
        if (result.outcome == StoreResult::Outcome::Changed)
            return context.fail(
                Found, QStringLiteral("another program changed the wheels meanwhile: nothing was written"));
        if (result.outcome != StoreResult::Outcome::Stored)
            return context.failOn(result.error);
    }
    // Changes are announced once they are made, or as what would be made.
    printPlan(context, session, plan, dryRun);
    // A dry run says whether apply could write at all (it read without asking).
    if (dryRun && !plan.changes.empty() &&
        !context.predictWrite(session.database().path(), QStringLiteral("apply")))
        return context.status();
    return Done;
}

// Loads the configured (or --db) installation for a write, or (dry run) for reading; `identity` is
// what a saved plan records of it.
bool loadForApply(Context& context, PlacementSession& session, bool dryRun, SavedPlan::Identity* identity) {
    QString path;
    if (!context.databasePath(&path))
        return false;
    session.setWriteFavourites(false); // only the package's rows are written
    const PlacementSession::LoadReport report =
        session.load(path, PlacementSession::Loader::AllWheels,
                     dryRun ? Database::Access::ReadOnly : Database::Access::ReadWrite);
    *identity = {report.system.configuration, report.system.stand, report.system.scanUnit};
    return context.requireLoaded(report);
}

QString identityText(const SavedPlan::Identity& identity) {
    return QStringLiteral("'%1' (stand '%2', scan unit '%3')")
        .arg(identity.configuration, identity.stand, identity.scanUnit);
}

int applyWorkbook(Context& context, const QString& workbookPath) {
    const bool dryRun = context.isSet(QStringLiteral("dry-run"));
    PlacementSession session(startup::Variant::Service);
    SavedPlan::Identity identity;
    if (!loadForApply(context, session, dryRun, &identity))
        return context.status();
    if (!session.recoveryNote().isEmpty())
        context.warn(QStringLiteral("note: ") + session.recoveryNote());
    Result error;
    auto workbook = openWorkbook(workbookPath, &error);
    if (!workbook)
        return context.failOn(error);
    const int sheet = packageSheet(context, *workbook, workbookPath);
    if (sheet == 0)
        return Usage;
    const QStringList wanted = context.values(QStringLiteral("wheel"));
    const Package package = readPackage(*workbook, sheet);
    for (const QString& id : wanted)
        if (!package.wheelIds.contains(id))
            return context.fail(Usage, QStringLiteral("--wheel: the package has no wheel '%1'").arg(id));
    PackageApplyPlan plan;
    Result dbError;
    if (!planPackageApply(session.database(), *workbook, sheet, wanted, &plan, &dbError))
        return context.failOn(dbError);
    return applyPlan(context, session, plan, dryRun, identity);
}

int applySavedPlan(Context& context, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return context.fail(Usage, QStringLiteral("'%1' cannot be read: %2")
                                       .arg(QDir::toNativeSeparators(path), file.errorString()));
    SavedPlan saved;
    Result error;
    if (!parsePlanJson(file.read(SavedPlan::MaxSize + 1), &saved, &error))
        return context.fail(Usage, QStringLiteral("'%1' is not a saved plan: %2")
                                       .arg(QDir::toNativeSeparators(path), error.description));
    PlacementSession session(startup::Variant::Service);
    SavedPlan::Identity identity;
    if (!loadForApply(context, session, false, &identity))
        return context.status();
    // A plan reviewed for one installation is never written into another.
    if (!(saved.identity == identity))
        return context.fail(Found, QStringLiteral("the plan was made on %1, not on %2: nothing was written")
                                       .arg(identityText(saved.identity), identityText(identity)));
    PackageApplyPlan plan;
    plan.wheels = saved.wheels;
    // What was reviewed is what is written: a row changed since is named, and nothing is written.
    QStringList changed;
    Result dbError;
    if (!changedSincePlanned(session.database(), plan.wheels, &changed, &dbError))
        return context.failOn(dbError);
    if (!changed.isEmpty()) {
        for (const QString& row : changed)
            context.warn(QStringLiteral("changed since the plan: ") + row);
        return context.fail(Found, QStringLiteral("nothing was written; make and review a new plan"));
    }
    for (const WheelStorePlan& wheel : plan.wheels) {
        if (!wheel.hasRows)
            plan.refusals << noRowsMessage(wheel.availableId);
        for (const WheelStorePlan::Write& write : wheel.changes())
            plan.changes.push_back({wheel.availableId, write.position, write.now, write.chosen});
    }
    return applyPlan(context, session, plan, false, identity);
}

int apply(Context& context) {
    const QStringList& args = context.arguments();
    if (context.isSet(QStringLiteral("plan")))
        return args.isEmpty() && !context.isSet(QStringLiteral("dry-run"))
                   ? applySavedPlan(context, context.value(QStringLiteral("plan")))
                   : context.fail(Usage, QStringLiteral("apply --plan takes no workbook and no --dry-run"));
    if (context.isSet(QStringLiteral("save-plan")) && !context.isSet(QStringLiteral("dry-run")))
        return context.fail(Usage, QStringLiteral("--save-plan goes with --dry-run"));
    if (args.size() != 1)
        return context.fail(Usage, QStringLiteral("apply takes one WORKBOOK"));
    // The plan is kept only where it replaces nothing the call reads.
    if (context.isSet(QStringLiteral("save-plan")) &&
        !context.checkOutput(context.value(QStringLiteral("save-plan")), {args.first()}))
        return context.status();
    return applyWorkbook(context, args.first());
}

} // namespace

const Command& applyCommand() {
    static const Command command{
        QStringLiteral("apply"),
        {QStringLiteral(
             "apply [--dry-run [--save-plan FILE]] [--no-history] [--package SHEET] [--wheel ID ...] "
             "WORKBOOK"),
         QStringLiteral("apply --plan FILE [--no-history]")},
        QStringLiteral(
            "Stores a package of a configuration workbook as the configurations window does; --dry-run "
            "shows what would change and writes nothing (--save-plan keeps that plan for review); "
            "--plan writes exactly a saved plan, and refuses, naming the rows, if any of them changed "
            "since."),
        true,
        {{QStringLiteral("dry-run"), QString(), QStringLiteral("show what would change, write nothing")},
         {QStringLiteral("save-plan"), QStringLiteral("FILE"),
          QStringLiteral("with --dry-run: keep the plan (every row, with what it holds) in FILE")},
         {QStringLiteral("plan"), QStringLiteral("FILE"),
          QStringLiteral("write exactly the saved plan in FILE, if its rows are unchanged")},
         {QStringLiteral("package"), QStringLiteral("SHEET"), QStringLiteral("the package (sheet) to apply")},
         {QStringLiteral("wheel"), QStringLiteral("ID"), QStringLiteral("only this wheel of the package")},
         {QStringLiteral("no-history"), QString(),
          QStringLiteral("write even when the history of changes cannot be written")}},
        apply};
    return command;
}

} // namespace filterctl
