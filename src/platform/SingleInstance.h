#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

// One running app per user. The first start holds a lock in the user's runtime directory and
// listens beside it; a later start finds the lock, asks the first to open its panel and leaves.
// A lock whose owner is gone (a crash, SIGKILL) is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // How long a later start keeps trying to reach the first one.
    static constexpr std::chrono::milliseconds requestTimeout{3000};
    static constexpr char lockName[] = "skerrow.lock";
    static constexpr char socketName[] = "skerrow.socket";

    // Empty means the user's runtime directory ($XDG_RUNTIME_DIR).
    explicit SingleInstance(QString runtimeDirectory = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock; false when another running process holds it.
    bool claim();
    // After `claim`: accepts the requests of later starts. Call once start-up is done.
    bool listen();
    // From a later start: asks the first to open its panel and waits for its answer, for at
    // most `requestTimeout`. False when it could not be reached.
    bool askToOpenPanel() const;

    QString socketPath() const;

Q_SIGNALS:
    void openPanelRequested();

private:
    void serve(QLocalSocket* connection);

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
