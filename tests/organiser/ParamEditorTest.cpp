#include "CParamEditor.h"
#include "CSelectDEDlg.h"
#include "support/ScriptedDialogRunner.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QCoreApplication>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>

using namespace nosk;

namespace {

struct Params {
    double P[50] = {};
    int NFREE[50] = {};
    Params()
    {
        for (int i = 0; i < 50; ++i) {
            P[i] = i + 1;
            NFREE[i] = i % 3;
        }
    }
};

// The user's hand in "Select DE": the row of `de` (none for -1), then "OK"
// or "Subtract"; `seen` first looks at the dialog as it opened.
test::ScriptedDialogRunner::Answer chooseDE(bool subtract, int de,
                                            std::function<void(CSelectDEDlg&)> seen = {})
{
    return [=](QDialog& d) {
        auto& s = dynamic_cast<CSelectDEDlg&>(d);
        if (seen)
            seen(s);
        if (de < 0)
            s.list()->clearSelection();
        else
            s.list()->setCurrentRow(de);
        (subtract ? s.subtractButton() : s.okButton())->click();
        return s.result();
    };
}

} // namespace

TEST(ParamEditor, CircuitARowsAndLinks)
{
    CParamEditor ed(nullptr);
    Params p;
    p.P[9] = 5;
    ed.set(p.P, p.NFREE, 12, 'A');
    EXPECT_EQ(ed.label(7)->text(), QStringLiteral("p7 DE T"));
    EXPECT_TRUE(ed.valueBox(12)->isEnabled());
    EXPECT_FALSE(ed.valueBox(13)->isEnabled());
    EXPECT_EQ(ed.valueBox(1)->text(), QStringLiteral("1.0000000E+000"));
    EXPECT_EQ(ed.codeList(2)->currentIndex(), 1);
    EXPECT_TRUE(ed.codeList(10)->isHidden());
    EXPECT_FALSE(ed.deLink(10)->isHidden());
    EXPECT_EQ(ed.deLink(10)->text(), QStringLiteral("DE1"));
    EXPECT_EQ(ed.deLink(15)->text(), QStringLiteral("DE2"));
    EXPECT_EQ(ed.deLink(20)->text(), QStringLiteral("DE3"));
    EXPECT_TRUE(ed.deLink(11)->isHidden());
    EXPECT_EQ(ed.linkTooltip(10), QStringLiteral("5: ZC #2"));
    EXPECT_EQ(ed.linkTooltip(15), QString());  // its value box is disabled

    test::ScriptedDialogRunner dialogs;
    int calls = 0;
    dialogs.otherwise = [&](QDialog& d) {
        ++calls;
        return chooseDE(false, 1)(d);
    };
    ed.clickLink(15);
    ed.clickLink(20);
    EXPECT_EQ(calls, 0);
}

TEST(ParamEditor, SubtractChosenDEAndReadBack)
{
    CParamEditor ed(nullptr);
    Params p;
    ed.set(p.P, p.NFREE, 12, 'A');
    QString seenText;
    int seenDE = -2, seenParam = 0;
    test::ScriptedDialogRunner dialogs;
    dialogs.otherwise = chooseDE(true, 5, [&](CSelectDEDlg& d) {
        seenText = d.linkText();
        seenDE = d.list()->currentRow();
        seenParam = d.param();
    });
    ed.clickLink(10);
    EXPECT_EQ(seenText, QStringLiteral("DE1"));
    EXPECT_EQ(seenDE, 10);
    EXPECT_EQ(seenParam, 10);
    EXPECT_EQ(ed.valueBox(10)->text(), QStringLiteral("5.0000000E+000"));
    EXPECT_EQ(ed.deLink(10)->text(), QStringLiteral("-DE1"));
    double P[50] = {};
    int NFREE[50] = {};
    ed.read(P, NFREE);
    EXPECT_EQ(P[9], 5.0);
    EXPECT_EQ(NFREE[9], 3);
    EXPECT_EQ(P[0], 1.0);
    // Shown again from the record, the minus sign is back.
    ed.set(P, NFREE, 12, 'A');
    EXPECT_EQ(ed.deLink(10)->text(), QStringLiteral("-DE1"));

    // "OK" makes it a plain DE again; Cancel and an empty choice change nothing.
    dialogs.otherwise = chooseDE(false, 9);
    ed.clickLink(10);
    EXPECT_EQ(ed.deLink(10)->text(), QStringLiteral("DE1"));
    EXPECT_EQ(ed.codeList(10)->currentIndex(), 0);
    dialogs.otherwise = chooseDE(false, -1);
    ed.clickLink(10);
    EXPECT_EQ(ed.valueBox(10)->text(), QStringLiteral("9.0000000E+000"));
}

TEST(ParamEditor, CircuitsDAndGAndOddCodes)
{
    CParamEditor ed(nullptr);
    Params p;
    p.NFREE[3] = 7;
    ed.set(p.P, p.NFREE, 30, 'D');
    EXPECT_EQ(ed.deLink(20)->text(), QStringLiteral("DE5"));
    EXPECT_EQ(ed.codeList(4)->currentIndex(), -1);
    double P[50] = {};
    int NFREE[50] = {};
    ed.read(P, NFREE);
    EXPECT_EQ(NFREE[3], -1);
    ed.set(p.P, p.NFREE, 30, 'G');
    for (int k = 1; k <= 50; ++k)
        EXPECT_TRUE(ed.deLink(k)->isHidden()) << k;
    EXPECT_EQ(ed.deLink(20)->text(), QString());
    ed.set(p.P, p.NFREE, 0, 'A');
    for (int k = 1; k <= 50; ++k)
        EXPECT_FALSE(ed.valueBox(k)->isEnabled()) << k;
    EXPECT_EQ(CParamEditor::placement('O', 10), "DEC");
    EXPECT_EQ(CParamEditor::placement('K', 27), "DE1");
    EXPECT_EQ(CParamEditor::placement('X', 10), "");
}

TEST(ParamEditor, ScrollingKeepsRowsAndPositionInStep)
{
    CParamEditor ed(nullptr);
    EXPECT_EQ(ed.scrollBar()->minimum(), 1);
    EXPECT_EQ(ed.scrollBar()->maximum(), 20);
    EXPECT_EQ(ed.scrollBar()->pageStep(), 6);
    EXPECT_EQ(ed.firstVisibleParam(), 1);
    EXPECT_EQ(ed.lastVisibleParam(), 12);
    ed.scrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(ed.firstVisibleParam(), 39);
    EXPECT_EQ(ed.lastVisibleParam(), 50);
    // p[39] now stands where p[1] stood.
    EXPECT_EQ(ed.valueBox(39)->y() + ed.valueBox(39)->parentWidget()->y(), ed.valueBox(1)->y());
    ed.scrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(ed.firstVisibleParam(), 27);
    ed.scrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(ed.firstVisibleParam(), 1);

    // With the limits shown every row can be reached, by the bar and by the
    // wheel; the wheel over a code list scrolls and leaves the code alone.
    Params p;
    ed.set(p.P, p.NFREE, 50, 'R');
    ed.showLimits(true);
    auto wheel = [&](QWidget* over, int notches) {
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(over, &event);
    };
    wheel(&ed, -3);
    EXPECT_EQ(ed.firstVisibleParam(), 4);
    const int code = ed.codeList(5)->currentIndex();
    wheel(ed.codeList(5), -100);
    EXPECT_EQ(ed.codeList(5)->currentIndex(), code);
    EXPECT_EQ(ed.lastVisibleParam(), 50);
    wheel(ed.valueBox(50), 2);
    EXPECT_EQ(ed.lastVisibleParam(), 48);
    ed.scrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(ed.lastVisibleParam(), 50);
}
