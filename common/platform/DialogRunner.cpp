#include "DialogRunner.h"

#include "Platform.h"

#include <QDialog>

namespace nosk {

int ModalDialogRunner::run(QDialog& dialog)
{
    return dialog.exec();
}

int runModal(QDialog& dialog)
{
    return Platform::instance().dialogs().run(dialog);
}

} // namespace nosk
