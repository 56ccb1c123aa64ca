#pragma once

// The start's reading begun on a thread of its own while Qt's platform starts and the main window is
// built (it may begin before Qt's application object exists): the session opens and loads the
// installation there, writing nothing. The window takes it once it has read its settings itself, and
// only when it is the start it would have run: the same command line and file, and no favourite the
// load would have written (that start runs again, on the window's thread, and writes).

#include "core/session/placement_session.h"

#include <QString>
#include <memory>
#include <thread>

class EarlyStart {
public:
    // Begins the start of `path` for the command line; the session's connection is handed to the
    // constructing thread when the load is done.
    EarlyStart(const QString& commandLine, const QString& path);
    EarlyStart(const EarlyStart&) = delete;
    EarlyStart& operator=(const EarlyStart&) = delete;
    ~EarlyStart();

    // The session started early, once its load is done, with its report; null when it is not the
    // start asked for (or was taken before).
    std::unique_ptr<PlacementSession> take(const QString& commandLine, const QString& path,
                                           PlacementSession::LoadReport* report);
    // To be told once Qt's application object exists, when the start was begun before it.
    void applicationMade();
    // Waits for the start and closes its session: the program ends without a window, or another
    // start is asked for.
    void abandon();
    bool taken() const { return m_taken; }

private:
    QString m_commandLine;
    QString m_path;
    std::unique_ptr<PlacementSession> m_session;
    PlacementSession::LoadReport m_report;
    bool m_taken = false;
    bool m_driverFound = true; // unless looked for and not found
    std::thread m_thread;
};
