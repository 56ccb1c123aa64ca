// filterctl: Filter Control's service command line (see src/cli).

#include "cli/filterctl.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    // Only a plot draws (fonts need the GUI application); it needs no display.
    const bool plot =
        std::any_of(argv + 1, argv + argc, [](const char* arg) { return std::strcmp(arg, "plot") == 0; });
    if (plot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        plot ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("filterctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return filterctl::run(QCoreApplication::arguments(), out, err);
}
