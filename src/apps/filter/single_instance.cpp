#include "apps/filter/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLockFile>
#include <QThread>
#include <functional>

#ifdef Q_OS_LINUX
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#else
#include <QLocalServer>
#include <QLocalSocket>
#endif

#ifdef Q_OS_LINUX

// Later starts knock on a socket file in the temporary folder; a knock is a connection. Qt's local
// server would do the same, but its network library loads nine more (Kerberos's and the proxy
// resolver's among them): 2 to 4 ms of every start.
class SingleInstance::Listener {
public:
    static bool addressOf(const QString& key, sockaddr_un* address) {
        const QByteArray path =
            QFile::encodeName(QDir(QDir::tempPath()).filePath(key + QStringLiteral(".socket")));
        *address = {};
        address->sun_family = AF_UNIX;
        if (size_t(path.size()) >= sizeof address->sun_path)
            return false;
        std::memcpy(address->sun_path, path.constData(), size_t(path.size()));
        return true;
    }

    Listener(const QString& key, std::function<void()> knocked) {
        if (!addressOf(key, &m_address))
            return;
        m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_socket < 0)
            return;
        ::unlink(m_address.sun_path); // left by a start that died: the lock says none runs
        // Only the user may knock; no knock gets in before listen(), so the mode is set in time.
        if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) != 0 ||
            ::chmod(m_address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(m_socket, 8) != 0) {
            ::close(m_socket);
            m_socket = -1;
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_socket, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                         [this, knocked] { takeKnocks(knocked); });
    }
    ~Listener() {
        m_notifier.reset();
        if (m_socket >= 0) {
            ::close(m_socket);
            ::unlink(m_address.sun_path);
        }
    }

    static bool reachable(const QString& key) {
        sockaddr_un address;
        return addressOf(key, &address);
    }
    // True when a running instance took the knock.
    static bool knock(const QString& key) {
        sockaddr_un address;
        if (!addressOf(key, &address))
            return false;
        const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const bool taken = socket >= 0 && ::connect(socket, reinterpret_cast<const sockaddr*>(&address),
                                                    sizeof address) == 0;
        if (socket >= 0)
            ::close(socket);
        return taken;
    }

private:
    void takeKnocks(const std::function<void()>& knocked) {
        for (;;) {
            const int knock = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (knock >= 0) {
                ::close(knock);
                knocked();
            } else if (errno != EINTR && errno != ECONNABORTED) {
                break;
            }
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // Out of descriptors, say: the knock stays queued and the socket stays readable. It is
        // taken a second later rather than by a loop that would hold the processor.
        m_notifier->setEnabled(false);
        QTimer::singleShot(1000, m_notifier.get(),
                           [notifier = m_notifier.get()] { notifier->setEnabled(true); });
    }

    sockaddr_un m_address{};
    int m_socket = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

#else

class SingleInstance::Listener {
public:
    Listener(const QString& key, std::function<void()> knocked) {
        QLocalServer::removeServer(key);
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(&m_server, &QLocalServer::newConnection, [this, knocked] {
            while (QLocalSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                knocked();
            }
        });
        m_server.listen(key);
    }

    static bool reachable(const QString&) { return true; }

    static bool knock(const QString& key) {
        QLocalSocket socket;
        socket.connectToServer(key);
        if (!socket.waitForConnected(100))
            return false;
        socket.write("activate\n");
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
        return true;
    }

private:
    QLocalServer m_server;
};

#endif

SingleInstance::SingleInstance(QString key, QObject* parent) : QObject(parent), m_key(std::move(key)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::keyForCurrentUser() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    const QByteArray identity =
        (user + QLatin1Char('|') + qEnvironmentVariable("FILTER_REGISTRY_DIR")).toUtf8();
    return QStringLiteral("filter-control-") +
           QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha1).toHex().left(16));
}

bool SingleInstance::acquire() {
    m_lock = std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(m_key + QStringLiteral(".lock")));
    // The program runs for hours: only a lock whose owner has died counts as stale.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        return false;
    m_listener = std::make_unique<Listener>(m_key, [this] { emit activationRequested(); });
    return true;
}

bool SingleInstance::activateRunning(int timeoutMs) {
    // The first instance may hold the lock a moment before it listens; where the socket's name
    // cannot be made (a temporary folder's path too long for it) none listens.
    if (!Listener::reachable(m_key))
        return false;
    for (const QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::msleep(50))
        if (Listener::knock(m_key))
            return true;
    return false;
}
