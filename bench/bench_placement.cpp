// Times the placement loader, the wheel display and a store on generated installations with
// 1,000, 10,000 and 100,000 catalogue rows, beside a bare read of the same tables.
// Run: build/bench/bench_placement [rows...]

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/gate/write_gate.h"
#include "core/inspect/placement_export.h"
#include "core/placement/loader.h"
#include "core/settings/settings_store.h"
#include "gui/catalogue/favourites_window.h"
#include "gui/catalogue/new_filter_window.h"
#include "gui/dialogs.h"
#include "gui/exchange/package_window.h"
#include "gui/lightpath/light_path_window.h"
#include "gui/mainwindow/main_window.h"
#include "gui/widgets/finding_combo.h"
#include "median_time.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QStringList OtherTypes{"NF", "FW1", "FW2", "FW3", "HFT", "NT", "NFT"};
const QStringList EmissionTypes{"BP", "LP", "KP"};

// All 18 wheels, each with eight positions; a tenth of the catalogue are favourites.
void generate(const QString& path, int rows) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "generate");
    db.setDatabaseName(path);
    db.open();
    QSqlQuery q(db);
    q.exec("CREATE TABLE [System Versions] ([Version Name] TEXT)");
    q.exec("INSERT INTO [System Versions] VALUES ('2.10')");
    q.exec("CREATE TABLE [Available Systems] ([ID Configuration] TEXT, [ID Stand] TEXT, [ID Scan Unit] TEXT, "
           "[ID FCS Unit] TEXT)");
    q.exec("INSERT INTO [Available Systems] VALUES ('Bench', 'Stand', 'LSM', 'NONE')");
    q.exec("CREATE TABLE [Available FilterSets] ([ID Available] TEXT, [Status] TEXT)");
    q.exec("CREATE TABLE [Available FilterPlacement] ([ID Available] TEXT, [Position] INTEGER, [ID "
           "Potential] TEXT)");
    q.exec("CREATE TABLE [Potential Filters] ([ID Potential] TEXT, [Type] TEXT, [Summary] TEXT, "
           "[Veltrano Code No] TEXT, [Customer Added] BOOLEAN, [Producer] TEXT)");
    q.exec("CREATE TABLE [Favourite Filters] ([ID Potential] TEXT, [Type] TEXT)");
    db.transaction();
    // Emission filters make up the catalogue's rows; each other group gets a hundredth on top.
    QStringList names, types;
    for (int i = 0; i < rows; ++i) {
        names << QString("%1 %2").arg(EmissionTypes[i % 3]).arg(i);
        types << EmissionTypes[i % 3];
    }
    for (const QString& type : OtherTypes)
        for (int i = 0; i < std::max(8, rows / 100); ++i) {
            names << QString("%1 %2").arg(type).arg(i);
            types << type;
        }
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO [Potential Filters] VALUES (?, ?, ?, ?, ?, 'Veltrano')");
    insert.addBindValue(QVariantList{"None"} + QVariantList(names.begin(), names.end()));
    insert.addBindValue(QVariantList{QVariant()} + QVariantList(types.begin(), types.end()));
    QVariantList summaries, codes;
    for (const QString& name : names) {
        summaries << "About " + name;
        codes << "C-" + name;
    }
    insert.addBindValue(QVariantList{" "} + summaries);
    insert.addBindValue(QVariantList{QVariant()} + codes);
    QVariantList added{0}; // one filter in a hundred was added by the customer
    for (int i = 0; i < names.size(); ++i)
        added << (i % 100 == 1 ? 1 : 0);
    insert.addBindValue(added);
    insert.execBatch();
    QSqlQuery favourite(db);
    favourite.prepare("INSERT INTO [Favourite Filters] VALUES (?, ?)");
    favourite.addBindValue(QVariantList{"None"});
    favourite.addBindValue(QVariantList{" "});
    favourite.execBatch();
    for (int i = 0; i < names.size(); i += 10) {
        favourite.addBindValue(QVariantList{names[i]});
        favourite.addBindValue(QVariantList{types[i]});
        favourite.execBatch();
    }
    const QList<std::pair<QString, QString>> sets{
        {"EF1", "BP"},     {"EF2", "BP"},     {"EF3", "BP"},    {"EF4", "BP"},   {"EF5", "NF"},
        {"FW-1", "FW1"},   {"FW-2", "FW2"},   {"FW-3", "FW3"},  {"FW-4", "FW3"}, {"HT", "HFT"},
        {"NT1", "NFT"},    {"NT2", "NFT"},    {"NT3", "NFT"},   {"MBS", "HFT"},  {"DBS", "NFT"},
        {"FCS EF1", "BP"}, {"FCS EF2", "BP"}, {"FCS EF3", "BP"}};
    for (const auto& [set, type] : sets) {
        q.exec(QString("INSERT INTO [Available FilterSets] VALUES ('%1', NULL)").arg(set));
        // The second wheel holds the last filters of its large group, the others the first ones.
        QStringList ofType;
        if (set == "EF2") {
            for (int i = names.size() - 1; i >= 0 && ofType.size() < 8; --i)
                if (types[i] == type)
                    ofType.prepend(names[i]);
        } else {
            for (int i = 0; i < names.size() && ofType.size() < 8; ++i)
                if (types[i] == type)
                    ofType << names[i];
        }
        for (int p = 1; p <= 8; ++p)
            q.exec(QString("INSERT INTO [Available FilterPlacement] VALUES ('%1', %2, '%3')")
                       .arg(set)
                       .arg(p)
                       .arg(ofType[p - 1]));
    }
    db.commit();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("generate");
}

// What the loader reads, and what the favourite window reads.
const std::vector<const char*> LoaderColumns{
    "SELECT [ID Available], [Status] FROM [Available FilterSets]",
    "SELECT [ID Available], [ID Potential] FROM [Available FilterPlacement]",
    "SELECT [ID Potential], [Type], [Veltrano Code No] FROM [Potential Filters]",
    "SELECT [ID Potential], [Type] FROM [Favourite Filters]"};
const std::vector<const char*> FavouriteWindowColumns{
    "SELECT [ID Potential], [Type] FROM [Favourite Filters]",
    "SELECT [ID Potential], [Type], [Summary] FROM [Potential Filters]"};

// The limit: the engine's own interface reading the columns, nothing converted.
void bareRead(const QString& path, const std::vector<const char*>& statements = LoaderColumns) {
    sqlite3* engine = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &engine, SQLITE_OPEN_READONLY, nullptr);
    for (const char* sql : statements) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(engine, sql, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW)
            for (int column = 0; column < sqlite3_column_count(statement); ++column)
                sqlite3_column_text(statement, column);
        sqlite3_finalize(statement);
    }
    sqlite3_close(engine);
}

// The limit for the commands that read whole tables: every field of every table of each file read
// through the engine's own interface, and a file that is no database (a snapshot) read as bytes.
void bareReadAll(const QStringList& paths) {
    for (const QString& path : paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.peek(1) == "{") {
            while (!file.read(1 << 20).isEmpty()) {
            }
            continue;
        }
        sqlite3* engine = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &engine, SQLITE_OPEN_READONLY, nullptr);
        std::vector<QByteArray> whole;
        sqlite3_stmt* names = nullptr;
        sqlite3_prepare_v2(engine, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &names,
                           nullptr);
        while (sqlite3_step(names) == SQLITE_ROW)
            whole.push_back("SELECT * FROM \"" +
                            QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(names, 0))) + "\"");
        sqlite3_finalize(names);
        sqlite3_close(engine);
        std::vector<const char*> statements;
        for (const QByteArray& sql : whole)
            statements.push_back(sql.constData());
        bareRead(path, statements);
    }
}

// The process's largest resident size so far (the runs go from small to large).
long peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

struct WindowTimes {
    Timing favourites, addRemove, newFilters, packageWheel;
};

// The package window on a workbook of the installation's own wheels, choosing one wheel after another.
Timing timePackageWheel(MainWindow& form, int runs, const QString& package) {
    QStringList leftOut;
    Result error;
    writePackageWorkbook(package, "Bench", exportedWheels(form.configDb(), form.installation()), &leftOut,
                         &error);
    settings::EnsureUserKey(settings::FilesSubKey);
    settings::WriteUserString(settings::FilesSubKey, "Browse", package);
    PackageWindow excel(form.session());
    auto* wheel = excel.findChild<QComboBox*>("IDAvailable");
    int next = 0;
    return timeRuns(runs, [&] {
        next = (next + 1) % wheel->count();
        wheel->setCurrentIndex(next);
        emit wheel->activated(next);
        QCoreApplication::processEvents();
    });
}

// The catalogue windows over the emission group (the whole catalogue) and the package window,
// shown with their events processed.
WindowTimes timeWindows(MainWindow& form, int runs, const QString& package) {
    WindowTimes times{};
    const CatalogueContext context = form.catalogueContext();
    // Opening is timed; closing again is not what the user waits for.
    std::unique_ptr<QDialog> opened;
    const auto close = [&] { opened.reset(); };
    times.favourites = timeRuns(
        runs,
        [&] {
            opened = std::make_unique<FavouritesWindow>(context);
            opened->show();
            QCoreApplication::processEvents();
        },
        close);
    FavouritesWindow favourites(context);
    favourites.show();
    auto* potential = favourites.findChild<QComboBox*>("Potential");
    auto* salesList = favourites.findChild<QListView*>("SalesList");
    times.addRemove = timeRuns(runs, [&] {
        const int last = potential->count() - 1; // no favourite: the tenth rows are
        potential->setCurrentIndex(last);
        emit potential->activated(last);
        favourites.findChild<QPushButton*>("CmdApply")->click();
        salesList->setCurrentIndex(salesList->model()->index(salesList->model()->rowCount() - 1, 0));
        favourites.findChild<QPushButton*>("CmdRemove")->click();
        QCoreApplication::processEvents();
    });
    times.newFilters = timeRuns(
        runs,
        [&] {
            opened = std::make_unique<NewFilterWindow>(context);
            opened->show();
            QCoreApplication::processEvents();
        },
        close);
    times.packageWheel = timePackageWheel(form, runs, package);
    return times;
}

// The program's settings, in the folder, name the installation.
void useInstallation(const QTemporaryDir& dir, const QString& path) {
    qputenv("FILTER_REGISTRY_DIR", dir.path().toUtf8());
    QSettings(dir.filePath("machine.ini"), QSettings::IniFormat)
        .setValue("software/veltrano/cp/database/Path", path);
}

void showInServiceMode(MainWindow& form) {
    form.load("/S");
    form.show();
    QCoreApplication::processEvents();
}

// As a user goes: the main window in service mode, then each window opened and closed once.
long peakWithEveryWindow(const QString& path) {
    QTemporaryDir dir;
    useInstallation(dir, path);
    MainWindow form;
    showInServiceMode(form);
    const CatalogueContext context = form.catalogueContext();
    for (int window = 0; window < 3; ++window) {
        std::unique_ptr<QDialog> opened;
        if (window == 0)
            opened = std::make_unique<FavouritesWindow>(context);
        else if (window == 1)
            opened = std::make_unique<NewFilterWindow>(context);
        else
            opened = std::make_unique<PackageWindow>(form.session());
        opened->show();
        QCoreApplication::processEvents();
    }
    return peakMemoryMiB();
}

double profilePath(const QByteArray& path, const QString& file) {
    if (path.startsWith("load-")) {
        Database db;
        db.open(file, nullptr);
        return medianMs(10, [&] {
            Installation installation;
            loadAllWheels(db, {path == "load-service", false}, installation);
        });
    }
    QTemporaryDir dir;
    useInstallation(dir, file);
    MainWindow form;
    showInServiceMode(form);
    if (path == "favourites")
        return medianMs(10, [&] {
            FavouritesWindow window(form.catalogueContext());
            window.show();
            QCoreApplication::processEvents();
        });
    if (path == "package-wheel")
        return timePackageWheel(form, 10, dir.filePath("package.xlsx")).median;
    auto* dropDown = form.findChild<FindingComboBox*>("CmbFilter_0");
    return medianMs(10, [&] {
        dropDown->showPopup();
        QCoreApplication::processEvents();
        dropDown->hidePopup();
    });
}

// One line of the table: a path, its times and, where it has one, what it is measured against.
struct Line {
    const char* path;
    Timing times;
    double against = 0; // a median the path's median is divided by
    const char* goal = "";
};

void printTable(int rows, const std::vector<Line>& lines, long peak) {
    std::printf("\n%d rows (%s build; min / median / max of the runs, ms)\n", rows, FC_BUILD_TYPE);
    std::printf("| path | min | median | max | ratio | goal |\n|---|---|---|---|---|---|\n");
    for (const Line& line : lines) {
        char ratio[32] = "";
        if (line.against > 0)
            std::snprintf(ratio, sizeof ratio, "%.2fx", line.times.median / line.against);
        std::printf("| %s | %.1f | %.1f | %.1f | %s | %s |\n", line.path, line.times.min, line.times.median,
                    line.times.max, ratio, line.goal);
    }
    std::printf("| peak memory, every window opened once | | %ld MiB | | | |\n", peak);
    std::fflush(stdout);
}

// The whole process, from its launch to the window shown and painted (its end is not counted).
// One launch of the program with FILTER_QUIT_WHEN_SHOWN: launch to its window shown, in ms.
double launchOnce(const QTemporaryDir& dir, const QStringList& arguments,
                  const QString& platform = QStringLiteral("offscreen")) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", platform);
    environment.insert("FILTER_QUIT_WHEN_SHOWN", "1");
    environment.insert("FILTER_REGISTRY_DIR", dir.path());
    QProcess program;
    program.setProcessEnvironment(environment);
    const qint64 launched = QDeadlineTimer::current().deadlineNSecs();
    program.start(FC_FILTER_PROGRAM, arguments);
    program.waitForFinished(-1);
    return (program.readAllStandardOutput().trimmed().toLongLong() - launched) / 1e6;
}

Timing timeLaunches(int runs, const QTemporaryDir& dir, const QStringList& arguments,
                    const QString& platform = QStringLiteral("offscreen")) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(launchOnce(dir, arguments, platform));
    return timingOf(times);
}

void run(int rows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("System_Configurations.sqlite");
    // Generated by a process of its own, so that the peak memory is the program's, not the generator's.
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--write", path, QString::number(rows)});
    Database db;
    db.open(path, nullptr);
    const int runs = rows >= 1000000 ? 7 : 11; // several runs: this machine is noisy

    const Timing bare = timeRuns(runs, [&] { bareRead(path); });
    const Timing bareFavourites = timeRuns(runs, [&] { bareRead(path, FavouriteWindowColumns); });
    const auto load = [&](bool service) {
        Installation installation;
        loadAllWheels(db, {service, false}, installation);
    };
    const Timing user = timeRuns(runs, [&] { load(false); });
    const Timing service = timeRuns(runs, [&] { load(true); });
    // What the write gate reads in a connection's first write: the state before (at the write's
    // start, the catalogue's names walked) and after. Later writes look the names up.
    const Timing gateReads = timeRuns(runs, [&] {
        gate::Baseline before;
        if (gate::baseline(db, &before).isError() || gate::check(db, before).isError())
            std::fprintf(stderr, "the gate refused the generated installation\n");
    });
    db.close();

    useInstallation(dir, path);
    // Start-up in the process: the main window built, loaded and shown with its events processed.
    const auto startUp = [&](const QString& commandLine) {
        std::unique_ptr<MainWindow> shown;
        return timeRuns(
            runs,
            [&] {
                shown = std::make_unique<MainWindow>();
                shown->load(commandLine);
                shown->show();
                shown->windowActivated();
                QCoreApplication::processEvents();
            },
            [&] { shown.reset(); });
    };
    const Timing startUser = startUp(QString());
    const Timing startService = startUp("/S");
    const Timing bareProcess = timeRuns(runs, [&] {
        QProcess::execute(QCoreApplication::applicationFilePath(), {"--bare", path});
    });
    const Timing launchUser = timeLaunches(runs, dir, {});
    const Timing launchService = timeLaunches(runs, dir, {"/S"});
    MainWindow form;
    showInServiceMode(form);
    const Timing display = timeRuns(runs, [&] { form.showWheel(0); });
    const Timing displayAtEnd = timeRuns(runs, [&] { form.showWheel(1); });
    // A store writes only what changed: each run stores another filter in the first position.
    auto* firstPosition = form.findChild<QComboBox*>("CmbFilter_0");
    int flip = 0;
    const auto choose = [&] { firstPosition->setCurrentIndex(1 + flip++ % 2); };
    choose();
    const Timing store = timeRuns(
        runs, [&] { form.storeClicked(0); }, choose);
    // A position's drop-down opened and painted, then narrowed by typing "LP 5".
    auto* dropDown = form.findChild<FindingComboBox*>("CmbFilter_0");
    const Timing open = timeRuns(runs, [&] {
        dropDown->showPopup();
        QCoreApplication::processEvents();
        dropDown->hidePopup();
    });
    const Timing narrow = timeRuns(runs, [&] {
        dropDown->showPopup();
        for (const QChar key : QStringLiteral("LP 5")) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(key));
            QCoreApplication::sendEvent(dropDown->findingList(), &press);
        }
        QCoreApplication::processEvents();
        dropDown->hidePopup();
    });

    const WindowTimes windows = timeWindows(form, runs, dir.filePath("package.xlsx"));
    // Measured in a process of its own: this one has run every path many times over.
    QProcess memory;
    memory.start(QCoreApplication::applicationFilePath(), {"--memory", path});
    memory.waitForFinished(-1);
    const long peak = memory.readAllStandardOutput().trimmed().toLong();

    const bool million = rows >= 1000000;
    printTable(rows,
               {{"bare read of the loader's columns", bare},
                {"load, user mode", user, bare.median, "within 2x the bare read"},
                {"load, service mode", service, bare.median, "within 2x the bare read"},
                {"start in the process, user", startUser, bare.median, "within 2x the bare read"},
                {"start in the process, service", startService, bare.median, "within 2x the bare read"},
                {"a process that only reads the tables", bareProcess},
                {"whole start, launch to window painted, user", launchUser, bareProcess.median,
                 "within 2x the reading process"},
                {"whole start, launch to window painted, service", launchService, bareProcess.median,
                 "within 2x the reading process"},
                {"display of the largest group", display},
                {"display, the placed filters at the group's end", displayAtEnd},
                {"store", store, 0, million ? "under 200 ms" : "under 50 ms"},
                {"the write gate's reads in a connection's first write", gateReads},
                {"drop-down opened", open, 0, "under 50 ms"},
                {"drop-down narrowed by \"LP 5\"", narrow},
                {"bare read of the favourite window's columns", bareFavourites},
                {"favourite window opened", windows.favourites, bareFavourites.median,
                 million ? "under 200 ms" : "under 50 ms"},
                {"favourite added and removed", windows.addRemove},
                {"new-filter window opened", windows.newFilters},
                {"package window, a wheel chosen", windows.packageWheel}},
               peak);
}

// Waits, handling events, until the window is exposed (or no longer, with `exposed` false).
void waitForExposure(QWidget* widget, bool exposed) {
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() &&
           (widget->windowHandle() && widget->windowHandle()->isExposed()) != exposed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// Under a real X server (Xvfb), as users' desktops: the whole start to the window mapped and
// painted, beside the same start offscreen and a reading process; and a click on a position's
// drop-down until its popup is mapped (exposed) by the server.
void runX11(int rows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("System_Configurations.sqlite");
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--write", path, QString::number(rows)});
    useInstallation(dir, path);
    const int runs = rows >= 1000000 ? 7 : 15;
    // The launches take turns, so that each kind meets the machine's slow and fast minutes alike.
    const QString xcb = QStringLiteral("xcb");
    const std::vector<std::function<double()>> kinds{
        [&] {
            return timeRuns(1,
                            [&] {
                                QProcess::execute(QCoreApplication::applicationFilePath(), {"--bare", path});
                            })
                .median;
        },
        [&] { return launchOnce(dir, {}); }, [&] { return launchOnce(dir, {"/S"}); },
        [&] { return launchOnce(dir, {}, xcb); }, [&] { return launchOnce(dir, {"/S"}, xcb); }};
    std::vector<std::vector<double>> times(kinds.size());
    for (int run = 0; run < runs; ++run)
        for (size_t turn = 0; turn < kinds.size(); ++turn) {
            const size_t kind = (turn + run) % kinds.size();
            times[kind].push_back(kinds[kind]());
        }
    const Timing bareProcess = timingOf(times[0]);
    const Timing offscreenUser = timingOf(times[1]);
    const Timing offscreenService = timingOf(times[2]);
    const Timing x11User = timingOf(times[3]);
    const Timing x11Service = timingOf(times[4]);

    MainWindow form;
    form.load("/S");
    form.show();
    waitForExposure(&form, true);
    auto* dropDown = form.findChild<FindingComboBox*>("CmbFilter_0");
    // The popup is made at the first opening.
    const auto popup = [dropDown] { return dropDown->findingList()->window(); };
    const QPoint middle = dropDown->rect().center();
    const Timing click = timeRuns(
        runs,
        [&] {
            QMouseEvent press(QEvent::MouseButtonPress, middle, dropDown->mapToGlobal(middle), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(dropDown, &press);
            QMouseEvent release(QEvent::MouseButtonRelease, middle, dropDown->mapToGlobal(middle),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(dropDown, &release);
            waitForExposure(popup(), true);
        },
        [&] {
            dropDown->hidePopup();
            waitForExposure(popup(), false);
        });
    std::printf("\n%d rows under X11 (%s, %s build; min / median / max, ms)\n", rows,
                qPrintable(QGuiApplication::platformName()), FC_BUILD_TYPE);
    std::printf("| path | min | median | max | ratio |\n|---|---|---|---|---|\n");
    const auto line = [&](const char* name, const Timing& t, double against) {
        std::printf("| %s | %.1f | %.1f | %.1f | %s |\n", name, t.min, t.median, t.max,
                    against > 0 ? qPrintable(QString::number(t.median / against, 'f', 2) + "x") : "");
    };
    line("a process that only reads the tables", bareProcess, 0);
    line("whole start offscreen, user", offscreenUser, bareProcess.median);
    line("whole start offscreen, service", offscreenService, bareProcess.median);
    line("whole start under X11 to the window mapped and painted, user", x11User, bareProcess.median);
    line("whole start under X11 to the window mapped and painted, service", x11Service, bareProcess.median);
    line("a click on a position drop-down to its popup mapped", click, 0);
    std::fflush(stdout);
}

} // namespace

QString timeDiff(int rows) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.sqlite");
    const QString b = dir.filePath("b.sqlite");
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--write", a, QString::number(rows)});
    QFile::copy(a, b);
    {
        Database db;
        db.open(b, nullptr);
        db.exec("UPDATE [Available FilterPlacement] SET [ID Potential] = (SELECT [ID Potential] FROM "
                "[Available FilterPlacement] WHERE rowid = 2) WHERE rowid = 1",
                QVariantList(), nullptr);
        db.exec("UPDATE [Potential Filters] SET [Veltrano Code No] = 'changed' WHERE rowid = 7",
                QVariantList(), nullptr);
        db.exec("DELETE FROM [Favourite Filters] WHERE rowid = 3", QVariantList(), nullptr);
    }
    QString output;
    const double ms = medianMs(3, [&] {
        QProcess filterctl;
        filterctl.start(QStringLiteral(FC_FILTERCTL_PROGRAM), {"diff", a, b});
        filterctl.waitForFinished(60000);
        output = QString::fromUtf8(filterctl.readAllStandardOutput());
    });
    return QStringLiteral("%1 rows | filterctl diff of two installations %2 ms (goal 2000), %3 differences")
        .arg(rows)
        .arg(ms, 0, 'f', 1)
        .arg(output.count(QLatin1Char('\n')));
}

// One process run to its end, its output thrown away: the wall time in ms and its peak memory in MiB.
std::pair<double, long> runProcess(const QStringList& command) {
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<QByteArray> words;
        for (const QString& word : command)
            words.push_back(QFile::encodeName(word));
        std::vector<char*> argv;
        for (QByteArray& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    return {timer.nsecsElapsed() / 1e6, usage.ru_maxrss / 1024};
}

// Each filterctl command that reads an installation, on a generated one of ROWS catalogue rows,
// beside a process that only reads its tables: min / median / max of 7 launches, and peak memory.
void timeCommands(int rows) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.sqlite");
    const QString b = dir.filePath("b.sqlite");
    const QString snapshot = dir.filePath("a.json");
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--write", a, QString::number(rows)});
    QFile::copy(a, b);
    QProcess::execute(QStringLiteral(FC_FILTERCTL_PROGRAM),
                      {"--db", a, "export", "--format", "json", "-o", snapshot});
    const QString filterctl = QStringLiteral(FC_FILTERCTL_PROGRAM);
    const QString bench = QCoreApplication::applicationFilePath();
    // Each command beside a process that reads what it reads: the loader's columns, or whole tables.
    struct Run {
        QString name;
        QStringList command;
        int reference; // the row of its reading process, or -1 for a reading process
    };
    const std::vector<Run> runs{
        {"a process that reads the loader's columns", {bench, "--bare", a}, -1},
        {"a process that reads every table whole", {bench, "--bare-all", a}, -1},
        {"... of both installations", {bench, "--bare-all", a, b}, -1},
        {"... of the snapshot file and the installation", {bench, "--bare-all", snapshot, a}, -1},
        {"check", {filterctl, "--db", a, "check"}, 1},
        {"show", {filterctl, "--db", a, "show"}, 0},
        {"show --format json", {filterctl, "--db", a, "show", "--format", "json"}, 1},
        {"diff, database vs database", {filterctl, "diff", a, b}, 2},
        {"diff, snapshot vs database", {filterctl, "diff", snapshot, a}, 3},
        {"fit --dye EGFP", {filterctl, "--db", a, "fit", "--dye", "EGFP"}, 1},
        {"publish", {filterctl, "publish", "-o", dir.filePath("site"), a}, 0},
    };
    std::printf("%s build, %d catalogue rows, database file %lld MiB\n\n", FC_BUILD_TYPE, rows,
                QFileInfo(a).size() >> 20);
    std::printf(
        "| command | ms, min / median / max | peak memory | x its reading process |\n|---|---|---|---|\n");
    // The runs take turns, seven rounds of them, so that each meets the machine's slow and fast minutes
    // alike with its reading process.
    constexpr int Rounds = 7;
    std::vector<std::vector<double>> times(runs.size());
    std::vector<long> peaks(runs.size(), 0);
    for (int round = 0; round < Rounds; ++round)
        for (size_t turn = 0; turn < runs.size(); ++turn) {
            const size_t r = (turn + size_t(round)) % runs.size();
            QDir(dir.filePath("site")).removeRecursively();
            const auto [ms, mib] = runProcess(runs[r].command);
            times[r].push_back(ms);
            peaks[r] = std::max(peaks[r], mib);
        }
    for (size_t r = 0; r < runs.size(); ++r) {
        const Timing t = timingOf(times[r]);
        const QString ratio =
            runs[r].reference < 0
                ? QString()
                : QString::number(t.median / timingOf(times[size_t(runs[r].reference)]).median, 'f', 2);
        std::printf("| %s | %.0f / %.0f / %.0f | %ld MiB | %s |\n", qPrintable(runs[r].name), t.min, t.median,
                    t.max, peaks[r], qPrintable(ratio));
    }
}

// The light-path window opened and shown on a generated installation, and a choice redrawn in it.
QString timeLightPath(int rows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("System_Configurations.sqlite");
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--write", path, QString::number(rows)});
    useInstallation(dir, path);
    MainWindow form;
    showInServiceMode(form);
    const double open = medianMs(
        5,
        [&] {
            form.lightPathClicked();
            QCoreApplication::processEvents();
        },
        [&] { delete form.lightPathWindow(); });
    form.lightPathClicked();
    auto* position = form.findChild<QComboBox*>("CmbFilter_1");
    int next = 0;
    const double follow = medianMs(5, [&] {
        position->setCurrentIndex(1 + next++ % 2);
        emit position->activated(position->currentIndex());
        QCoreApplication::processEvents();
    });
    return QStringLiteral("%1 rows | light-path window opened %2 ms (goal 100), a choice redrawn %3 ms")
        .arg(rows)
        .arg(open, 0, 'f', 1)
        .arg(follow, 0, 'f', 1);
}

// filterctl publish, launch to exit, median of 3: `count` generated installations of `rows` catalogue
// rows each, as database files and as a folder of their snapshots; the largest page's size.
QString timePublish(int count, int rows) {
    QTemporaryDir dir;
    const QString first = dir.filePath("installation-0.sqlite");
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--write", first, QString::number(rows)});
    QStringList installations{first};
    QDir().mkpath(dir.filePath("record"));
    for (int i = 1; i < count; ++i) {
        installations << dir.filePath(QStringLiteral("installation-%1.sqlite").arg(i));
        QFile::copy(first, installations.back());
        Database db;
        db.open(installations.back(), nullptr);
        db.exec(QStringLiteral("UPDATE [Available Systems] SET [ID Configuration] = 'Bench %1'").arg(i),
                QVariantList(), nullptr);
    }
    for (const QString& installation : installations) {
        QProcess show;
        show.setStandardOutputFile(dir.filePath("record/" + QFileInfo(installation).baseName() + ".json"));
        show.start(QStringLiteral(FC_FILTERCTL_PROGRAM), {"--db", installation, "show", "--format", "json"});
        show.waitForFinished(120000);
    }
    const auto publish = [&](const QStringList& inputs) {
        return timeRuns(3, [&] {
            QDir(dir.filePath("site")).removeRecursively();
            QProcess filterctl;
            filterctl.start(QStringLiteral(FC_FILTERCTL_PROGRAM),
                            QStringList{"publish", "-o", dir.filePath("site")} + inputs);
            filterctl.waitForFinished(600000);
            if (filterctl.exitCode() != 0)
                std::fprintf(stderr, "%s\n", filterctl.readAllStandardError().constData());
        });
    };
    const Timing fromDatabases = publish(installations);
    const Timing fromSnapshots = publish({dir.filePath("record")});
    qint64 largest = 0;
    for (const QFileInfo& page : QDir(dir.filePath("site")).entryInfoList({"*.html"}))
        largest = std::max(largest, page.size());
    return QStringLiteral(
               "%1 installations of %2 rows | publish from databases %3 / %4 / %5 ms, from a folder "
               "of snapshots %6 / %7 / %8 ms (min / median / max of 3) | largest page %9 KB")
        .arg(count)
        .arg(rows)
        .arg(fromDatabases.min, 0, 'f', 0)
        .arg(fromDatabases.median, 0, 'f', 0)
        .arg(fromDatabases.max, 0, 'f', 0)
        .arg(fromSnapshots.min, 0, 'f', 0)
        .arg(fromSnapshots.median, 0, 'f', 0)
        .arg(fromSnapshots.max, 0, 'f', 0)
        .arg(largest / 1024);
}

int main(int argc, char* argv[]) {
    // bench_placement --bare FILE: the limit of the whole-process start, a process that only reads.
    if (argc == 3 && QByteArray(argv[1]) == "--bare") {
        bareRead(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    // bench_placement --bare-all FILE...: a process that reads every field of the files' tables.
    if (argc >= 3 && QByteArray(argv[1]) == "--bare-all") {
        QStringList paths;
        for (int i = 2; i < argc; ++i)
            paths << QString::fromLocal8Bit(argv[i]);
        bareReadAll(paths);
        return 0;
    }
    // bench_placement --x11 ROWS...: under the X server DISPLAY names (scripts/bench-x11 starts Xvfb).
    const bool x11 = argc > 1 && QByteArray(argv[1]) == "--x11";
    qputenv("QT_QPA_PLATFORM", x11 ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform says at every popup what it cannot do; the figures matter here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith(QLatin1String("This plugin does not support")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    dialogs::setMessageHandler([](const dialogs::Message& message) {
        std::fprintf(stderr, "message: %s\n", qPrintable(message.text));
        return int(QMessageBox::Ok);
    });
    dialogs::setEndHandler([](int code) { std::fprintf(stderr, "the program would end (%d)\n", code); });
    // bench_placement --write FILE ROWS: only writes a generated installation, to try by hand.
    if (argc == 4 && QString(argv[1]) == "--write") {
        generate(QString::fromLocal8Bit(argv[2]), QString(argv[3]).toInt());
        return 0;
    }
    // bench_placement --memory FILE: the program's peak memory with every window opened once.
    if (argc == 3 && QString(argv[1]) == "--memory") {
        std::printf("%ld\n", peakWithEveryWindow(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    // bench_placement --diff ROWS: two generated installations that differ in a position, a code number
    // and a favourite, compared by the filterctl process (launch to exit), median of 3.
    if (argc == 3 && QString(argv[1]) == "--diff") {
        std::printf("%s\n", qPrintable(timeDiff(QString(argv[2]).toInt())));
        return 0;
    }
    // bench_placement --commands ROWS: each filterctl command that reads an installation.
    if (argc == 3 && QString(argv[1]) == "--commands") {
        timeCommands(QString(argv[2]).toInt());
        return 0;
    }
    // bench_placement --publish COUNT ROWS: the facility's page of COUNT generated installations.
    if (argc == 4 && QString(argv[1]) == "--publish") {
        std::printf("%s\n", qPrintable(timePublish(QString(argv[2]).toInt(), QString(argv[3]).toInt())));
        return 0;
    }
    // bench_placement --light-path ROWS: the light-path window on a generated installation.
    if (argc == 3 && QString(argv[1]) == "--light-path") {
        std::printf("%s\n", qPrintable(timeLightPath(QString(argv[2]).toInt())));
        return 0;
    }
    // bench_placement --profile load-user|load-service|drop-down|favourites|package-wheel FILE: one path
    // alone, ten times over, to profile it.
    if (argc == 4 && QString(argv[1]) == "--profile") {
        std::printf("%.1f ms\n", profilePath(argv[2], QString::fromLocal8Bit(argv[3])));
        return 0;
    }
    QList<int> sizes{1000, 10000, 100000};
    if (argc > (x11 ? 2 : 1)) {
        sizes.clear();
        for (int i = x11 ? 2 : 1; i < argc; ++i)
            sizes << QString(argv[i]).toInt();
    }
    for (int rows : sizes)
        x11 ? runX11(rows) : run(rows);
    return 0;
}
