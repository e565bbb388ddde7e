// The help pages against the engine: no page may tell the user that a model
// the engine computes is unavailable, or that the engine fits only some of
// its circuits or distributed elements.
#include "model/Circuit.h"
#include "model/DeTable.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

namespace {

const std::string kHelp = std::string(NOSK_SOURCE_DIR) + "/help/";

// The page as plain text: tags out, the entities the pages use turned into
// characters, white space collapsed.
std::string plainText(std::string html)
{
    html = std::regex_replace(html, std::regex("<[^>]*>"), " ");
    const std::pair<const char*, const char*> entities[] = {
        {"&ndash;", "-"}, {"&minus;", "-"}, {"&nbsp;", " "}, {"&rarr;", "->"}, {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}};
    for (const auto& [from, to] : entities)
        html = std::regex_replace(html, std::regex(from), to);
    return std::regex_replace(html, std::regex("\\s+"), " ");
}

std::vector<std::string> sentences(const std::string& text)
{
    std::vector<std::string> out;
    std::string s;
    for (size_t i = 0; i < text.size(); ++i) {
        s += text[i];
        if ((text[i] == '.' || text[i] == ':' || text[i] == ';') && (i + 1 == text.size() || text[i + 1] == ' ')) {
            out.push_back(s);
            s.clear();
        }
    }
    out.push_back(s);
    return out;
}

// Whole numbers and ranges ("0-7", "0 to 37") of a list in the text.
std::set<int> numbersIn(const std::string& list)
{
    std::set<int> n;
    const std::regex item("(\\d+)(?:\\s*(?:-|to)\\s*(\\d+))?");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), item); it != std::sregex_iterator(); ++it) {
        const int from = std::stoi((*it)[1]);
        const int to = (*it)[2].matched ? std::stoi((*it)[2]) : from;
        for (int k = from; k <= to && k - from < 100; ++k)
            n.insert(k);
    }
    return n;
}

// What a sentence restricts the engine to, when it does: the circuit letters
// or DE numbers it names with "only", "knows", "fits", "is built in" or
// "Choose X or Y". Sentences that name no engine and no model are left alone.
struct Claim {
    std::set<char> letters;
    std::set<int> des;
};

std::optional<Claim> restriction(const std::string& s)
{
    static const std::regex cue("\\b(only|knows|fits|built in|Choose)\\b");
    static const std::regex engine("\\b(engine|circuits?|Model function|FUN)\\b");
    if (!std::regex_search(s, cue) || !std::regex_search(s, engine))
        return std::nullopt;
    Claim c;
    // Lists of single letters: "A and B", "A or B", "A to K, O, R, S and T".
    static const std::regex letters("\\b[A-Z](?:\\s+to\\s+[A-Z])?\\b(?:(?:,\\s*|\\s+(?:and|or)\\s+)[A-Z](?:\\s+to\\s+[A-Z])?\\b)+");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), letters); it != std::sregex_iterator(); ++it) {
        const std::string all = (*it)[0];
        static const std::regex item("([A-Z])(?:\\s+to\\s+([A-Z]))?");
        for (auto i = std::sregex_iterator(all.begin(), all.end(), item); i != std::sregex_iterator(); ++i) {
            const char from = (*i)[1].str()[0];
            const char to = (*i)[2].matched ? (*i)[2].str()[0] : from;
            for (char ch = from; ch <= to; ++ch)
                c.letters.insert(ch);
        }
    }
    static const std::regex des("(?:DEs?|distributed elements?)\\s+((?:\\d+(?:\\s*(?:-|to)\\s*\\d+)?(?:,\\s*|\\s+and\\s+)?)+)");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), des); it != std::sregex_iterator(); ++it)
        for (int n : numbersIn((*it)[1]))
            c.des.insert(n);
    if (c.letters.empty() && c.des.empty())
        return std::nullopt;
    return c;
}

std::vector<std::string> helpPages()
{
    std::vector<std::string> pages;
    for (const auto& e : std::filesystem::directory_iterator(kHelp))
        if (e.path().extension() == ".html")
            pages.push_back(e.path().string());
    std::sort(pages.begin(), pages.end());
    return pages;
}

} // namespace

TEST(HelpPages, NoPageNamesAModelUnavailableThatTheEngineComputes)
{
    std::set<char> computed;
    for (const auto& d : nosk::engine::CircuitLibrary::builtIn().definitions())
        computed.insert(d.letter);
    ASSERT_EQ(computed.size(), 15u);
    std::set<int> des;
    for (int n = 0; n < 100; ++n)
        if (nosk::engine::deAvailable(n))
            des.insert(n);
    ASSERT_EQ(des.size(), 38u);

    const std::vector<std::string> pages = helpPages();
    ASSERT_GT(pages.size(), 50u);
    int claims = 0;
    for (const std::string& page : pages) {
        for (const std::string& s : sentences(plainText(nosk::test::readAll(page)))) {
            // "... is not available" naming a computed letter or DE.
            static const std::regex unavailable("(?:function|circuit|DE)\\s+'?([A-Z]|\\d+)'?\\s+is not available");
            std::smatch m;
            if (std::regex_search(s, m, unavailable)) {
                const std::string what = m[1];
                const bool letter = what.size() == 1 && what[0] >= 'A' && what[0] <= 'Z';
                EXPECT_FALSE(letter ? computed.count(what[0]) > 0 : des.count(std::stoi(what)) > 0)
                    << page << ": " << s;
            }
            const std::optional<Claim> c = restriction(s);
            if (!c)
                continue;
            ++claims;
            // A restriction to a part of what the engine computes.
            if (c->letters.size() > 1 && std::includes(computed.begin(), computed.end(), c->letters.begin(), c->letters.end())) {
                EXPECT_EQ(c->letters, computed) << page << ": " << s;
            }
            if (c->des.size() > 1 && std::includes(des.begin(), des.end(), c->des.begin(), c->des.end()) &&
                std::regex_search(s, std::regex("\\bengine\\b"))) {
                EXPECT_EQ(c->des, des) << page << ": " << s;
            }
        }
    }
    EXPECT_GT(claims, 0);  // the pages do say what the engine computes
}

// Every page is in the contents, and every link leads to a page.
TEST(HelpPages, EveryPageIsListedAndEveryLinkResolves)
{
    const std::string topics = nosk::test::readAll(kHelp + "topics.txt");
    for (const std::string& page : helpPages()) {
        const std::string id = std::filesystem::path(page).stem().string();
        EXPECT_NE(topics.find(id + "\t"), std::string::npos) << id;
        const std::string html = nosk::test::readAll(page);
        const std::regex link("href=\"(\\d+)\\.html\"");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), link); it != std::sregex_iterator(); ++it)
            EXPECT_TRUE(std::filesystem::exists(kHelp + std::string((*it)[1]) + ".html")) << id << " -> " << (*it)[1];
    }
}
