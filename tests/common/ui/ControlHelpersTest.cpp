#include "core/Exception.h"
#include "ui/BoldFont.h"
#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace nosk;

namespace {

QComboBox* comboWith(int entries)
{
    auto* box = new QComboBox;
    for (int i = 0; i < entries; ++i)
        box->addItem(QStringLiteral("entry %1").arg(i));
    return box;
}

std::string failureOf(const QLineEdit& edit)
{
    try {
        takeInt(&edit);
    } catch (const exception& e) {
        return e.what();
    }
    return "(no failure)";
}

std::string doubleFailureOf(const QLineEdit& edit)
{
    try {
        takeDouble(&edit);
    } catch (const exception& e) {
        return e.what();
    }
    return "(no failure)";
}

} // namespace

TEST(ControlHelpers, CodesSelectByPosition)
{
    std::unique_ptr<QComboBox> levels(comboWith(4));
    showCode(levels.get(), "ZYME", 'M');
    EXPECT_EQ(levels->currentIndex(), 2);
    EXPECT_EQ(takeCode(levels.get(), "ZYME"), 'M');
    showCode(levels.get(), "ZYME", 'Q');  // not in the list: first entry
    EXPECT_EQ(levels->currentIndex(), 0);

    std::unique_ptr<QComboBox> freq(comboWith(2));
    showCode(freq.get(), " F", ' ');
    EXPECT_EQ(takeCode(freq.get(), " F"), ' ');
    showCode(freq.get(), " F", 'F');
    EXPECT_EQ(takeCode(freq.get(), " F"), 'F');

    // A list longer than its codes: beyond the codes gives the zero character.
    std::unique_ptr<QComboBox> fun(comboWith(16));
    fun->setCurrentIndex(15);
    EXPECT_EQ(takeCode(fun.get(), "ABCDEFGHIJKORST"), '\0');
    fun->setCurrentIndex(14);
    EXPECT_EQ(takeCode(fun.get(), "ABCDEFGHIJKORST"), 'T');
    fun->setCurrentIndex(-1);
    EXPECT_EQ(takeCode(fun.get(), "ABCDEFGHIJKORST"), '\0');
}

TEST(ControlHelpers, IntegersAndTheirFailures)
{
    QLineEdit edit;
    showInt(&edit, -12);
    EXPECT_EQ(edit.text().toStdString(), "-12");
    EXPECT_EQ(takeInt(&edit), -12);
    edit.setText(QStringLiteral("  40  "));
    EXPECT_EQ(takeInt(&edit), 40);
    edit.setText(QStringLiteral("+7"));
    EXPECT_EQ(takeInt(&edit), 7);

    edit.setText(QStringLiteral("12abc"));
    EXPECT_EQ(failureOf(edit), "Wrong number! 12abc");
    edit.setText(QStringLiteral("1 2"));
    EXPECT_EQ(failureOf(edit), "Wrong number! 1 2");
    edit.setText(QString());
    EXPECT_EQ(failureOf(edit), "Wrong number! ");
    edit.setText(QStringLiteral("   "));
    EXPECT_EQ(failureOf(edit), "Wrong number!    ");
    edit.setText(QStringLiteral("-"));
    EXPECT_EQ(failureOf(edit), "Wrong number! -");
    edit.setText(QStringLiteral("99999999999"));  // beyond the integer range
    EXPECT_EQ(failureOf(edit), "Wrong number! 99999999999");
    // Only 31 characters of the box count.
    edit.setText(QString(31, QLatin1Char(' ')) + QStringLiteral("5"));
    EXPECT_NE(failureOf(edit), "(no failure)");
}

TEST(ControlHelpers, DoubleTextsAndLeadingNumbers)
{
    QLineEdit edit;
    showDouble(&edit, 8.8541878e-14);
    EXPECT_EQ(edit.text().toStdString(), "8.854188E-014");
    showDouble(&edit, 1.0, 7);
    EXPECT_EQ(edit.text().toStdString(), "1.0000000E+000");
    showDouble(&edit, -250.5, 7);
    EXPECT_EQ(edit.text().toStdString(), "-2.5050000E+002");
    EXPECT_DOUBLE_EQ(takeDouble(&edit), -250.5);

    struct Case {
        const char* text;
        double value;
    } cases[] = {{"2.5xyz", 2.5}, {"abc", 0.0}, {"", 0.0}, {"1.5E+003", 1500.0}, {"  -.5e-2", -0.005},
                 {"1e", 1.0},     {"3.E2", 300.0}, {"inf", 0.0}, {"0x10", 0.0}, {".", 0.0},
                 {"+4", 4.0},     {"8.854188E-014", 8.854188e-14}};
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(parseLeadingDouble(c.text), c.value) << c.text;

    // A number box takes only a text that is wholly a number, with a decimal
    // comma where it cannot mean anything else; otherwise "Wrong number!".
    const Case whole[] = {{"1.5E+003", 1500.0}, {"  -.5e-2 ", -0.005}, {"3.E2", 300.0}, {"+4", 4.0},
                          {"1,5e-12", 1.5e-12}, {"-0,25", -0.25}, {"8.854188E-014", 8.854188e-14}};
    for (const Case& c : whole) {
        edit.setText(QString::fromLatin1(c.text));
        EXPECT_DOUBLE_EQ(takeDouble(&edit), c.value) << c.text;
    }
    for (const char* bad : {"2.5xyz", "abc", "", "1e", "inf", "nan", "0x10", ".", "1,5,0", "1.5,0", "1e999", "1 2"}) {
        edit.setText(QString::fromLatin1(bad));
        EXPECT_EQ(doubleFailureOf(edit), std::string("Wrong number! ") + bad) << bad;
    }
}

TEST(ControlHelpers, CheckBoxesWithThirdState)
{
    QCheckBox box;
    box.setTristate(true);
    showCheck(&box, 1);
    EXPECT_EQ(takeCheck(&box), 1);
    showCheck(&box, 2);  // anything but 1 clears
    EXPECT_EQ(takeCheck(&box), 0);
    box.setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(takeCheck(&box), -1);
}

TEST(ControlHelpers, BoldFontHasWeight600)
{
    QFont base;
    base.setPointSize(9);
    QFont bold = boldFont(base);
    EXPECT_EQ(bold.weight(), 600);
    EXPECT_EQ(bold.pointSize(), 9);
}
