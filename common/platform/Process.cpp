#include "Process.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace nosk {
namespace {

// A program that is not waited for gets a thread of its own that waits for
// its end, so that it never stays around as a zombie while the organiser runs.
void reapWhenDone(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

class PosixChild : public ChildProcess {
public:
    explicit PosixChild(pid_t pid)
        : m_pid(pid)
    {
    }
    ~PosixChild() override
    {
        // Not waited for: a program still running goes on (the engine keeps
        // running when the organiser ends).
        if (!m_done)
            reapWhenDone(m_pid);
    }

    bool running() override
    {
        if (m_done)
            return false;
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(m_pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == 0)
            return true;
        m_done = true;
        if (r < 0) {
            m_exitCode = -1;  // someone else reaped it; the status is lost
        } else if (WIFEXITED(status)) {
            m_exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            m_exitCode = 128 + WTERMSIG(status);
        }
        return false;
    }
    int exitCode() const override { return m_exitCode; }
    long pid() const override { return m_pid; }
    void terminate() override { signal(SIGTERM); }
    void signal(int sig) override
    {
        if (m_done)
            return;
        // Started in a session of its own: its process group has its pid.
        if (::kill(-m_pid, sig) != 0)
            ::kill(m_pid, sig);
    }

private:
    pid_t m_pid;
    bool m_done = false;
    int m_exitCode = 0;
};

pid_t spawn(const ProcessSpec& spec, bool newSession, int& error)
{
    error = 0;
    if (spec.program.empty()) {
        error = ENOENT;
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession)
        flags |= POSIX_SPAWN_SETSID;
    sigset_t empty, all;
    sigemptyset(&empty);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, flags);

    if (!spec.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, spec.workingDirectory.c_str());
    if (!spec.outputFile.empty()) {
        // The log is ours: a link planted under its name goes, and the log
        // is never written through one.
        std::string log = spec.outputFile;
        if (log.front() != '/' && !spec.workingDirectory.empty())
            log = spec.workingDirectory + "/" + log;  // the child opens it there
        struct stat info {};
        if (::lstat(log.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            ::unlink(log.c_str());
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, spec.outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // dup2 onto itself clears close-on-exec: the program keeps this one.
    if (spec.keepDescriptor > STDERR_FILENO)
        posix_spawn_file_actions_adddup2(&actions, spec.keepDescriptor, spec.keepDescriptor);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(spec.program.c_str()));
    for (const std::string& a : spec.arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    std::vector<std::string> variables;
    std::vector<char*> env;
    if (!spec.environment.empty()) {
        for (char** e = environ; e && *e; ++e) {
            const std::string v = *e;
            bool replaced = false;
            for (const std::string& n : spec.environment)
                replaced = replaced || v.compare(0, n.find('=') + 1, n, 0, n.find('=') + 1) == 0;
            if (!replaced)
                variables.push_back(v);
        }
        variables.insert(variables.end(), spec.environment.begin(), spec.environment.end());
        for (std::string& v : variables)
            env.push_back(v.data());
        env.push_back(nullptr);
    }

    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, spec.program.c_str(), &actions, &attr, argv.data(),
                            env.empty() ? environ : env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        error = rc;
        return -1;
    }
    return pid;
}

} // namespace

std::unique_ptr<ChildProcess> PosixProcessLauncher::start(const ProcessSpec& spec, int& error)
{
    pid_t pid = spawn(spec, true, error);
    if (pid < 0)
        return nullptr;
    return std::make_unique<PosixChild>(pid);
}

bool PosixProcessLauncher::startDetached(const ProcessSpec& spec, int& error)
{
    pid_t pid = spawn(spec, true, error);
    if (pid < 0)
        return false;
    reapWhenDone(pid);
    return true;
}

} // namespace nosk
