#include "core/inspect/package_apply.h"

#include "core/catalogue/new_filter.h"
#include "core/exchange/package.h"

#include <QSet>

bool planPackageApply(const Database& db, Workbook& workbook, int sheet, const QStringList& onlyWheels,
                      PackageApplyPlan* plan, Result* error) {
    *plan = PackageApplyPlan();
    const Package package = readPackage(workbook, sheet);
    for (const QString& wanted : onlyWheels)
        if (!package.wheelIds.contains(wanted))
            plan->refusals << QStringLiteral("The package has no wheel '%1'.").arg(wanted);
    for (int k = 0; k < package.wheelIds.size(); ++k) {
        const QString& id = package.wheelIds[k];
        // The first four cells of a block are listed even when empty: no wheel stands there.
        if (id.isEmpty() || (!onlyWheels.isEmpty() && !onlyWheels.contains(id)))
            continue;
        const PackageWheel wheel = readPackageWheel(workbook, sheet, package, k);
        WheelStorePlan wheelPlan;
        if (!planPackageWheelStore(db, id, wheel.filters, &wheelPlan, error))
            return false;
        plan->refusals << wheelPlan.refusals;
        if (!wheelPlan.hasRows)
            plan->refusals << noRowsMessage(id);
        for (const WheelStorePlan::Write& write : wheelPlan.changes())
            plan->changes.push_back({id, write.position, write.now, write.chosen});
        plan->wheels.push_back(std::move(wheelPlan));
    }
    return true;
}
