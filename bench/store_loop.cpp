// store_loop DATABASE WHEEL FILTER_A FILTER_B: stores the wheel's eight positions as all FILTER_A,
// then all FILTER_B, and so on until it is killed. scripts/kill-during-store kills it at random
// moments and checks that the wheel is always wholly one or the other.

#include "core/db/database.h"
#include "core/exchange/store.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: store_loop DATABASE WHEEL FILTER_A FILTER_B\n");
        return 2;
    }
    Database db;
    DbError error;
    if (!db.open(args[1], &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description));
        return 2;
    }
    for (long round = 0;; ++round) {
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
    }
}
