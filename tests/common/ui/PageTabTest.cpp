#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "platform/Help.h"
#include "platform/Platform.h"
#include "ui/BoldFont.h"
#include "ui/CJobPage.h"
#include "ui/CPageTab.h"

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace nosk;

namespace {

class CountingPage : public CJobPage {
public:
    using CJobPage::CJobPage;
    void LoadFromJob() override { ++loads; }
    bool StoreToJob() override
    {
        ++stores;
        return true;
    }
    int loads = 0;
    int stores = 0;
};

struct HelpRecorder {
    HelpRecorder() { Platform::instance().setHelp(&help); }
    ~HelpRecorder() { Platform::instance().setHelp(nullptr); }
    RecordingHelp help;
};

// Text pixels are smoothed: count those of the text's hue.
int countBlue(const QImage& img, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            QColor c = img.pixelColor(x, y);
            if (c.blue() - std::max(c.red(), c.green()) > 40)
                ++n;
        }
    return n;
}

int countGreyText(const QImage& img, const QRect& r, QColor grey)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            QColor c = img.pixelColor(x, y);
            if (std::abs(c.red() - c.blue()) < 8 && std::abs(c.red() - c.green()) < 8
                && std::abs(c.red() - grey.red()) < 40)
                ++n;
        }
    return n;
}

} // namespace

TEST(PageTab, TabsCarryPagesAndSwitchingDoesNotTouchTheJob)
{
    FitJob* job = nullptr;  // the pages only keep the pointer
    CPageTab tab;
    auto* options = new CountingPage(job, QStringLiteral("Fitting options"), 10014);
    auto* lines = new CountingPage(job, QStringLiteral("Data lines"), 10012);
    EXPECT_EQ(tab.addPage(options), 0);
    EXPECT_EQ(tab.addPage(lines), 1);
    tab.resize(500, 300);
    tab.show();
    EXPECT_EQ(tab.tabText(0).toStdString(), "Fitting options");
    EXPECT_EQ(tab.page(1), lines);
    tab.showPage(1);
    EXPECT_TRUE(lines->isVisible());
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(options->loads + options->stores + lines->loads + lines->stores, 0);
}

TEST(PageTab, BoldFontOnlyForTheCaptions)
{
    QWidget window;
    QFont normal = window.font();
    auto* tab = new CPageTab(&window);
    auto* page = new CJobPage(nullptr, QStringLiteral("Fitting options"));
    auto* box = new QLineEdit(page);
    tab->addPage(page);
    tab->setFont(boldFont(window.font()));
    EXPECT_EQ(tab->pageTabBar()->font().weight(), 600);
    EXPECT_EQ(page->font().weight(), normal.weight());
    EXPECT_EQ(box->font().weight(), normal.weight());
}

TEST(PageTab, F1OpensTheShownPagesTopic)
{
    HelpRecorder rec;
    CPageTab tab;
    tab.addPage(new CJobPage(nullptr, QStringLiteral("Fitting options"), 10014));
    tab.addPage(new QWidget, QStringLiteral("PNTOUTL"), 10036);
    tab.show();
    tab.pageTabBar()->setFocus();
    QTest::keyClick(tab.pageTabBar(), Qt::Key_F1);
    tab.showPage(1);
    QTest::keyClick(tab.pageTabBar(), Qt::Key_F1);
    ASSERT_EQ(rec.help.calls.size(), 2u);
    EXPECT_EQ(rec.help.calls[0].contextId, 10014);
    EXPECT_EQ(rec.help.calls[1].contextId, 10036);
    EXPECT_EQ(tab.helpContext(1), 10036);

    // A failing help is reported with the program's name.
    ScriptedPrompt prompt;
    Platform::instance().setPrompt(&prompt);
    Platform::instance().setProgramName("NOSKRUN");
    rec.help.errorCode = 2;
    QTest::keyClick(tab.pageTabBar(), Qt::Key_F1);
    Platform::instance().setPrompt(nullptr);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "Cannot run help! Error 2");
    EXPECT_EQ(prompt.messages[0].caption, "NOSKRUN");
}

TEST(PageTab, SelectedTabDarkBlueOthersInTextColour)
{
    CPageTab tab;
    tab.addPage(new CJobPage(nullptr, QStringLiteral("Fitting options")));
    tab.addPage(new CJobPage(nullptr, QStringLiteral("Data lines")));
    tab.resize(400, 200);
    tab.show();
    CPageTabBar* bar = tab.pageTabBar();
    QImage img = bar->grab().toImage();
    QColor grey = bar->otherTextColor();
    // The other tabs are live: not drawn as a disabled control's text, and
    // as dark against the window as its ordinary text.
    EXPECT_NE(grey, bar->palette().color(QPalette::Disabled, QPalette::WindowText));
    const QColor window = bar->palette().color(QPalette::Window);
    EXPECT_GT(std::abs(window.lightness() - grey.lightness()), 128) << grey.name().toStdString();
    EXPECT_GT(countBlue(img, bar->tabRect(0)), 20);
    EXPECT_EQ(countBlue(img, bar->tabRect(1)), 0);
    EXPECT_GT(countGreyText(img, bar->tabRect(1), grey), 20);
    tab.showPage(1);
    img = bar->grab().toImage();
    EXPECT_EQ(countBlue(img, bar->tabRect(0)), 0);
    EXPECT_GT(countBlue(img, bar->tabRect(1)), 20);
}

TEST(JobPage, EnterAndEscInsideAPageDoNothing)
{
    QDialog dialog;
    auto* tab = new CPageTab(&dialog);
    auto* page = new CJobPage(nullptr, QStringLiteral("Fitting options"));
    auto* edit = new QLineEdit(page);
    tab->addPage(page);
    auto* ok = new QPushButton(QStringLiteral("SAVE AND RUN"), &dialog);
    ok->setDefault(true);
    int clicked = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] { ++clicked; });
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(tab);
    layout->addWidget(ok);
    dialog.show();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(clicked, 0);
}
