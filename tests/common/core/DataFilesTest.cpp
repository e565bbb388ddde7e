#include "core/DataFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nosk::datafiles::findFrom;

namespace {

void touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x\n";
}

} // namespace

// An installed tree: bin/ beside share/nosk/; a build tree: bin/ with the map
// the build writes; NOSK_DATA_DIR over both.
TEST(DataFiles, LooksInTheVariableThenTheInstalledTreeThenTheBuildMap)
{
    nosk::test::TempWorkDir dir;
    const fs::path root = fs::canonical(dir.path());
    fs::create_directories(root / "prefix" / "bin");
    touch(root / "prefix" / "share" / "nosk" / "help" / "topics.txt");
    touch(root / "prefix" / "share" / "nosk" / "circuits.txt");
    const std::string installedBin = (root / "prefix" / "bin").string();

    EXPECT_EQ(findFrom(installedBin, nullptr, "help"), (root / "prefix/share/nosk/help").string());
    EXPECT_EQ(findFrom(installedBin, "", "circuits.txt"),
              (root / "prefix/share/nosk/circuits.txt").string());
    EXPECT_EQ(findFrom(installedBin, nullptr, "fittests"), "");

    // The variable, when set, is the only place looked at.
    touch(root / "other" / "fittests" / "CKT.A" / "ADE1.TST");
    const std::string other = (root / "other").string();
    EXPECT_EQ(findFrom(installedBin, other.c_str(), "fittests"), (root / "other/fittests").string());
    EXPECT_EQ(findFrom(installedBin, other.c_str(), "help"), "");

    // The build tree's map names a folder and a file elsewhere, by name; a
    // name it does not hold, or a path that is gone, is not found.
    fs::create_directories(root / "build" / "bin");
    touch(root / "src" / "model" / "circuits.txt");
    fs::create_directories(root / "src" / "help");
    std::ofstream(root / "build" / "bin" / "nosk-data-dir")
        << "help=" << (root / "src" / "help").string() << "\r\n"
        << "circuits.txt=" << (root / "src" / "model" / "circuits.txt").string() << "\n"
        << "fittests=" << (root / "src" / "gone").string() << "\n";
    const std::string buildBin = (root / "build" / "bin").string();
    EXPECT_EQ(findFrom(buildBin, nullptr, "help"), (root / "src/help").string());
    EXPECT_EQ(findFrom(buildBin, nullptr, "circuits.txt"), (root / "src/model/circuits.txt").string());
    EXPECT_EQ(findFrom(buildBin, nullptr, "fittests"), "");
    EXPECT_EQ(findFrom(buildBin, nullptr, "circuits"), "");
    EXPECT_EQ(findFrom(buildBin, nullptr, ""), "");
    EXPECT_EQ(findFrom("", nullptr, "help"), "");
}

// A test program runs from the build tree: it finds the source tree's help
// through the map the build wrote beside it.
TEST(DataFiles, TheBuildTreeFindsTheSourceHelp)
{
    const std::string help = nosk::datafiles::find("help");
    ASSERT_FALSE(help.empty());
    EXPECT_TRUE(fs::exists(fs::path(help) / "topics.txt"));
}
