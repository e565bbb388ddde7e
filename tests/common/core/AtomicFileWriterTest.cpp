// Replacing a file both ways (synced: rename over it; unsynced: swap names
// with it and remove the old one): the name holds the new bytes with the old
// permissions, nothing else is left in the folder, and a reader that opened
// the old file keeps reading all of the old one.
#include "core/AtomicFileWriter.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace nosk;
using namespace nosk::test;
namespace fs = std::filesystem;

TEST(AtomicFileWriter, ReplacesWholeFilesAndLeavesNothingElse)
{
    using D = AtomicFileWriter::Durability;
    for (const D durability : {D::NoSync, D::Sync}) {
        SCOPED_TRACE(durability == D::Sync ? "synced" : "unsynced");
        TempWorkDir dir;
        const std::string old(100000, 'o');
        writeAll("RESULT", old);
        ::chmod("RESULT", 0640);
        const int reader = ::open("RESULT", O_RDONLY);
        ASSERT_GE(reader, 0);

        replaceFile("RESULT", "new", AtomicFileWriter::Links::Replace, durability);
        EXPECT_EQ(readAll("RESULT"), "new");
        struct stat st {};
        ASSERT_EQ(::stat("RESULT", &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        // The old file was replaced, not written into.
        std::string seen(old.size() + 1, '\0');
        EXPECT_EQ(::pread(reader, seen.data(), seen.size(), 0), static_cast<ssize_t>(old.size()));
        seen.resize(old.size());
        EXPECT_EQ(seen, old);
        ::close(reader);

        // A name that did not exist yet, and a link planted under the name.
        replaceFile("FRESH", "fresh", AtomicFileWriter::Links::Replace, durability);
        writeAll("victim", "keep me");
        fs::create_symlink("victim", "LINKED");
        replaceFile("LINKED", "mine", AtomicFileWriter::Links::Replace, durability);
        EXPECT_EQ(readAll("FRESH"), "fresh");
        EXPECT_FALSE(fs::is_symlink("LINKED"));
        EXPECT_EQ(readAll("LINKED"), "mine");
        EXPECT_EQ(readAll("victim"), "keep me");

        int entries = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) {
            ++entries;
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
        }
        EXPECT_EQ(entries, 4);  // RESULT, FRESH, LINKED, victim
    }
}
