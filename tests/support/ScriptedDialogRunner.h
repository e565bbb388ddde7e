#pragma once

#include "platform/DialogRunner.h"
#include "platform/Platform.h"

#include <QDialog>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace nosk::test {

// Answers the modal dialogs of a test; the platform's dialog runner while it
// lives. Each dialog is shown modal, as its own loop would show it, recorded
// by title and handed to the next answer. An answer inspects or fills the
// dialog and closes it as the user would (a button, accept(), done()), or
// returns the code to close it with. A dialog left open is closed with that
// code; a dialog without an answer is rejected, as Escape does.
class ScriptedDialogRunner : public DialogRunner {
public:
    using Answer = std::function<int(QDialog&)>;

    ScriptedDialogRunner() { Platform::instance().setDialogs(this); }
    ~ScriptedDialogRunner() override { Platform::instance().setDialogs(nullptr); }
    ScriptedDialogRunner(const ScriptedDialogRunner&) = delete;
    ScriptedDialogRunner& operator=(const ScriptedDialogRunner&) = delete;

    int run(QDialog& dialog) override
    {
        titles.push_back(dialog.windowTitle().toStdString());
        Answer answer = otherwise;
        if (!answers.empty()) {
            answer = std::move(answers.front());
            answers.pop_front();
        }
        const bool wasModal = dialog.testAttribute(Qt::WA_ShowModal);
        dialog.setAttribute(Qt::WA_ShowModal, true);
        dialog.show();
        // An answer that throws leaves no modal window behind.
        struct Hide {
            QDialog& d;
            bool modal;
            ~Hide()
            {
                d.hide();
                d.setAttribute(Qt::WA_ShowModal, modal);
            }
        } hide{dialog, wasModal};
        const int code = answer ? answer(dialog) : int(QDialog::Rejected);
        if (dialog.isVisible())
            dialog.done(code);
        return dialog.result();
    }

    // The next dialog must be a D; f gets it. One that f leaves open is
    // rejected; a dialog of another type is rejected as a failure.
    template <typename D, typename F>
    void next(F f)
    {
        answers.push_back([f](QDialog& d) -> int {
            auto* dialog = qobject_cast<D*>(&d);
            if (!dialog) {
                ADD_FAILURE() << "expected a " << D::staticMetaObject.className() << ", got a "
                              << d.metaObject()->className() << " \"" << d.windowTitle().toStdString() << "\"";
                return int(QDialog::Rejected);
            }
            f(dialog);
            return int(QDialog::Rejected);
        });
    }

    std::deque<Answer> answers;  // one for each dialog, in order
    Answer otherwise;            // the dialogs after them; none: rejected
    std::vector<std::string> titles;
};

} // namespace nosk::test
