// filterctl: Filter Control's service command line (see src/cli).

#include "cli/filterctl.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    // Only a plot and the facility's page draw (fonts need the GUI application); neither needs a display.
    const bool plot = std::any_of(argv + 1, argv + argc, [](const char* arg) {
        return std::strcmp(arg, "plot") == 0 || std::strcmp(arg, "publish") == 0;
    });
    if (plot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A drawing needs no session's runtime folder, but the GUI library asks for one and warns on
    // standard error when a service or a cron job has none: it gets a private one for the run.
    std::unique_ptr<QTemporaryDir> runtime;
    if (plot && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime = std::make_unique<QTemporaryDir>();
        if (runtime->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }
    const std::unique_ptr<QCoreApplication> app =
        plot ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("filterctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return filterctl::run(QCoreApplication::arguments(), out, err);
}
