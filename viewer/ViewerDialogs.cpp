#include "ViewerDialogs.h"

#include "CAboutDlg.h"
#include "CTransformDlg.h"
#include "CXAxisTypeDlg.h"

#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace nosk {

DialogResult QtViewerDialogs::transform(QWidget* parent, TransformChoice& choice)
{
    CTransformDlg dlg(choice, parent);
    const int r = dlg.exec();
    if (r == CTransformDlg::ReturnToOriginal)
        return DialogResult::ReturnToOriginal;
    if (r != QDialog::Accepted)
        return DialogResult::Cancel;
    choice = dlg.choice();
    return DialogResult::Ok;
}

DialogResult QtViewerDialogs::xAxisType(QWidget* parent, int& type)
{
    CXAxisTypeDlg dlg(type, parent);
    const int r = dlg.exec();
    if (r == CXAxisTypeDlg::ReturnToOriginal)
        return DialogResult::ReturnToOriginal;
    if (r != QDialog::Accepted)
        return DialogResult::Cancel;
    type = dlg.type();
    return DialogResult::Ok;
}

bool QtViewerDialogs::printSetup(QWidget* parent, std::unique_ptr<QPrinter>& printer)
{
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dlg(p.get(), parent);
    dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    printer = std::move(p);
    return true;
}

void QtViewerDialogs::about(QWidget* parent)
{
    CAboutDlg dlg(parent);
    dlg.exec();
}

} // namespace nosk
