// open_in_window package|access FILE DATABASE: what the windows do with a file, without a screen:
// the configurations window opening FILE as its workbook, or the main window's conversion of an
// Access FILE. Prints each message the window shows and the time taken; run under
// /usr/bin/time -v by scripts/hostile-files for the windows' figures.

#include "core/access/access_import.h"
#include "core/session/placement_session.h"
#include "core/settings/settings_store.h"
#include "core/startup/helper_programs.h"
#include "gui/dialogs.h"
#include "gui/exchange/package_window.h"
#include "gui/mainwindow/access_conversion.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    QTemporaryDir settings;
    qputenv("FILTER_REGISTRY_DIR", settings.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    helpers::setFolder(QStringLiteral(FC_HELPER_FOLDER)); // the build tree's readers
    const QStringList args = app.arguments();
    if (args.size() != 4 || (args[1] != "package" && args[1] != "access")) {
        std::fprintf(stderr, "usage: open_in_window package|access FILE DATABASE\n");
        return 2;
    }
    dialogs::setMessageHandler([](const dialogs::Message& message) {
        std::printf("message: %s\n", qPrintable(QString(message.text).replace('\n', ' ')));
        return int(message.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });
    dialogs::setEndHandler([](int) {});
    QElapsedTimer clock;
    clock.start();
    if (args[1] == "access") {
        const QString converted = offerAccessConversion(nullptr, args[2]);
        std::printf("converted: %s\n",
                    qPrintable(converted.isEmpty() ? QStringLiteral("(nothing)") : converted));
    } else {
        settings::EnsureUserKey(settings::FilesSubKey);
        settings::WriteUserString(settings::FilesSubKey, QStringLiteral("Browse"), args[2]);
        PlacementSession session(startup::Variant::Service);
        if (!session.database().open(args[3], nullptr))
            return 2;
        PackageWindow window(session);
        const auto* packages = window.findChild<QComboBox*>(QStringLiteral("CmbPaket"));
        std::printf("opened: %d packages\n", packages ? packages->count() : 0);
    }
    std::printf("time: %lld ms\n", static_cast<long long>(clock.elapsed()));
    return 0;
}
