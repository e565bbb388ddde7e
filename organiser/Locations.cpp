#include "Locations.h"

#include "core/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <filesystem>

namespace nosk::locations {
namespace {

namespace fs = std::filesystem;

std::string programDir()
{
    return QCoreApplication::applicationDirPath().toStdString();
}

bool isExecutableFile(const fs::path& p)
{
    QFileInfo info(QString::fromStdString(p.string()));
    return info.isFile() && info.isExecutable();
}

} // namespace

std::string engineProgram()
{
    std::error_code ec;
    fs::path local = fs::current_path(ec) / "NOSKWIN.EXE";
    if (!ec && fs::is_regular_file(local, ec))
        return local.string();
    fs::path bundled = fs::path(programDir()) / "noskwin";
    if (isExecutableFile(bundled))
        return bundled.string();
    return "noskwin";
}

std::string viewerProgram()
{
    std::error_code ec;
    fs::path local = fs::current_path(ec) / "NOSKVIEW.EXE";
    if (!ec && fs::is_regular_file(local, ec))
        return local.string();
    return (fs::path(programDir()) / "noskview").string();
}

std::string bundledExamplesDir()
{
    return datafiles::find("fittests");
}

std::string examplePath(const std::string& name)
{
    if (name.empty())
        return {};
    const std::string sub = std::string("CKT.") + name[0];
    std::error_code ec;
    fs::path local = fs::current_path(ec) / "fittests" / sub / name;
    if (fs::exists(local, ec))
        return local.string();
    std::string bundled = bundledExamplesDir();
    if (!bundled.empty()) {
        fs::path p = fs::path(bundled) / sub / name;
        if (fs::exists(p, ec))
            return p.string();
    }
    return local.string();
}

} // namespace nosk::locations
