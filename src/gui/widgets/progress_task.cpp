#include "gui/widgets/progress_task.h"

#include "gui/dialogs.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <limits>
#include <memory>

void runWithProgress(QWidget* parent, const QString& title,
                     const std::function<void(const ProgressReport&)>& work) {
    dialogs::BusyCursor busy;
    QProgressDialog progress(title, QStringLiteral("Cancel"), 0, 0, parent);
    progress.setObjectName(QStringLiteral("Progress"));
    progress.setWindowTitle(dialogs::appTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    // A quick read shows no window at all.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    QTimer::singleShot(400, &progress, [&progress] { progress.show(); });
    std::atomic<bool> cancelled{false};

    const ProgressReport report = [&progress, &cancelled](const QString& doing) {
        // Queued to the window's thread; dropped if the window is gone by then.
        if (!doing.isEmpty())
            QMetaObject::invokeMethod(
                &progress, [&progress, doing] { progress.setLabelText(doing); }, Qt::QueuedConnection);
        return !cancelled;
    };
    // A QThread, not a bare thread: the work may start processes, which need its event dispatcher.
    std::unique_ptr<QThread> worker(QThread::create([&work, &report] { work(report); }));
    bool finished = false;
    QObject::connect(worker.get(), &QThread::finished, &progress, [&finished] { finished = true; });
    worker->start();
    // Until the progress window shows (and blocks the window below), clicks wait for the end.
    while (!finished) {
        QCoreApplication::processEvents(
            QEventLoop::WaitForMoreEvents |
            (progress.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
        if (progress.wasCanceled()) // Cancel, Escape or the window's close button
            cancelled = true;
    }
    worker->wait();
}
