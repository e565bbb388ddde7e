#include "core/AtomicFileWriter.h"

#include "core/Exception.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nosk {

namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, const char* p, std::size_t left)
{
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& path, Links links, Durability durability)
    : m_path(path), m_target(path), m_sync(durability == Durability::Sync)
{
    std::error_code ec;
    if (links == Links::Follow && fs::is_symlink(path, ec)) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec)
            m_target = resolved.string();
    }

    // A link replaced as such is no file of ours to look at.
    struct stat old {};
    bool exists = (links == Links::Follow ? ::stat(m_target.c_str(), &old) : ::lstat(m_target.c_str(), &old)) == 0;
    if (exists && S_ISLNK(old.st_mode))
        exists = false;
    if (exists && (!S_ISREG(old.st_mode) || ::access(m_target.c_str(), W_OK) != 0))
        throw exception("Cannot open file '%s'!", path.c_str());

    fs::path target(m_target);
    fs::path dir = target.parent_path();
    std::string base = target.filename().string();
    static unsigned counter = 0;
    int error = 0;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        std::string name = "." + base + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        m_tempPath = (dir / name).string();
        m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = errno;
        if (m_fd < 0 && error != EEXIST)
            break;
    }
    if (m_fd < 0 && exists && (error == EACCES || error == EROFS || error == EPERM)) {
        // A folder we may not create files in: the old way, in place.
        m_tempPath.clear();
        const int noFollow = links == Links::Replace ? O_NOFOLLOW : 0;
        m_fd = ::open(m_target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | noFollow);
    }
    if (m_fd < 0) {
        errno = error;
        throw exception("Cannot open file '%s'!", path.c_str());
    }
    if (exists && !m_tempPath.empty()) {
        ::fchmod(m_fd, old.st_mode & 07777);  // keep the old file's permissions
        m_replacesFile = true;
    }
}

AtomicFileWriter::~AtomicFileWriter()
{
    discard();
}

void AtomicFileWriter::discard()
{
    const int error = errno;  // the cause stays for the caller to tell
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        if (!m_tempPath.empty())
            ::unlink(m_tempPath.c_str());
    }
    errno = error;
}

void AtomicFileWriter::fail()
{
    discard();
    throw exception("Cannot write file '%s'!", m_path.c_str());
}

void AtomicFileWriter::flush()
{
    if (m_fd < 0)
        throw exception("Cannot write file '%s'!", m_path.c_str());
    if (!writeAll(m_fd, m_buffer.data(), m_buffer.size()))
        fail();
    m_buffer.clear();
}

void AtomicFileWriter::commit()
{
    flush();
    // On the disk before the name points at it: a crash right after the
    // rename must not leave an empty file where the old one was.
    if (m_sync && ::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        fail();
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        if (!m_tempPath.empty())
            ::unlink(m_tempPath.c_str());
        errno = error;
        throw exception("Cannot write file '%s'!", m_path.c_str());
    }
    if (m_tempPath.empty())
        return;
    if (!m_sync && m_replacesFile && exchangeWithTarget())
        return;
    if (std::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        ::unlink(m_tempPath.c_str());
        errno = error;
        throw exception("Cannot write file '%s'!", m_path.c_str());
    }
}

// Without the sync: the new file and the old one swap names, and the old one
// is removed under the temporary name. The target names the old file or the
// new one at every moment, as with a rename; but a rename over an existing
// file makes ext4 allocate the new file's blocks and start writing them at
// once (its guard for programs that do not sync), 0.2-0.4 ms per file, which
// is what the unsynced way is for not to pay. False when the swap cannot be
// made (no such call, another file system, the target gone): then rename.
bool AtomicFileWriter::exchangeWithTarget()
{
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, m_tempPath.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) != 0)
        return false;
    struct stat swapped {};
    if (::lstat(m_tempPath.c_str(), &swapped) == 0 && S_ISREG(swapped.st_mode) && ::unlink(m_tempPath.c_str()) == 0)
        return true;
    // Not the regular file it was a moment ago, or it cannot be removed:
    // swap back, and the rename below replaces it as before.
    return ::renameat2(AT_FDCWD, m_tempPath.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) != 0;
#else
    return false;
#endif
}

void replaceFile(const std::string& path, std::string_view bytes, AtomicFileWriter::Links links,
    AtomicFileWriter::Durability durability)
{
    AtomicFileWriter writer(path, links, durability);
    writer.buffer().assign(bytes);
    writer.commit();
}

} // namespace nosk
