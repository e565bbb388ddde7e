#include "CDEExamplesDlg.h"
#include "CSelectDEDlg.h"
#include "DECatalogue.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>

#include "support/Files.h"
#include "support/TempDir.h"

#include <filesystem>

using namespace nosk;

TEST(SelectDE, OpensOnTheGivenDE)
{
    CSelectDEDlg dlg(QStringLiteral("DE1"), 5, 10);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Select DE1 for p(10)"));
    EXPECT_EQ(dlg.list()->count(), 38);
    EXPECT_EQ(dlg.selectedDE(), 5);
    EXPECT_EQ(dlg.list()->currentItem()->text(), QStringLiteral("5: ZC #2"));
    EXPECT_TRUE(dlg.descriptionBox()->toPlainText().startsWith(QStringLiteral("5: ZC #2\n")));
    dlg.list()->setCurrentRow(17);
    EXPECT_EQ(dlg.descriptionBox()->toPlainText(),
              QStringLiteral("17: Four ideal elements (including L)\n"
                             "   PARALLEL COMBINATION OF C (TDE), R (RDE), AND A SERIES\n"
                             "   COMBINATION OF ANOTHER R (UDE) AND AN L (PDE)."));
    dlg.subtractButton()->click();
    EXPECT_EQ(dlg.result(), CSelectDEDlg::Subtract);
    EXPECT_EQ(dlg.selectedDE(), 17);
}

TEST(SelectDE, NumberOutsideTheCatalogueSelectsNothing)
{
    CSelectDEDlg dlg(QStringLiteral("DE2"), 40, 15);
    EXPECT_EQ(dlg.selectedDE(), -1);
    EXPECT_TRUE(dlg.descriptionBox()->toPlainText().isEmpty());
    dlg.okButton()->click();
    EXPECT_EQ(dlg.result(), int(QDialog::Accepted));
    EXPECT_EQ(dlg.selectedDE(), -1);
}

namespace {

// Every line of every DE's description stands on one line of the box.
void expectDescriptionsUnbroken(QDialog& dlg, QListWidget* list, QPlainTextEdit* box)
{
    dlg.show();
    QCoreApplication::processEvents();
    for (int de = 0; de < de::kCount; ++de) {
        list->setCurrentRow(de);
        QCoreApplication::processEvents();
        QTextDocument* doc = box->document();
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            ASSERT_NE(b.layout(), nullptr);
            EXPECT_EQ(b.layout()->lineCount(), 1) << "DE " << de << ": " << b.text().toStdString();
        }
    }
}

} // namespace

TEST(DEDialogs, DescriptionsFitTheirBox)
{
    CSelectDEDlg select(QStringLiteral("DE1"), 0, 10);
    expectDescriptionsUnbroken(select, select.list(), select.descriptionBox());
    CDEExamplesDlg examples;
    expectDescriptionsUnbroken(examples, examples.deList(), examples.descriptionBox());
}

TEST(DEExamples, NoExampleDisablesOpen)
{
    CDEExamplesDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Examples of  DE using"));
    EXPECT_EQ(dlg.deList()->currentRow(), 0);
    dlg.deList()->setCurrentRow(1);
    dlg.deList()->setCurrentRow(0);
    ASSERT_EQ(dlg.exampleList()->count(), 1);
    EXPECT_EQ(dlg.exampleList()->item(0)->text(), QStringLiteral("No example available"));
    EXPECT_FALSE(dlg.openButton()->isEnabled());
    EXPECT_TRUE(dlg.descriptionBox()->toPlainText().startsWith(QStringLiteral("0: Short circuit")));
    dlg.cancelButton()->click();
    EXPECT_EQ(dlg.result(), int(QDialog::Rejected));
    EXPECT_EQ(dlg.exampleList()->count(), 0);
}

TEST(DEExamples, OpenExampleFromTheWorkFolder)
{
    test::TempWorkDir dir;
    std::filesystem::create_directories("fittests/CKT.A");
    test::writeAll("fittests/CKT.A/AMIX3.TST", "x");
    CDEExamplesDlg dlg;
    dlg.deList()->setCurrentRow(3);
    ASSERT_EQ(dlg.exampleList()->count(), 3);  // ADE3, AMIX3, HBRICK
    EXPECT_EQ(dlg.exampleList()->currentRow(), 0);
    EXPECT_TRUE(dlg.openButton()->isEnabled());
    dlg.exampleList()->setCurrentRow(1);
    dlg.openButton()->click();
    EXPECT_EQ(dlg.result(), int(QDialog::Accepted));
    EXPECT_EQ(dlg.examplePath(), (dir.path() / "fittests" / "CKT.A" / "AMIX3.TST").string());
    EXPECT_EQ(dlg.exampleList()->count(), 0);
}

TEST(DECatalogue, EveryDescriptionGivesItsFormula)
{
    for (int i = 0; i < de::kCount; ++i) {
        const std::string& text = de::description(i);
        EXPECT_EQ(text.find("not computed"), std::string::npos) << i;
        EXPECT_EQ(text.find("Not computed"), std::string::npos) << i;
        EXPECT_NE(text.find("\r\n   "), std::string::npos) << "DE " << i << " has no formula line";
    }
}

TEST(DEExamples, EveryListedExampleIsBundled)
{
    namespace fs = std::filesystem;
    const fs::path bundled = fs::path(NOSK_SOURCE_DIR) / "fittests";
    if (!fs::exists(bundled))
        GTEST_SKIP() << "no example jobs in this tree";
    for (int i = 0; i < de::kCount; ++i)
        for (const std::string& name : de::examples(i))
            EXPECT_TRUE(fs::exists(bundled / ("CKT." + name.substr(0, 1)) / name)) << name;
}

TEST(SelectDE, ClickShowsTheClickedDE)
{
    CSelectDEDlg dlg(QStringLiteral("DE1"), 2, 10);
    dlg.show();
    QListWidget* list = dlg.list();
    for (int row : {7, 3, 12}) {
        QListWidgetItem* item = list->item(row);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(item).center());
        EXPECT_EQ(dlg.selectedDE(), row);
        EXPECT_TRUE(dlg.descriptionBox()->toPlainText().startsWith(item->text() + QLatin1Char('\n')))
            << row << ": " << dlg.descriptionBox()->toPlainText().toStdString();
    }
}
