#include "core/Exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using nosk::exception;

TEST(Exception, FormatsPrintfStyle)
{
    exception e("Cannot open file '%s'!", "INFL");
    EXPECT_STREQ(e.what(), "Cannot open file 'INFL'!");
}

TEST(Exception, KeepsALongPathWhole)
{
    // The end of a long path is what tells the user which file it was.
    // Longer than the first pass's buffer of 256 characters.
    const std::string path = "/home/user/" + std::string(400, 'x') + "/end/PNTOUTL";
    exception e("Cannot write file '%s'!", path.c_str());
    EXPECT_EQ(std::string(e.what()), "Cannot write file '" + path + "'!");
    EXPECT_EQ(std::strlen(e.what()), path.size() + 21);
}

TEST(Exception, UserTextIsNeverTakenAsAFormat)
{
    // A field holding printf directives must come out as it stands.
    exception e("%s. Wrong integer! '%s'", "MAXFEV", "%s%n%x");
    EXPECT_STREQ(e.what(), "MAXFEV. Wrong integer! '%s%n%x'");
}

TEST(Exception, IsCaughtAsAStandardExceptionWithItsText)
{
    try {
        throw exception("Cannot open file '%s'!", "PNTOUTL");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Cannot open file 'PNTOUTL'!");
        return;
    }
    FAIL() << "not caught as std::exception";
}
