#include "core/ScriptedPrompt.h"
#include "platform/ProgramIdentity.h"
#include "platform/WorkFolder.h"
#include "support/TempDir.h"

#include <QDir>
#include <QIcon>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace nosk;
using workfolder::Choice;

TEST(WorkFolder, OnlyTheHomeFolderIsNotTakenAsIs)
{
    nosk::test::TempWorkDir dir;
    const std::string home = dir.path().string();
    fs::create_directory(dir.path() / "cell");
    fs::create_directory_symlink(dir.path(), dir.path() / "link-to-home");
    EXPECT_EQ(workfolder::decide(home, home, ""), Choice::Ask);
    EXPECT_EQ(workfolder::decide(home + "/", home, "job.tst"), Choice::FileFolder);
    EXPECT_EQ(workfolder::decide((dir.path() / "link-to-home").string(), home, ""), Choice::Ask);
    EXPECT_EQ(workfolder::decide((dir.path() / "cell").string(), home, ""), Choice::Stay);
    EXPECT_EQ(workfolder::decide(home, "", ""), Choice::Stay);
}

// Started in the home folder: the file's folder becomes the work folder; with
// no file the user is asked, offered the last folder, and a cancel ends the
// program without touching the home folder.
TEST(WorkFolder, AStartInTheHomeFolderMovesToTheFileOrAsks)
{
    nosk::test::TempWorkDir dir;
    const fs::path home = fs::canonical(dir.path());
    const QString oldHome = QDir::homePath();
    qputenv("HOME", QFile::encodeName(QString::fromStdString(home.string())));
    fs::create_directories(home / "cells" / "a");
    fs::create_directories(home / "cells" / "b");
    std::ofstream(home / "cells" / "a" / "job.tst") << "x";

    ScriptedPrompt prompt;
    std::string file = "cells/a/job.tst";
    ASSERT_TRUE(workfolder::settle(prompt, file));
    EXPECT_EQ(fs::current_path(), home / "cells" / "a");
    EXPECT_EQ(file, "job.tst");
    EXPECT_TRUE(prompt.fileDialogs.empty());

    fs::current_path(home);
    prompt.files.push_back((home / "cells" / "b").string());
    file.clear();
    ASSERT_TRUE(workfolder::settle(prompt, file));
    EXPECT_EQ(fs::current_path(), home / "cells" / "b");
    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    EXPECT_EQ(prompt.fileDialogs[0].request.initialName, (home / "cells" / "a").string());

    fs::current_path(home);
    ASSERT_FALSE(workfolder::settle(prompt, file));  // cancelled
    EXPECT_EQ(fs::current_path(), home);
    ASSERT_EQ(prompt.fileDialogs.size(), 2u);
    EXPECT_EQ(prompt.fileDialogs[1].request.initialName, (home / "cells" / "b").string());

    // A folder that cannot be entered is said and ends the start.
    prompt.files.push_back((home / "gone").string());
    ASSERT_FALSE(workfolder::settle(prompt, file));
    EXPECT_EQ(fs::current_path(), home);
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(prompt.lastMessage().text, "Cannot find " + (home / "gone").string());

    qputenv("HOME", QFile::encodeName(oldHome));
}

TEST(ProgramIdentity, IconsAndLicenceAreBuiltIn)
{
    for (const char* name : {"noskrun", "noskview"}) {
        const QIcon icon = programIcon(QString::fromLatin1(name));
        EXPECT_FALSE(icon.isNull()) << name;
        EXPECT_FALSE(icon.pixmap(48, 48).isNull()) << name;
    }
    const QString text = licenceText();
    EXPECT_TRUE(text.contains(QStringLiteral("MIT License")));
    EXPECT_TRUE(text.contains(QStringLiteral("The NOSK developers")));
    // The notice of the bundled measured data.
    EXPECT_TRUE(text.contains(QStringLiteral("Copyright (c) 2021 impedance.py developers")));
}
