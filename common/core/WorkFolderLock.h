#pragma once

#include "WorkFolderFiles.h"

#include <atomic>
#include <functional>
#include <string>

namespace nosk {

// One run at a time in a work folder. A run (the organiser's SAVE AND RUN,
// "noskrun --run", a batch, the engine started by hand, a headless analysis
// that writes into the folder) holds an advisory lock on the file NOSK.LOCK
// there for as long as it reads and writes the folder's files. The kernel
// releases the lock when the holder ends, however it ends, so a killed run
// never leaves the folder locked.
//
// An engine started by a holder inherits the lock (the holder hands it over
// in the environment variable NOSK_WORK_LOCK): the folder then stays locked
// until the engine has ended too, even when the organiser is gone first.
//
//     WorkFolderLock lock;
//     if (!lock.tryLock("noskrun --kk")) {   // throws when NOSK.LOCK is unusable
//         std::cerr << lock.busyMessage() << '\n';
//         return 1;
//     }
//     ... read and write the work folder's files ...
//
// The lock is released by the destructor or unlock().
class WorkFolderLock {
public:
    static constexpr const char* kFileName = workfiles::kLock;
    static constexpr const char* kEnvironment = "NOSK_WORK_LOCK";

    // The lock of `folder` (the current folder by default); nothing is taken yet.
    explicit WorkFolderLock(std::string folder = ".");
    ~WorkFolderLock();
    WorkFolderLock(const WorkFolderLock&) = delete;
    WorkFolderLock& operator=(const WorkFolderLock&) = delete;

    // Takes the lock if it is free. `purpose` says who holds it ("noskrun
    // --run job.TST"); others see it in busyMessage(). False when another
    // run holds it (an ordinary answer: busyMessage() says who). A lock file
    // that cannot be used (a FIFO or a device under its name, a lock the
    // system refuses) throws nosk::exception with the reason. A folder where
    // the lock file can neither be created nor opened (read-only) gives true
    // without a lock: nothing can be written there by anyone who would have
    // to take it.
    bool tryLock(const std::string& purpose);
    // Waits for the lock; `waiting` is called once with busyMessage() when
    // the lock is not free at once. Throws as tryLock() does, and when `stop`
    // is given and becomes true while it waits (a signal caught meanwhile):
    // "Interrupted while waiting for the work folder".
    void lock(const std::string& purpose, const std::function<void(const std::string&)>& waiting = {},
              const std::atomic<bool>* stop = nullptr);
    void unlock();

    // For a program started by a holder (the engine): true when the
    // environment hands this folder's lock down from the holder, so the
    // program runs under it; otherwise tryLock() as usual (and throws as it).
    bool tryLockOrInherit(const std::string& purpose);

    bool held() const { return m_fd >= 0 || m_inherited || m_unusable; }
    // "The work folder /x is in use by noskrun --run job.TST (process 1234)."
    std::string busyMessage() const;

    // What a child started under the lock needs: the descriptor to keep open
    // across exec (-1 when none) and the value of NOSK_WORK_LOCK.
    int inheritableDescriptor() const { return m_fd; }
    std::string environmentValue() const;

private:
    enum class Attempt { Taken, Busy, Unusable };
    Attempt attempt(const std::string& purpose, bool wait, const std::function<void(const std::string&)>& waiting,
                    const std::atomic<bool>* stop = nullptr);
    // True for Taken, false for Busy; throws m_error for Unusable.
    bool taken(Attempt result) const;
    std::string path() const;
    void readHolder(int fd);

    std::string m_folder;
    int m_fd = -1;
    bool m_inherited = false;  // held by the program that started us
    bool m_unusable = false;   // a folder without a lock file where none can be made
    std::string m_token;
    std::string m_holder;       // what the file says about the other holder
    std::string m_holderToken;  // and the token it wrote
    std::string m_error;
};

// Removes what killed processes of ours left in `folder`: the temporary files
// ".NAME.tmpPID-N" of a file replaced safely, and (in the system's temporary
// folder) "nosk-batch-PID-*" folders, whose process PID no longer runs and
// which were last changed more than `minimumAgeSeconds` ago. Returns how many
// were removed. Never follows a link; never removes another user's file.
int sweepStaleTemporaries(const std::string& folder, long minimumAgeSeconds = 600);

} // namespace nosk
