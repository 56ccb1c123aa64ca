#include "apps/filter/single_instance.h"
#include "gui/dialogs.h"
#include "gui/filter_control_form.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(dialogs::appTitle());

    SingleInstance instance(SingleInstance::keyForCurrentUser());
    if (!instance.acquire()) {
        instance.activateRunning();
        return 0;
    }

    // The command line is taken whole, as one text: "/S" differs from " /S".
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    const QString commandLine = arguments.join(QLatin1Char(' '));

    FilterControlForm form;
    QObject::connect(&instance, &SingleInstance::activationRequested, &form,
                     &FilterControlForm::bringToFront);
    form.load(commandLine);
    if (dialogs::endRequested())
        return dialogs::requestedExitCode();
    form.show();
    form.windowActivated();
    return QApplication::exec();
}
