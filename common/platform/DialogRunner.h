#pragma once

class QDialog;

namespace nosk {

// Runs the programs' modal dialogs. No window calls QDialog::exec() itself:
// it calls runModal(), and a test puts a scripted runner in the platform's
// place that inspects or fills the dialog and closes it as the user would.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Shows the dialog modally until it is closed; returns its result code
    // (QDialog::Accepted, QDialog::Rejected or the code it was done() with).
    virtual int run(QDialog& dialog) = 0;
};

// The real thing: the dialog's own modal loop.
class ModalDialogRunner : public DialogRunner {
public:
    int run(QDialog& dialog) override;
};

// The dialog through the platform's runner.
int runModal(QDialog& dialog);

} // namespace nosk
