#include "platform/Notification.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <QTest>

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nosk;

namespace {

// A socket file whose owner is gone, as a crashed viewer leaves it.
void makeStaleSocket(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

long deadPid()
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

} // namespace

TEST(Notification, ReachesEveryListenerAndSkipsStaleSockets)
{
    test::TempWorkDir work;
    QString folder = QString::fromStdString(work.file("comm"));
    NotifyListener first(folder), second(folder);
    ASSERT_TRUE(first.listen());
    ASSERT_TRUE(second.listen());
    EXPECT_NE(first.socketPath(), second.socketPath());
    // A socket under the name of a live process that nobody serves.
    std::string stale = work.file("comm/NOSK_COMM." + std::to_string(::getpid()) + ".999");
    makeStaleSocket(stale);

    int heardFirst = 0, heardSecond = 0;
    QObject::connect(&first, &NotifyListener::notified, [&] { ++heardFirst; });
    QObject::connect(&second, &NotifyListener::notified, [&] { ++heardSecond; });

    NotifySender sender(folder);
    EXPECT_EQ(sender.notifyViewers(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heardFirst == 1; }, 2000)) << heardFirst;
    ASSERT_TRUE(QTest::qWaitFor([&] { return heardSecond == 1; }, 2000)) << heardSecond;
    EXPECT_FALSE(std::filesystem::exists(stale));

    // A second run reaches them again.
    EXPECT_EQ(sender.notifyViewers(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heardFirst == 2; }, 2000)) << heardFirst;
    ASSERT_TRUE(QTest::qWaitFor([&] { return heardSecond == 2; }, 2000)) << heardSecond;
}

TEST(Notification, ListenerRemovesSocketsOfEndedViewers)
{
    test::TempWorkDir work;
    QString folder = QString::fromStdString(work.file("comm"));
    std::filesystem::create_directory(work.file("comm"));
    ::chmod(work.file("comm").c_str(), 0755);
    std::string stale = work.file("comm/NOSK_COMM." + std::to_string(deadPid()) + ".1");
    makeStaleSocket(stale);
    NotifyListener listener(folder);
    ASSERT_TRUE(listener.listen());
    EXPECT_FALSE(std::filesystem::exists(stale));
    // The folder is closed to other users.
    struct stat st {};
    ASSERT_EQ(::stat(work.file("comm").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Closing the listener takes its socket away.
    std::string own = listener.socketPath().toStdString();
    EXPECT_TRUE(std::filesystem::exists(own));
    listener.close();
    EXPECT_FALSE(std::filesystem::exists(own));
    EXPECT_EQ(NotifySender(folder).notifyViewers(), 0);
}

TEST(Notification, FolderThatIsNotADirectoryIsRefused)
{
    test::TempWorkDir work;
    std::FILE* f = std::fopen("comm", "w");
    std::fclose(f);
    NotifyListener listener(QString::fromStdString(work.file("comm")));
    EXPECT_FALSE(listener.listen());
    EXPECT_EQ(NotifySender(QString::fromStdString(work.file("comm"))).notifyViewers(), 0);
}

TEST(Notification, AReceiverThatRunsAnEventLoopOutlivesTheSendersSocket)
{
    // The viewer's reload can show a message box: its event loop runs while
    // the organiser's connection ends and the listener deletes that socket.
    // The listener must be done with the socket before the receiver runs.
    test::TempWorkDir work;
    QString folder = QString::fromStdString(work.file("comm"));
    NotifyListener listener(folder);
    ASSERT_TRUE(listener.listen());
    int heard = 0;
    QObject::connect(&listener, &NotifyListener::notified, [&] {
        ++heard;
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    });
    {
        // Two notifications in one connection, then the sender goes.
        QLocalSocket socket;
        socket.connectToServer(listener.socketPath());
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write("NOSK_COMM\nNOSK_COMM\n");
        ASSERT_TRUE(socket.waitForBytesWritten(2000));
        socket.disconnectFromServer();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard == 2; }, 5000)) << heard;
    QTest::qWait(400);
    EXPECT_EQ(heard, 2);
    EXPECT_EQ(NotifySender(folder).notifyViewers(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard == 3; }, 5000)) << heard;
}
