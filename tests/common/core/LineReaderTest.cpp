#include "core/LineReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using nosk::lines::LineSplitter;

namespace {

using Lines = std::vector<std::string>;

Lines fromStream(std::istream& in)
{
    Lines out;
    std::string line;
    while (nosk::lines::nextLine(in, line))
        out.push_back(line);
    return out;
}

Lines fromStream(const std::string& text)
{
    std::istringstream in(text);
    return fromStream(in);
}

Lines fromSplitter(const std::string& text)
{
    Lines out;
    LineSplitter splitter(text);
    while (auto line = splitter.next())
        out.emplace_back(*line);
    return out;
}

// The rule told another way: at each place the longest of the four line
// ends that starts there ends the line.
Lines reference(const std::string& text)
{
    Lines out;
    std::string line;
    std::size_t i = 0;
    bool open = false;
    while (i < text.size()) {
        std::size_t end = 0;
        for (const char* e : {"\r\r\n", "\r\n", "\r", "\n"})
            if (text.compare(i, std::char_traits<char>::length(e), e) == 0) {
                end = std::char_traits<char>::length(e);
                break;
            }
        if (end) {
            out.push_back(line);
            line.clear();
            open = false;
            i += end;
        } else {
            line += text[i++];
            open = true;
        }
    }
    if (open)
        out.push_back(line);
    return out;
}

} // namespace

TEST(LineReader, EveryLineEndAndTheLastLine)
{
    const std::string nul("a\0b\nc", 5);
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\rb", {"a", "", "b"}},        // an empty line between
        {"a\r\r\nb", {"a", "b"}},          // CR LF written through a text-mode layer
        {"a\r\r\r\nb", {"a", "", "b"}},
        {"a\n\r\nb\n\n", {"a", "", "b", ""}},
        {"\r", {""}},
        {"", {}},
        {"no end", {"no end"}},
        {nul, {std::string("a\0b", 3), "c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fromStream(c.text), c.lines) << testing::PrintToString(c.text);
        EXPECT_EQ(fromSplitter(c.text), c.lines) << testing::PrintToString(c.text);
    }
}

TEST(LineReader, StreamStateAsGetline)
{
    std::istringstream in("a\nb");
    std::string line;
    ASSERT_TRUE(nosk::lines::nextLine(in, line));
    EXPECT_TRUE(in.good());
    ASSERT_TRUE(nosk::lines::nextLine(in, line));
    EXPECT_EQ(line, "b");
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(in.fail());
    EXPECT_FALSE(nosk::lines::nextLine(in, line));
    EXPECT_TRUE(line.empty());
    EXPECT_TRUE(in.fail());
}

TEST(LineReader, BothReadersFollowTheRuleOnAnyText)
{
    // Long random texts of few characters: line ends meet the reader's
    // inner buffer at every offset, and runs of CRs of every length occur.
    nosk::test::TempWorkDir dir;
    std::mt19937 random(7);
    const char alphabet[] = {'x', 'y', '\r', '\r', '\n', '\0'};
    for (int round = 0; round < 200; ++round) {
        std::string text(random() % 2000, ' ');
        for (char& c : text)
            c = alphabet[random() % sizeof alphabet];
        if (round % 4 == 0)  // lines longer than the inner buffer
            text.insert(random() % (text.size() + 1), std::string(300 + random() % 300, 'z'));
        const Lines want = reference(text);
        ASSERT_EQ(fromStream(text), want) << round;
        ASSERT_EQ(fromSplitter(text), want) << round;
        if (round % 10 == 0) {
            // A file stream takes the reader's other path (no seeking back).
            {
                std::ofstream out(dir.file("r.txt"), std::ios::binary);
                out << text;
            }
            std::ifstream in(dir.file("r.txt"), std::ios::binary);
            ASSERT_EQ(fromStream(in), want) << round;
        }
    }
}

TEST(LineReader, FileStreamAcrossItsBufferEdge)
{
    // A file stream refills its buffer between the two CRs of an empty
    // line; the second CR must still count as a line end of its own.
    nosk::test::TempWorkDir dir;
    for (std::size_t before = 8180; before < 8200; ++before) {
        const std::string text = std::string(before, 'a') + "\r\rb\r\r\nc";
        {
            std::ofstream out(dir.file("t.txt"), std::ios::binary);
            out << text;
        }
        std::ifstream in(dir.file("t.txt"), std::ios::binary);
        ASSERT_EQ(fromStream(in), reference(text)) << before;
    }
}
