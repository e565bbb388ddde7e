#include "Notification.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>

#include <cerrno>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nosk {
namespace {

const char kMessage[] = "NOSK_COMM";
const QLatin1String kPrefix("NOSK_COMM.");

bool processAlive(long pid)
{
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QStringList socketsIn(const QString& folder)
{
    QDir dir(folder);
    return dir.entryList({kPrefix + QLatin1Char('*')}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
}

} // namespace

bool securePrivateFolder(const QString& folder)
{
    QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}

QString notificationFolder()
{
    QString folder;
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QFile::decodeName(runtime)).exists())
        folder = QFile::decodeName(runtime) + QStringLiteral("/nosk");
    else
        folder = QDir::tempPath() + QStringLiteral("/nosk-") + QString::number(::getuid());
    if (!securePrivateFolder(folder))
        return {};
    return folder;
}

NotifyListener::NotifyListener(const QString& folder, QObject* parent)
    : QObject(parent)
    , m_folder(folder)
{
}

NotifyListener::~NotifyListener()
{
    close();
}

bool NotifyListener::listen()
{
    close();
    QString folder = m_folder.isEmpty() ? notificationFolder() : m_folder;
    if (folder.isEmpty() || !securePrivateFolder(folder))
        return false;
    // A viewer that crashed leaves its socket behind.
    for (const QString& name : socketsIn(folder)) {
        bool ok = false;
        long pid = name.mid(kPrefix.size()).section(QLatin1Char('.'), 0, 0).toLong(&ok);
        if (!ok || !processAlive(pid))
            QFile::remove(folder + QLatin1Char('/') + name);
    }
    // "NOSK_COMM.<pid>.<n>": one socket per listener, also several in one process.
    static int serial = 0;
    m_path = folder + QLatin1Char('/') + kPrefix + QString::number(::getpid()) + QLatin1Char('.')
        + QString::number(++serial);
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &NotifyListener::onConnection);
    return true;
}

void NotifyListener::close()
{
    if (m_server) {
        m_server->close();  // also removes the socket file
        delete m_server;
        m_server = nullptr;
    }
}

void NotifyListener::onConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            readFrom(socket);
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void NotifyListener::readFrom(QLocalSocket* socket)
{
    int heard = 0;
    while (socket->canReadLine()) {
        QByteArray line = socket->readLine().trimmed();
        if (line == kMessage) {
            // The answer is 0, as always; the sender does not read it.
            if (socket->state() == QLocalSocket::ConnectedState)
                socket->write("0\n");
            ++heard;
        }
    }
    // Anything longer than a message without a line end is not ours.
    if (socket->bytesAvailable() > 64)
        socket->abort();
    // The receiver may open a message box, whose event loop can end and
    // delete this socket: it hears of the notification only after the
    // reading is over, from the event loop.
    for (int i = 0; i < heard; ++i)
        QMetaObject::invokeMethod(this, [this] { emit notified(); }, Qt::QueuedConnection);
}

NotifySender::NotifySender(const QString& folder)
    : m_folder(folder)
{
}

int NotifySender::notifyViewers()
{
    QString folder = m_folder.isEmpty() ? notificationFolder() : m_folder;
    if (folder.isEmpty() || !securePrivateFolder(folder))
        return 0;
    int reached = 0;
    for (const QString& name : socketsIn(folder)) {
        QString path = folder + QLatin1Char('/') + name;
        QLocalSocket socket;
        socket.connectToServer(path, QIODevice::ReadWrite);
        if (!socket.waitForConnected(kTimeoutMs)) {
            QLocalSocket::LocalSocketError e = socket.error();
            if (e == QLocalSocket::ConnectionRefusedError || e == QLocalSocket::ServerNotFoundError)
                QFile::remove(path);
            continue;
        }
        socket.write(kMessage);
        socket.write("\n");
        if (socket.waitForBytesWritten(kTimeoutMs))
            ++reached;
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(kTimeoutMs);
    }
    return reached;
}

} // namespace nosk
