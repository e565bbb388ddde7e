#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace nosk {

// The "NOSK_COMM" notification: the organiser tells every running viewer of
// the user that a run has ended. Each viewer listens on a local socket of its
// own, "NOSK_COMM.<pid>.<n>", in a folder private to the user; the organiser
// connects to each socket there in turn.

// The user's notification folder: $XDG_RUNTIME_DIR/nosk, else
// <temp>/nosk-<uid>. Created with mode 0700; empty when it exists but is not a
// folder of this user (then nothing is sent or heard).
QString notificationFolder();

// Makes sure folder is a directory owned by this user and closed to others.
bool securePrivateFolder(const QString& folder);

class NotifyListener : public QObject {
    Q_OBJECT
public:
    // folder: where the sockets live (empty: notificationFolder()).
    explicit NotifyListener(const QString& folder = {}, QObject* parent = nullptr);
    ~NotifyListener() override;

    // Removes the sockets of viewers that no longer run, then listens.
    bool listen();
    void close();
    QString socketPath() const { return m_path; }

signals:
    // One "NOSK_COMM" arrived; the sender's parameters carry nothing.
    void notified();

private:
    void onConnection();
    void readFrom(QLocalSocket* socket);

    QString m_folder;
    QString m_path;
    QLocalServer* m_server = nullptr;
};

// Sends the notification. An interface, so that the organiser's tests can
// count notifications without sockets.
class Notifier {
public:
    virtual ~Notifier() = default;
    // Returns how many viewers were reached.
    virtual int notifyViewers() = 0;
};

class NotifySender : public Notifier {
public:
    explicit NotifySender(const QString& folder = {});
    // Connects to every listener with a 50 ms time-out each, sends
    // "NOSK_COMM" and does not wait for the answer. A socket nobody listens
    // on any more is removed.
    int notifyViewers() override;

    static constexpr int kTimeoutMs = 50;

private:
    QString m_folder;
};

} // namespace nosk
