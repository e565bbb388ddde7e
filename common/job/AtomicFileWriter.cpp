#include "job/AtomicFileWriter.h"

#include "core/Exception.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nosk {

namespace fs = std::filesystem;

AtomicFileWriter::AtomicFileWriter(const std::string& path)
    : m_path(path), m_target(path)
{
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec)
            m_target = resolved.string();
    }

    struct stat old {};
    bool exists = ::stat(m_target.c_str(), &old) == 0;
    if (exists && (!S_ISREG(old.st_mode) || ::access(m_target.c_str(), W_OK) != 0))
        throw exception("Cannot open file '%s'!", path.c_str());

    fs::path target(m_target);
    fs::path dir = target.parent_path();
    std::string base = target.filename().string();
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        std::string name = "." + base + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        m_tempPath = (dir / name).string();
        m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        throw exception("Cannot open file '%s'!", path.c_str());
    if (exists)
        ::fchmod(m_fd, old.st_mode & 07777);  // keep the old file's permissions
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_tempPath.c_str());
    }
}

void AtomicFileWriter::fail()
{
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_tempPath.c_str());
    throw exception("Cannot write file '%s'!", m_path.c_str());
}

void AtomicFileWriter::flush()
{
    if (m_fd < 0)
        throw exception("Cannot write file '%s'!", m_path.c_str());
    const char* p = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0) {
        ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail();
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    m_buffer.clear();
}

void AtomicFileWriter::commit()
{
    flush();
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || std::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        ::unlink(m_tempPath.c_str());
        throw exception("Cannot write file '%s'!", m_path.c_str());
    }
}

} // namespace nosk
