#include "core/session/early_start.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QThread>

namespace {

// Qt sets up its plugin paths while the application object is made, which may be at the same time:
// the SQL driver's plugin is loaded here, on the constructing thread, and the start's own thread
// then finds it loaded. Before the application object, Qt looks in its own plugin folder only.
bool loadSqlDriver() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) // asked so, Qt says nothing
        return false;
    const QString probe = QStringLiteral("early-start-driver");
    const bool loaded = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), probe).isValid();
    QSqlDatabase::removeDatabase(probe);
    return loaded;
}

} // namespace

EarlyStart::EarlyStart(const QString& commandLine, const QString& path)
    : m_commandLine(commandLine), m_path(path) {
    QThread* owner = QThread::currentThread();
    // A journal beside the file may be an interrupted write, which the start puts back and tells
    // of: that start is the window's own.
    if (QFileInfo::exists(path + QStringLiteral("-journal")))
        return;
    m_driverFound = loadSqlDriver();
    if (!m_driverFound)
        return;
    m_thread = std::thread([this, owner] {
        m_session = std::make_unique<PlacementSession>(startup::variantOf(m_commandLine));
        m_session->setWriteFavourites(false);
        m_report = m_session->start(m_path);
        m_session->database().handOverTo(owner);
    });
}

EarlyStart::~EarlyStart() {
    if (m_thread.joinable())
        m_thread.join();
}

void EarlyStart::applicationMade() {
    // A driver beside the program (as Windows packages place it) is found only with the folders the
    // application object adds; Qt's plugin lists, made before, are made again.
    if (!m_driverFound && QCoreApplication::instance())
        QCoreApplication::setLibraryPaths(QCoreApplication::libraryPaths());
}

void EarlyStart::abandon() {
    if (m_thread.joinable())
        m_thread.join();
    m_session.reset();
}

std::unique_ptr<PlacementSession> EarlyStart::take(const QString& commandLine, const QString& path,
                                                   PlacementSession::LoadReport* report) {
    if (m_thread.joinable())
        m_thread.join();
    const bool asked = m_session && commandLine == m_commandLine && path == m_path &&
                       !(m_report.result && m_report.result->favouritesWithheld);
    if (!asked) {
        m_session.reset(); // closes its connection before the window's start opens the file
        return nullptr;
    }
    m_session->setWriteFavourites(true);
    m_taken = true;
    *report = m_report;
    return std::move(m_session);
}
