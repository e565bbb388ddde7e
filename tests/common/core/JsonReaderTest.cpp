// The strict JSON reader: what RFC 8259 allows reads to the right values,
// and each thing it does not allow is refused with where it is.
#include "core/JsonReader.h"

#include "core/Exception.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace nosk {
namespace {

TEST(JsonReader, ReadsTheGrammarAndRefusesWhatIsOutsideIt)
{
    const json::Value v = json::parse(
        " {\"a\": [1, -0.5, 2E+2, -0, 1e-5, true, false, null], \"s\": \"\\u00e9\\ud83d\\ude00\\n\\\"\\/\","
        " \"o\": {}, \"e\": [], \"a\": 2}\r\n");
    ASSERT_TRUE(v.isObject());
    const json::Value* a = v.find("a");
    ASSERT_TRUE(a && a->isArray());
    ASSERT_EQ(a->array.size(), 8u);
    EXPECT_EQ(a->array[0].number, 1);
    EXPECT_EQ(a->array[1].number, -0.5);
    EXPECT_EQ(a->array[2].number, 200);
    EXPECT_EQ(a->array[4].number, 1e-5);
    EXPECT_TRUE(a->array[5].boolean);
    EXPECT_EQ(a->array[6].type, json::Value::Type::Boolean);
    EXPECT_TRUE(a->array[7].isNull());
    EXPECT_EQ(v.find("s")->string, "\xc3\xa9\xf0\x9f\x98\x80\n\"/");
    EXPECT_TRUE(v.find("o")->isObject());
    EXPECT_EQ(v.find("missing"), nullptr);
    EXPECT_EQ(json::parse("17").number, 17);

    const struct {
        std::string text, message;
    } bad[] = {
        {"", "the text ends where a value should be at line 1, column 1"},
        {"{\"a\": 1,}", "a member's name should be a string"},
        {"[1, 2,]", "a value expected"},
        {"[1 2]", "',' or ']' expected"},
        {"{\"a\" 1}", "':' expected"},
        {"[1, 2", "the text ends inside an array"},
        {"{\"a\": [1]", "the text ends inside an object"},
        {"\"abc", "the text ends inside a string"},
        {"01", "text after the value"},
        {"1.", "digits expected after the decimal point"},
        {".5", "a value expected"},
        {"+1", "a value expected"},
        {"1e", "digits expected in the exponent"},
        {"NaN", "a value expected"},
        {"nul", "an unknown word"},
        {"1e999", "a number out of range"},
        {"\"a\tb\"", "a control character inside a string"},
        {"\"\\x\"", "an unknown escape"},
        {"\"\\ud800\"", "a lone surrogate"},
        {"\"\\udc00\"", "a lone surrogate"},
        {"\"\\u12g4\"", "four hex digits"},
        {"[1] // c", "text after the value"},
        {"{}\n\n  x", "text after the value at line 3, column 3"},
        {std::string(json::kMaxDepth + 1, '['), "nesting too deep"},
    };
    for (const auto& b : bad) {
        try {
            json::parse(b.text);
            ADD_FAILURE() << "read: " << b.text;
        } catch (const exception& e) {
            EXPECT_THAT(e.what(), ::testing::HasSubstr(b.message)) << b.text;
        }
    }
    // Nesting just within the limit reads.
    const std::string deep = std::string(json::kMaxDepth, '[') + std::string(json::kMaxDepth, ']');
    EXPECT_TRUE(json::parse(deep).isArray());
}

} // namespace
} // namespace nosk
