#pragma once

// filterctl run in the test's own process, for the tests that link its library.

#include "cli/filterctl.h"

#include <QStringList>
#include <QTextStream>

namespace testing {

struct Run {
    int status;
    QString out;
    QString err;
};

inline Run inProcess(const QStringList& arguments) {
    Run run{0, {}, {}};
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = filterctl::run(QStringList{"filterctl"} + arguments, out, err);
    return run;
}

} // namespace testing
