#include "core/WorkFolderLock.h"

#include "core/Exception.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

namespace nosk {

namespace fs = std::filesystem;

namespace {

int openLockFile(const std::string& path, bool& readOnly)
{
    readOnly = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd >= 0)
            return fd;
        if (errno == ELOOP) {
            // A link planted under the lock's name: never lock (or truncate)
            // what it points at; the link goes.
            ::unlink(path.c_str());
            continue;
        }
        if (errno == EACCES || errno == EROFS || errno == EPERM) {
            // Another user's lock file in a shared folder locks as well
            // when it can only be read.
            const int denied = errno;
            fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0)
                readOnly = true;
            else if (errno == ENOENT)
                errno = denied;  // no lock file, and none may be made here
        }
        return fd;
    }
    return -1;
}

bool sameFile(int fd, const std::string& path)
{
    struct stat a {}, b {};
    return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string newToken()
{
    // The kernel's random bytes (std::random_device first asks the processor
    // what it offers, which in a virtual machine costs more than the rest of
    // the lock); the process and the time besides.
    unsigned long long seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed))
        seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937_64 bits(seed ^ static_cast<unsigned long long>(::getpid())
                         ^ static_cast<unsigned long long>(std::time(nullptr)));
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 16; ++i)
        token += digits[bits() & 15];
    return token;
}

// The holder's line: "<pid> <token> <purpose>".
struct HolderLine {
    long pid = 0;
    std::string token;
    std::string purpose;
};

HolderLine parseHolder(const std::string& text)
{
    HolderLine h;
    const std::string line = text.substr(0, text.find('\n'));
    char* end = nullptr;
    h.pid = std::strtol(line.c_str(), &end, 10);
    std::string rest = end ? std::string(end) : std::string();
    const std::size_t a = rest.find_first_not_of(' ');
    if (a == std::string::npos)
        return h;
    const std::size_t b = rest.find(' ', a);
    h.token = rest.substr(a, b == std::string::npos ? std::string::npos : b - a);
    if (b != std::string::npos)
        h.purpose = rest.substr(b + 1);
    return h;
}

std::string readSmall(int fd)
{
    char text[512];
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

bool processGone(long pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

WorkFolderLock::WorkFolderLock(std::string folder)
    : m_folder(std::move(folder))
{
    if (m_folder.empty())
        m_folder = ".";
}

WorkFolderLock::~WorkFolderLock()
{
    unlock();
}

std::string WorkFolderLock::path() const
{
    return (fs::path(m_folder) / kFileName).string();
}

void WorkFolderLock::unlock()
{
    // Closing, not LOCK_UN: an engine started under the lock shares it and
    // keeps the folder locked until it has ended as well.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_inherited = false;
    m_unusable = false;
}

void WorkFolderLock::readHolder(int fd)
{
    const HolderLine h = parseHolder(readSmall(fd));
    m_holderToken = h.token;
    m_holder = h.purpose.empty() ? std::string("another run") : h.purpose;
    if (h.pid > 0)
        m_holder += " (process " + std::to_string(h.pid) + ")";
}

WorkFolderLock::Attempt WorkFolderLock::attempt(const std::string& purpose, bool wait,
                                                const std::function<void(const std::string&)>& waiting,
                                                const std::atomic<bool>* stop)
{
    unlock();
    m_error.clear();
    const std::string file = path();
    for (int round = 0; round < 10; ++round) {
        bool readOnly = false;
        const int fd = openLockFile(file, readOnly);
        if (fd < 0) {
            if (errno == EACCES || errno == EROFS || errno == EPERM) {
                // No lock file and none can be made: a folder nobody who
                // takes the lock can write in.
                m_unusable = true;
                return Attempt::Taken;
            }
            m_error = "Cannot open file '" + file + "': " + std::strerror(errno);
            return Attempt::Unusable;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            m_error = "Cannot open file '" + file + "': not a regular file";
            return Attempt::Unusable;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                m_error = "Cannot lock file '" + file + "': " + std::strerror(errno);
                ::close(fd);
                return Attempt::Unusable;
            }
            readHolder(fd);
            if (!wait) {
                ::close(fd);
                return Attempt::Busy;
            }
            if (waiting)
                waiting(busyMessage());
            int rc;
            if (stop) {
                // Looked at between tries, so that a signal that comes just
                // before a blocking call cannot be missed.
                while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && (errno == EWOULDBLOCK || errno == EINTR)) {
                    if (stop->load()) {
                        ::close(fd);
                        return Attempt::Busy;
                    }
                    ::usleep(50000);
                }
            } else {
                while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
                }
            }
            if (rc != 0) {
                m_error = "Cannot lock file '" + file + "': " + std::strerror(errno);
                ::close(fd);
                return Attempt::Unusable;
            }
        }
        // Locked: but the name may have been given to a new file meanwhile,
        // and a lock on a file that has no name any more locks nothing.
        if (!sameFile(fd, file)) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_token = newToken();
        if (!readOnly) {
            // The line only tells others who holds the lock, so failures are
            // ignored. Written over the old line and cut after it only when
            // the old one was longer (readers take the first line): cutting
            // a file to 0 costs the file system a journal entry, 0.1-0.4 ms
            // on ext4, a tenth of a short engine run.
            const std::string line = std::to_string(::getpid()) + " " + m_token + " " + purpose + "\n";
            const off_t length = static_cast<off_t>(line.size());
            if (::pwrite(fd, line.data(), line.size(), 0) == length && ::fstat(fd, &info) == 0 && info.st_size > length
                && ::ftruncate(fd, length) != 0) {
            }
        }
        return Attempt::Taken;
    }
    m_error = "Cannot lock file '" + file + "': it keeps being replaced";
    return Attempt::Unusable;
}

bool WorkFolderLock::tryLock(const std::string& purpose)
{
    return taken(attempt(purpose, false, {}));
}

void WorkFolderLock::lock(const std::string& purpose, const std::function<void(const std::string&)>& waiting,
                          const std::atomic<bool>* stop)
{
    if (!taken(attempt(purpose, true, waiting, stop)))
        throw exception("Interrupted while waiting for the work folder");
}

bool WorkFolderLock::taken(Attempt result) const
{
    if (result == Attempt::Unusable)
        throw exception("%s", m_error.c_str());
    return result == Attempt::Taken;
}

bool WorkFolderLock::tryLockOrInherit(const std::string& purpose)
{
    unlock();
    const char* value = std::getenv(kEnvironment);
    long fd = -1;
    std::string token;
    if (value && *value) {
        char* end = nullptr;
        fd = std::strtol(value, &end, 10);
        while (end && *end == ' ')
            ++end;
        token = end ? end : "";
    }
    // The holder's own descriptor, kept open across the start: locking it
    // again succeeds only when it is the lock the holder has.
    if (fd >= 0 && fd < 1 << 20) {
        const int d = static_cast<int>(fd);
        if (::fcntl(d, F_GETFD) >= 0 && sameFile(d, path()) && ::flock(d, LOCK_EX | LOCK_NB) == 0) {
            ::fcntl(d, F_SETFD, FD_CLOEXEC);
            m_fd = d;
            m_inherited = true;
            return true;
        }
    }
    if (taken(attempt(purpose, false, {})))
        return true;
    // Started through a program that does not pass descriptors on (a
    // terminal window): the holder's token in the lock file says the lock
    // is held for us.
    if (!token.empty() && token == m_holderToken) {
        m_inherited = true;
        return true;
    }
    return false;
}

std::string WorkFolderLock::busyMessage() const
{
    std::error_code ec;
    std::string folder = fs::absolute(m_folder, ec).lexically_normal().string();
    if (ec)
        folder = m_folder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return "The work folder " + folder + " is in use by " + (m_holder.empty() ? std::string("another run") : m_holder)
        + ".";
}

std::string WorkFolderLock::environmentValue() const
{
    if (m_fd < 0)
        return {};
    return std::to_string(m_fd) + " " + m_token;
}

int sweepStaleTemporaries(const std::string& folder, long minimumAgeSeconds)
{
    int removed = 0;
    std::error_code ec;
    const std::time_t now = std::time(nullptr);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        long pid = 0;
        bool folderKind = false;
        if (name.rfind("nosk-batch-", 0) == 0) {
            // nosk-batch-<pid>-XXXXXX
            const char* p = name.c_str() + 11;
            char* e = nullptr;
            pid = std::strtol(p, &e, 10);
            if (e == p || *e != '-')
                continue;
            folderKind = true;
        } else if (name.size() > 1 && name[0] == '.') {
            // .<name>.tmp<pid>-<n>
            const std::size_t tmp = name.rfind(".tmp");
            if (tmp == std::string::npos || tmp == 0)
                continue;
            const char* p = name.c_str() + tmp + 4;
            char* e = nullptr;
            pid = std::strtol(p, &e, 10);
            if (e == p || *e != '-' || !std::isdigit(static_cast<unsigned char>(e[1])))
                continue;
            char* e2 = nullptr;
            (void)std::strtol(e + 1, &e2, 10);
            if (*e2 != '\0')
                continue;
        } else {
            continue;
        }
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || info.st_uid != ::geteuid())
            continue;
        if (folderKind ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))
            continue;
        if (now - info.st_mtime < minimumAgeSeconds || !processGone(pid))
            continue;
        std::error_code removeError;
        if (folderKind)
            fs::remove_all(it->path(), removeError);
        else
            fs::remove(it->path(), removeError);
        if (!removeError)
            ++removed;
    }
    return removed;
}

} // namespace nosk
