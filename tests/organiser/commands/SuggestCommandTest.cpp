#include "CommandLine.h"
#include "Suggest.h"
#include "SuggestCommand.h"

#include "support/CircuitFamilies.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// A strict reader of JSON that only says whether the text is one value.
class JsonCheck {
public:
    explicit JsonCheck(const std::string& t) : m_t(t) {}
    bool whole()
    {
        return value() && (space(), m_i == m_t.size());
    }

private:
    void space()
    {
        while (m_i < m_t.size() && std::isspace(static_cast<unsigned char>(m_t[m_i])))
            ++m_i;
    }
    bool take(char c)
    {
        space();
        if (m_i < m_t.size() && m_t[m_i] == c)
            return ++m_i, true;
        return false;
    }
    bool word(const char* w)
    {
        space();
        const std::string s(w);
        if (m_t.compare(m_i, s.size(), s) != 0)
            return false;
        m_i += s.size();
        return true;
    }
    bool string()
    {
        if (!take('"'))
            return false;
        while (m_i < m_t.size() && m_t[m_i] != '"') {
            if (static_cast<unsigned char>(m_t[m_i]) < 0x20)
                return false;
            m_i += m_t[m_i] == '\\' ? 2 : 1;
        }
        return m_i++ < m_t.size();
    }
    bool number()
    {
        space();
        const char* start = m_t.c_str() + m_i;
        char* end = nullptr;
        std::strtod(start, &end);
        if (end == start || std::string(start, static_cast<const char*>(end)).find_first_of("nNiI") != std::string::npos)
            return false;
        m_i += static_cast<std::size_t>(end - start);
        return true;
    }
    bool value()
    {
        space();
        if (m_i >= m_t.size())
            return false;
        const char c = m_t[m_i];
        if (c == '{') {
            ++m_i;
            if (take('}'))
                return true;
            do {
                if (!string() || !take(':') || !value())
                    return false;
            } while (take(','));
            return take('}');
        }
        if (c == '[') {
            ++m_i;
            if (take(']'))
                return true;
            do {
                if (!value())
                    return false;
            } while (take(','));
            return take(']');
        }
        if (c == '"')
            return string();
        return word("null") || word("true") || word("false") || number();
    }
    const std::string& m_t;
    std::size_t m_i = 0;
};

} // namespace

// --suggest FILE --json: the file read as an instrument table, the ranking
// written as JSON that a strict reader takes, with the fields the users'
// scripts read; a file name with quotes and an undetermined std dev stay
// valid JSON.
TEST(SuggestCommand, WritesTheRankingAsJson)
{
    nosk::test::TempWorkDir dir;
    const nosk::test::LabelledSpectrum s = nosk::test::familySpectrum(0, 3, 0.002, 40);
    {
        std::ofstream out("cell \"a\".txt");
        for (std::size_t k = 0; k < s.z.size(); ++k)
            out << s.frequencyHz[k] << ' ' << s.z[k].real() << ' ' << s.z[k].imag() << '\n';
    }
    nosk::CommandLine cl = nosk::CommandLine::parse({"--suggest", "cell \"a\".txt", "--json", "r.json", "--top", "3"});
    ASSERT_EQ(nosk::runSuggestCommand(cl), 0);
    std::ifstream in("r.json");
    std::stringstream text;
    text << in.rdbuf();
    const std::string json = text.str();
    EXPECT_TRUE(JsonCheck(json).whole()) << json;
    for (const char* key : {"\"candidates\"", "\"circuit\"", "\"S\"", "\"bic\"", "\"aic\"", "\"parameters\"",
             "\"std_dev\"", "\"status\"", "\"reason\"", "\"rank\": 3"})
        EXPECT_NE(json.find(key), std::string::npos) << key;
    EXPECT_EQ(json.find("\"rank\": 4"), std::string::npos);
    EXPECT_NE(json.find("\"circuit\": \"L(p1)-R(p2)-par(R(p3),Q(p4,p5))\""), std::string::npos) << json;

    nosk::suggest::Result r;
    r.ranked.resize(1);
    r.ranked[0].candidate = nosk::suggest::candidateOf(nosk::suggest::Shape{false, true, 1});
    r.ranked[0].parameters.push_back({"Rs", 1.5, std::nan(""), nosk::ParameterStatus::Undetermined});
    const std::string one = nosk::suggestionJson(r, "a\\b\"c", 5);
    EXPECT_TRUE(JsonCheck(one).whole()) << one;
    EXPECT_NE(one.find("\"std_dev\": null, \"status\": \"undetermined\""), std::string::npos) << one;
}

// --batch --suggest: one row per spectrum; a file that is not a spectrum
// gets its reason and the exit status 1, the others are ranked all the same.
TEST(SuggestCommand, BatchRowsAndFailures)
{
    nosk::test::TempWorkDir dir;
    const nosk::test::LabelledSpectrum s = nosk::test::familySpectrum(8, 1, 0.002, 30);
    {
        std::ofstream out("ws.txt");
        for (std::size_t k = 0; k < s.z.size(); ++k)
            out << s.frequencyHz[k] << ' ' << s.z[k].real() << ' ' << s.z[k].imag() << '\n';
        std::ofstream("junk.txt") << "no numbers here\n";
    }
    nosk::CommandLine cl = nosk::CommandLine::parse({"--batch", "--suggest", "ws.txt", "junk.txt", "--out", "t.csv", "--top", "1"});
    EXPECT_EQ(nosk::runBatchSuggestCommand(cl), 1);
    std::ifstream in("t.csv");
    std::string header, first, second;
    std::getline(in, header);
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(header, "file,points,noise,processes,circuit1,label1,bic1,reason1");
    EXPECT_EQ(first.rfind("\"ws.txt\",30,", 0), 0u) << first;
    EXPECT_NE(first.find("\"R-Ws\""), std::string::npos) << first;
    EXPECT_EQ(second.rfind("\"junk.txt\",,,,,,,\"", 0), 0u) << second;
}
