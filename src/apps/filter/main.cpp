#include "apps/filter/single_instance.h"
#include "apps/filter/warm_up.h"
#include "core/history/history.h"
#include "core/session/early_start.h"
#include "core/settings/settings_store.h"
#include "gui/dialogs.h"
#include "gui/mainwindow/main_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTimer>
#include <QWindow>
#include <clocale>
#include <cstdio>

namespace {

// The answers that need no window (nor a display): version and usage.
bool answeredWithoutWindow(int argc, char* argv[]) {
    if (argc != 2)
        return false;
    const QByteArray option(argv[1]);
    if (option == "--version") {
        std::printf("filter %s\n", FC_VERSION);
        return true;
    }
    if (option == "--help" || option == "-h") {
        std::printf(
            "Usage: filter        start in user mode: the filter-cube turrets, the favourite filters\n"
            "       filter /S     start in service mode: every wheel, the whole catalogue, Browse and\n"
            "                     ExcelFile\n"
            "The database is the one named in the machine settings (see filter(1)).\n");
        return true;
    }
    return false;
}

// Every write of this run is recorded in the history of changes; when it cannot be, the user decides.
void recordHistory(const QString& commandLine) {
    history::recordEveryWrite(commandLine.isEmpty() ? QStringLiteral("filter")
                                                    : QStringLiteral("filter ") + commandLine);
    history::setUnavailableQuestion([](const QString& reason, bool damaged) {
        const QString question =
            reason +
            QStringLiteral("\n\nStore without recording it in the history for the rest of this session?");
        if (!damaged)
            return dialogs::message(question, dialogs::appTitle(), QMessageBox::Yes | QMessageBox::No) ==
                           QMessageBox::Yes
                       ? history::WhenUnavailable::WithoutHistory
                       : history::WhenUnavailable::Refuse;
        // A damaged history may also be set aside; Store then begins a new one.
        const int chosen =
            dialogs::choose(question, {QStringLiteral("Set aside"), QStringLiteral("Store without"),
                                       QStringLiteral("Store nothing")});
        return chosen == 0   ? history::WhenUnavailable::SetAside
               : chosen == 1 ? history::WhenUnavailable::WithoutHistory
                             : history::WhenUnavailable::Refuse;
    });
}

// Tells the monotonic clock's time once the window is on the screen and painted (its first expose
// has been handled, which paints it), and ends the program: the benchmark times the whole start.
class QuitWhenShown : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto* window = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && window && window->isExposed() && !m_told) {
            m_told = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("%lld\n", static_cast<long long>(QDeadlineTimer::current().deadlineNSecs()));
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_told = false;
};

// The command line as the application object will give it, before that object exists.
QString commandLineOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments.join(QLatin1Char(' '));
}

} // namespace

int main(int argc, char* argv[]) {
    if (answeredWithoutWindow(argc, argv))
        return 0;
#ifdef Q_OS_UNIX
    // As Qt's application object sets it, but before the threads below begin: a locale changed
    // while another thread reads numbers is undefined.
    std::setlocale(LC_ALL, "");
#endif
    // The installation is read while Qt's platform starts and the window is built: under a real
    // display that start is as long as the read. Every write is recorded from the first connection.
    WarmUp fonts(warm_up::readFontConfiguration);
    const QString earlyCommandLine = commandLineOf(argc, argv);
    recordHistory(earlyCommandLine);
    EarlyStart early(earlyCommandLine,
                     settings::ReadMachineString(settings::DatabaseKey, settings::DatabaseValue));

    QApplication app(argc, argv);
    early.applicationMade();
    QApplication::setApplicationName(dialogs::appTitle());

    SingleInstance instance(SingleInstance::keyForCurrentUser());
    if (!instance.acquire()) {
        instance.activateRunning();
        early.abandon();
        return 0;
    }

    // The command line is taken whole, as one text: "/S" differs from " /S". Qt has taken its own
    // options out of it; the window then runs its own start.
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    const QString commandLine = arguments.join(QLatin1Char(' '));
    if (commandLine != earlyCommandLine) {
        // Not the start asked for: it ends before the history is set anew, a setting it reads.
        early.abandon();
        recordHistory(commandLine);
    }

    fonts.wait();
    MainWindow form;
    form.takeEarlyStart(&early);
    QObject::connect(&instance, &SingleInstance::activationRequested, &form, &MainWindow::bringToFront);
    form.load(commandLine);
    if (dialogs::endRequested())
        return dialogs::requestedExitCode();
    QuitWhenShown quitWhenShown;
    if (qEnvironmentVariableIsSet("FILTER_QUIT_WHEN_SHOWN")) {
        form.winId(); // the native window exists before it is shown, so its first expose is seen
        form.windowHandle()->installEventFilter(&quitWhenShown);
    }
    form.show();
    form.windowActivated();
    return QApplication::exec();
}
