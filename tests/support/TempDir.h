#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace nosk::test {

// Each test runs in a fresh temporary folder that becomes the current folder
// (the work folder of the programs); the old folder comes back afterwards.
class TempWorkDir {
public:
    TempWorkDir()
    {
        namespace fs = std::filesystem;
        m_old = fs::current_path();
        std::random_device rd;
        for (;;) {
            m_path = fs::temp_directory_path() / ("nosk-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
            if (fs::create_directory(m_path))
                break;
        }
        fs::current_path(m_path);
    }
    ~TempWorkDir()
    {
        std::error_code ec;
        std::filesystem::current_path(m_old, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_old;
    std::filesystem::path m_path;
};

} // namespace nosk::test
