// noskwin: the bundled CNLS engine. Started in the work folder with no
// argument, with "S" (stay: wait for Enter at the end when run in a
// terminal), "--starts N" (the best of N fits from N starts), "--agree K"
// and "--seconds T" (when the search stops), and
// "--intervals profile|bootstrap" with "--level L", "--replicates B" and
// "--seed N" (the intervals of the free parameters). Reads INFL, writes
// PNTOUTL, AUXPNTL and OUTIN.
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
    g_err << "usage: noskwin [S] [--starts N] [--agree K] [--seconds T]\n"
                 "               [--intervals profile|bootstrap [--level L] [--replicates B] [--seed N] [--parametric]]\n"
                 "  runs the job of INFL in the current folder; S waits for Enter at the end;\n"
                 "  --starts N fits from the job's start values and from further starts around them,\n"
                 "  in rounds, and keeps the lowest S; it stops when K runs have reached the lowest S\n"
                 "  or when N starts are spent (N 1 to "
              << nosk::kMaxStarts << ", default 1: a single fit; K 0 to " << nosk::kMaxStarts << ", default "
              << nosk::engine::kAgreeingRuns << ", 0: all N starts); with --seconds T no further round\n"
                 "  begins after T seconds (more than 0, at most 1e6; default: no time limit)\n"
                 "  --intervals adds an interval per free parameter at level L (0.5 to 0.999, default\n"
                 "  0.95): profile likelihood, or the percentiles of B refits to resampled residuals\n"
                 "  (normal noise with --parametric; B 20 to 100000, default 500; seed N, default 1)\n";
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    g_err << std::unitbuf;
    bool stay = false;
    int starts = 1;
    int agree = nosk::engine::kAgreeingRuns;
    double seconds = 0;
    nosk::engine::IntervalSettings intervals;
    auto whole = [](const char* text, auto& value) {
        const char* end = text + std::strlen(text);
        auto [ptr, ec] = std::from_chars(text, end, value);
        return ec == std::errc() && ptr == end;
    };
    // "--starts needs a number from 1 to 10000, not 0": the option, what it
    // takes, and the word given when there was one.
    auto needs = [](const char* option, const std::string& what, const char* given) {
        std::string text = std::string(option) + " needs " + what;
        if (given)
            text += std::string(", not ") + (*given ? given : "an empty word");
        return usage(text);
    };
    const std::string maxStarts = std::to_string(nosk::kMaxStarts);
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        // The option's value, or nullptr at the end of the line.
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto take = [&] {
            if (value)
                ++i;
            return value != nullptr;
        };
        if (std::strcmp(option, "S") == 0 && !stay) {
            stay = true;
        } else if (std::strcmp(option, "--starts") == 0) {
            if (!take() || !whole(value, starts) || starts < 1 || starts > nosk::kMaxStarts)
                return needs(option, "a number from 1 to " + maxStarts, value);
        } else if (std::strcmp(option, "--agree") == 0) {
            if (!take() || !whole(value, agree) || agree < 0 || agree > nosk::kMaxStarts)
                return needs(option, "a number from 0 to " + maxStarts, value);
        } else if (std::strcmp(option, "--seconds") == 0) {
            if (!take() || !whole(value, seconds) || !(seconds > 0 && seconds <= 1e6))
                return needs(option, "a number of seconds above 0, at most 1e6", value);
        } else if (std::strcmp(option, "--intervals") == 0) {
            if (!take() || !nosk::engine::parseIntervalMethod(value, intervals.method))
                return needs(option, "profile or bootstrap", value);
        } else if (std::strcmp(option, "--level") == 0) {
            if (!take() || !whole(value, intervals.level) || !(intervals.level >= 0.5 && intervals.level <= 0.999))
                return needs(option, "a number from 0.5 to 0.999", value);
        } else if (std::strcmp(option, "--replicates") == 0) {
            if (!take() || !whole(value, intervals.replicates) || intervals.replicates < 20 ||
                intervals.replicates > 100000)
                return needs(option, "a number from 20 to 100000", value);
        } else if (std::strcmp(option, "--seed") == 0) {
            if (!take() || !whole(value, intervals.seed))
                return needs(option, "a whole number", value);
        } else if (std::strcmp(option, "--parametric") == 0) {
            intervals.parametric = true;
        } else {
            return usage(std::string("unknown argument ") + option);
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
    const int status = nosk::engine::runEngine(g_out, g_err, starts, agree, intervals, seconds);
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
