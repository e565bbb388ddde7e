#include "platform/FileWatch.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace nosk {

FileWatch::FileWatch(const std::string& path, std::function<void()> onChange)
    : m_path(path), m_onChange(std::move(onChange)), m_last(stamp())
{
    const QFileInfo info(QString::fromStdString(path));
    m_watcher.addPath(info.absolutePath());
    if (info.exists())
        m_watcher.addPath(info.absoluteFilePath());
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, [this] { check(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, [this] { check(); });
}

std::string FileWatch::stamp() const
{
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0)
        return {};
    return std::to_string(st.st_size) + ' ' + std::to_string(st.st_mtim.tv_sec) + '.' +
           std::to_string(st.st_mtim.tv_nsec) + ' ' + std::to_string(st.st_ino);
}

void FileWatch::check()
{
    // A file replaced by a rename is a new file: watch it again.
    const QString file = QFileInfo(QString::fromStdString(m_path)).absoluteFilePath();
    if (QFileInfo::exists(file) && !m_watcher.files().contains(file))
        m_watcher.addPath(file);
    const std::string now = stamp();
    if (now == m_last)
        return;
    m_last = now;
    if (m_onChange)
        m_onChange();
}

} // namespace nosk
