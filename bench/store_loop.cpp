// store_loop DATABASE WHEEL FILTER_A FILTER_B [ROUNDS]: stores the wheel's eight positions as all
// FILTER_A, then all FILTER_B, and so on, each store recorded in the history of changes, until it
// is killed or has run ROUNDS times; then prints how many stores changed the wheel.
// scripts/kill-during-store kills it at random moments and checks that the wheel is always wholly
// one or the other, and that the history agrees with it.

#include "core/db/database.h"
#include "core/exchange/store.h"
#include "core/history/history.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 && args.size() != 6) {
        std::fprintf(stderr, "usage: store_loop DATABASE WHEEL FILTER_A FILTER_B [ROUNDS]\n");
        return 2;
    }
    history::recordEveryWrite(QStringLiteral("store_loop"));
    Database db;
    Result error;
    if (!db.open(args[1], &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description));
        return 2;
    }
    const long rounds = args.size() == 6 ? args[5].toLong() : -1;
    long changed = 0;
    for (long round = 0; rounds < 0 || round < rounds; ++round) {
        const QString filter = args[3 + round % 2];
        WheelStorePlan plan;
        StoreResult result;
        if (!planPackageWheelStore(db, args[2], QStringList(8, filter), &plan, &result.error))
            result.outcome = StoreResult::Outcome::Failed;
        else
            result = executeStorePlan(db, plan);
        if (result.outcome == StoreResult::Outcome::Failed && result.error.code != dberr::Locked) {
            std::fprintf(stderr, "%s\n", qPrintable(result.error.description));
            return 1;
        }
        if (result.outcome == StoreResult::Outcome::Stored && !plan.changes().empty())
            ++changed;
    }
    std::printf("%ld\n", changed);
    return 0;
}
