#include "WorkFolder.h"

#include "core/Exception.h"
#include "core/Prompt.h"
#include "core/RunCommand.h"

#include <QDir>
#include <QSettings>

#include <filesystem>

namespace nosk::workfolder {
namespace {

namespace fs = std::filesystem;

fs::path canonical(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::path(path) : p;
}

QSettings store()
{
    return QSettings(QStringLiteral("nosk"), QStringLiteral("workfolder"));
}

} // namespace

Choice decide(const std::string& current, const std::string& home, const std::string& file)
{
    if (home.empty() || canonical(current) != canonical(home))
        return Choice::Stay;
    return file.empty() ? Choice::Ask : Choice::FileFolder;
}

std::string lastFolder()
{
    return store().value(QStringLiteral("last")).toString().toStdString();
}

void rememberFolder(const std::string& folder)
{
    QSettings settings = store();
    settings.setValue(QStringLiteral("last"), QString::fromStdString(folder));
}

void enter(const std::string& folder, std::string& file)
{
    std::error_code ec;
    fs::path target = canonical(folder);
    file.clear();
    if (!fs::exists(target, ec))
        throw exception("Cannot find %s", target.string().c_str());
    if (!fs::is_directory(target, ec)) {
        file = target.filename().string();
        target = target.parent_path();
    }
    fs::current_path(target, ec);
    if (ec)
        throw exception("Cannot work in the folder %s: %s", target.string().c_str(), ec.message().c_str());
    rememberFolder(target.string());
}

bool settle(Prompt& prompt, std::string& file)
{
    std::error_code ec;
    const std::string current = fs::current_path(ec).string();
    switch (decide(current, QDir::homePath().toStdString(), file)) {
    case Choice::Stay:
        return true;
    case Choice::FileFolder:
        return runCommand(prompt, [&] { enter(file, file); });
    case Choice::Ask: {
        FileRequest request;
        request.title = "Select work folder";
        std::string last = lastFolder();
        request.initialName = !last.empty() && fs::is_directory(last, ec) ? last : current;
        std::optional<std::string> folder = prompt.chooseFolder(request);
        if (!folder)
            return false;
        std::string ignored;
        return runCommand(prompt, [&] { enter(*folder, ignored); });
    }
    }
    return false;
}

} // namespace nosk::workfolder
