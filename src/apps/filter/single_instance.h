#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLockFile;

// One running program per user and settings location: the first start holds a lock and listens;
// a later start asks it to come to the front and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Keyed by the user and FILTER_REGISTRY_DIR, so that parallel test runs do not collide.
    static QString keyForCurrentUser();

    // True when this is the first instance; it then listens for later starts.
    bool acquire();
    // Asks the running instance to show its window; false when none answered in time.
    bool activateRunning(int timeoutMs = 3000);

signals:
    void activationRequested();

private:
    class Listener; // where later starts knock
    QString m_key;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<Listener> m_listener;
};
