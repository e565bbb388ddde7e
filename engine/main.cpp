// noskwin: the bundled CNLS engine. Started in the work folder with no
// argument, with "S" (stay: wait for Enter at the end when run in a
// terminal) and/or "--starts N" (the best of N fits from N starts). Reads
// INFL, writes PNTOUTL, AUXPNTL and OUTIN.
#include "core/Exception.h"
#include "core/WorkFolderLock.h"
#include "engine/EngineRun.h"
#include "job/Starts.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string>
#include <unistd.h>

namespace {

// Standard output and error as streams over their descriptors. The engine
// uses no std::cout: the eight standard streams and their set-up cost a short
// run more than its fit. Output is buffered until a flush (std::endl, a
// progress line) and at the end; error output goes out at once.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd)
        : m_fd(fd)
    {
        setp(m_buffer, m_buffer + sizeof m_buffer);
    }
    ~DescriptorBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override
    {
        if (sync() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override
    {
        const char* p = pbase();
        while (p < pptr()) {
            const ssize_t n = ::write(m_fd, p, static_cast<std::size_t>(pptr() - p));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                setp(m_buffer, m_buffer + sizeof m_buffer);
                return -1;  // a closed reader: the output is lost, the run goes on
            }
            p += n;
        }
        setp(m_buffer, m_buffer + sizeof m_buffer);
        return 0;
    }

private:
    int m_fd;
    char m_buffer[4096];
};

DescriptorBuffer g_outBuffer(STDOUT_FILENO);
DescriptorBuffer g_errBuffer(STDERR_FILENO);
std::ostream g_out(&g_outBuffer);
std::ostream g_err(&g_errBuffer);

// What was wrong first ("noskwin: --starts needs a number from 1 to
// 10000, not 0"), then the usage.
int usage(const std::string& mistake = {})
{
    if (!mistake.empty())
        g_err << "noskwin: " << mistake << "\n";
    g_err << "usage: noskwin [S] [--starts N]\n"
                 "  runs the job of INFL in the current folder; S waits for Enter at the end;\n"
                 "  --starts N fits from the job's start values and N-1 further starts and keeps the\n"
                 "  lowest S (1 to "
              << nosk::kMaxStarts << ", default 1)\n";
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    g_err << std::unitbuf;
    bool stay = false;
    int starts = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "S") == 0 && !stay) {
            stay = true;
        } else if (std::strcmp(argv[i], "--starts") == 0 && i + 1 < argc) {
            const char* text = argv[++i];
            const char* end = text + std::strlen(text);
            auto [ptr, ec] = std::from_chars(text, end, starts);
            if (ec != std::errc() || ptr != end || starts < 1 || starts > nosk::kMaxStarts)
                return usage("--starts needs a number from 1 to " + std::to_string(nosk::kMaxStarts) + ", not " +
                             (*text ? std::string(text) : std::string("an empty word")));
        } else if (std::strcmp(argv[i], "--starts") == 0) {
            return usage("--starts needs a number from 1 to " + std::to_string(nosk::kMaxStarts));
        } else {
            return usage(std::string("unknown argument ") + argv[i]);
        }
    }
    // A file-size limit makes a write fail ("Cannot write file") instead of
    // killing the engine halfway through its outputs.
    std::signal(SIGXFSZ, SIG_IGN);
    // One run at a time in the folder; the organiser hands its lock down.
    nosk::WorkFolderLock lock;
    try {
        if (!lock.tryLockOrInherit("noskwin")) {
            g_err << lock.busyMessage() << " Run the engine when it has finished.\n";
            return 1;
        }
    } catch (const nosk::exception& e) {  // NOSK.LOCK cannot be used
        g_err << e.what() << '\n';
        return 1;
    }
    const int status = nosk::engine::runEngine(g_out, g_err, starts);
    lock.unlock();
    if (stay && ::isatty(STDIN_FILENO)) {
        g_out << "Press Enter to close" << std::endl;
        char c = 0;
        while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
        }
    }
    g_out.flush();
    g_err.flush();
    return status;
}
