#pragma once

#include <QFileSystemWatcher>

#include <functional>
#include <string>

namespace nosk {

// Calls back when a file is created, changed, replaced or removed. The file
// need not exist yet: its folder is watched, and each change there is
// checked against the file's last size, time and presence, so that the
// other files of the folder (the engine's output) cost nothing.
class FileWatch {
public:
    FileWatch(const std::string& path, std::function<void()> onChange);

    // Compares the file with what was seen last; calls back on a difference.
    // The watcher does this by itself; tests may call it instead of waiting.
    void check();

private:
    std::string stamp() const;

    std::string m_path;
    std::function<void()> m_onChange;
    std::string m_last;
    QFileSystemWatcher m_watcher;
};

} // namespace nosk
