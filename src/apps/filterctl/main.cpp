// filterctl: Filter Control's service command line (see src/cli).

#include "cli/filterctl.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("filterctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return filterctl::run(QCoreApplication::arguments(), out, err);
}
