#include "Locations.h"

#include "core/DataFiles.h"
#include "core/WorkFolderFiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

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
    fs::path bundled = fs::path(programDir()) / "noskwin";
    if (isExecutableFile(bundled))
        return bundled.string();
    return "noskwin";
}

std::string localEngine()
{
    std::error_code ec;
    fs::path local = fs::current_path(ec) / workfiles::kLocalEngine;
    if (!ec && fs::is_regular_file(local, ec))
        return local.string();
    return {};
}

namespace {

// The choice is kept per folder with the digest of the file it was made for.
QString choiceKey()
{
    const QByteArray folder = QFile::encodeName(QDir::currentPath());
    return QStringLiteral("localEngine/")
        + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex());
}

QString fileDigest(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

QSettings choices()
{
    return QSettings(QStringLiteral("nosk"), QStringLiteral("engines"));
}

} // namespace

LocalEngineChoice localEngineChoice()
{
    const std::string local = localEngine();
    if (local.empty())
        return LocalEngineChoice::Ignore;
    const QString stored = choices().value(choiceKey()).toString();
    const QString digest = fileDigest(local);
    if (digest.isEmpty() || stored.size() < 4 || stored.mid(4) != digest)
        return LocalEngineChoice::Ask;
    return stored.startsWith(QStringLiteral("use:")) ? LocalEngineChoice::Use : LocalEngineChoice::Ignore;
}

void rememberLocalEngineChoice(bool use)
{
    const QString digest = fileDigest(localEngine());
    if (digest.isEmpty())
        return;
    QSettings settings = choices();
    settings.setValue(choiceKey(), (use ? QStringLiteral("use:") : QStringLiteral("no:-")).left(4) + digest);
    settings.sync();
}

std::string headlessEngine(std::string& note)
{
    note.clear();
    switch (localEngineChoice()) {
    case LocalEngineChoice::Use:
        return localEngine();
    case LocalEngineChoice::Ask:
        note = "NOSKWIN.EXE of the work folder is not run: the bundled engine is used. Name it with "
               "--engine NOSKWIN.EXE to run it.";
        break;
    case LocalEngineChoice::Ignore:
        break;
    }
    return engineProgram();
}

std::string viewerProgram()
{
    // Never a program of the work folder: it may come from anyone.
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
