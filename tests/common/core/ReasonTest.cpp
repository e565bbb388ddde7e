// The reason line: every kind and place survives the line, a text with the
// line's own syntax in it comes back as written, and a reader of the report
// finds it wherever the engine put it and nothing where there is none.
#include "core/Reason.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using nosk::Reason;

namespace {

void expectSame(const Reason& a, const Reason& b)
{
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.field, b.field);
    EXPECT_EQ(a.param, b.param);
    EXPECT_EQ(a.row, b.row);
    EXPECT_EQ(a.de, b.de);
    EXPECT_EQ(a.line, b.line);
    EXPECT_EQ(a.column, b.column);
    EXPECT_EQ(a.test, b.test);
    EXPECT_EQ(a.text, b.text);
}

} // namespace

TEST(ReasonLine, EveryKindAndPlaceComesBackFromItsLine)
{
    std::mt19937 random(7);
    const char* texts[] = {"IRCH 7 is not supported by this engine", "text=in the text kind=field row=3",
                           "Cannot write file '/a b/c=d/" "PNTOUTL'!", ""};
    for (int k = static_cast<int>(Reason::Kind::Input); k <= static_cast<int>(Reason::Kind::Improper); ++k) {
        for (int trial = 0; trial < 8; ++trial) {
            Reason r;
            r.kind = static_cast<Reason::Kind>(k);
            if (random() % 2)
                r.field = "MAXFEV";
            if (random() % 2)
                r.param = 1 + static_cast<int>(random() % 50);
            if (random() % 2)
                r.row = static_cast<int>(random() % 1000);  // row 0 is a row
            if (random() % 2)
                r.de = 1 + static_cast<int>(random() % 37);
            if (random() % 2)
                r.line = 1 + static_cast<int>(random() % 9), r.column = 1 + static_cast<int>(random() % 80);
            if (random() % 2)
                r.test = "ftol+xtol";
            r.text = texts[random() % 4];
            const std::string line = reasonLine(r);
            SCOPED_TRACE(line);
            EXPECT_EQ(line.find('\n'), std::string::npos);
            const auto back = nosk::parseReasonLine(line + "\r");
            ASSERT_TRUE(back);
            expectSame(*back, r);
            EXPECT_EQ(nosk::reasonKindFromName(nosk::reasonKindName(r.kind)), r.kind);
        }
    }
}

TEST(ReasonLine, ControlCharactersCannotBreakTheLine)
{
    Reason r;
    r.kind = Reason::Kind::Input;
    r.field = "A B";
    r.text = "one\r\ntwo\tthree";
    const std::string line = reasonLine(r);
    EXPECT_EQ(line, " @REASON kind=input field=A?B text=one??two?three");
    expectSame(*nosk::parseReasonLine(line), [&] {
        Reason e = r;
        e.field = "A?B";
        e.text = "one??two?three";
        return e;
    }());
}

TEST(ReasonLine, AReaderFindsTheFirstLineAndSkipsWhatItDoesNotKnow)
{
    std::istringstream report(" EXIT REASON: RELATIVE REDUCTION\r\n"
                              " @REASONABLE kind=field text=not a reason line\r\n"
                              "  @REASON kind=maxfev field=MAXFEV colour=red test=none text=MAXIMUM REACHED\r\n"
                              " @REASON kind=converged text=a second line is not read\r\n");
    const auto r = nosk::findReason(report);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, Reason::Kind::MaxFev);
    EXPECT_EQ(r->field, "MAXFEV");
    EXPECT_EQ(r->text, "MAXIMUM REACHED");
    EXPECT_FALSE(r->normalEnd());
    EXPECT_FALSE(r->refused());

    // A kind a later version adds is still a reason, taken as a refusal the
    // reader cannot place.
    const auto later = nosk::parseReasonLine(" @REASON kind=brand-new text=x");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->kind, Reason::Kind::Internal);

    std::istringstream old(" # OF FREE PARAMETERS = 3\r\n EXIT: RELATIVE REDUCTION\r\n");
    EXPECT_FALSE(nosk::findReason(old));
    EXPECT_FALSE(nosk::parseReasonLine(" @REASON text=no kind"));
}
