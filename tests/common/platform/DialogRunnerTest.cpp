// The one way the programs run a modal dialog: the platform's runner, the
// dialog's own loop unless a test scripts it.
#include "platform/DialogRunner.h"
#include "platform/Platform.h"
#include "support/ScriptedDialogRunner.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMetaObject>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace nosk;

namespace {

// Ends its own modal loop with `code` as soon as the loop runs.
class SelfClosingDialog : public QDialog {
public:
    explicit SelfClosingDialog(int code) : m_code(code) {}
    bool wasModal = false;

protected:
    void showEvent(QShowEvent* event) override
    {
        QDialog::showEvent(event);
        QMetaObject::invokeMethod(
            this,
            [this] {
                wasModal = QApplication::activeModalWidget() == this;
                done(m_code);
            },
            Qt::QueuedConnection);
    }

private:
    int m_code;
};

} // namespace

TEST(DialogRunner, WithoutAScriptTheDialogsOwnLoopRunsAndItsCodeComesBack)
{
    ASSERT_NE(dynamic_cast<ModalDialogRunner*>(&Platform::instance().dialogs()), nullptr);
    SelfClosingDialog dialog(7);
    EXPECT_EQ(runModal(dialog), 7);
    EXPECT_TRUE(dialog.wasModal);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(DialogRunner, AScriptSeesTheDialogModalAndTheProgramGetsItsAnswer)
{
    {
        test::ScriptedDialogRunner dialogs;
        QDialog a, b, c;
        a.setWindowTitle(QStringLiteral("first"));
        bool modalWhileAnswered = false;
        dialogs.answers.push_back([&](QDialog& d) {
            modalWhileAnswered = QApplication::activeModalWidget() == &d && d.isVisible();
            d.accept();
            return int(QDialog::Rejected);  // the button the answer pressed wins
        });
        dialogs.answers.push_back([](QDialog&) { return 5; });  // left open: closed with 5
        EXPECT_EQ(runModal(a), int(QDialog::Accepted));
        EXPECT_TRUE(modalWhileAnswered);
        EXPECT_EQ(runModal(b), 5);
        EXPECT_EQ(b.result(), 5);
        EXPECT_EQ(runModal(c), int(QDialog::Rejected));  // no answer: Escape
        EXPECT_EQ(dialogs.titles, (std::vector<std::string>{"first", "", ""}));
        for (QDialog* d : {&a, &b, &c})
            EXPECT_FALSE(d->isVisible());

        // A dialog of another type than the script expects fails the test
        // and is rejected rather than left hanging.
        QDialog wrong;
        dialogs.next<QFileDialog>([](QFileDialog* d) { d->open(); });
        bool failed = false;
        {
            ::testing::TestPartResultArray results;
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
            EXPECT_EQ(runModal(wrong), int(QDialog::Rejected));
            failed = results.size() == 1;
        }
        EXPECT_TRUE(failed);

        // An answer that throws (the library failing under the dialog)
        // leaves no modal window behind to block the program.
        QDialog failing;
        dialogs.answers.push_back([](QDialog&) -> int { throw std::runtime_error("out of memory"); });
        EXPECT_THROW(runModal(failing), std::runtime_error);
        EXPECT_FALSE(failing.isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    // The script gone, the platform's own runner is back.
    EXPECT_NE(dynamic_cast<ModalDialogRunner*>(&Platform::instance().dialogs()), nullptr);
}
