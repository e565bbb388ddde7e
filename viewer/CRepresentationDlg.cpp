#include "CRepresentationDlg.h"

#include "platform/Help.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>

namespace nosk {

CRepresentationDlg::CRepresentationDlg(int helpContext, QWidget* parent)
    : QDialog(parent), m_helpContext(helpContext)
{
}

QDialogButtonBox* CRepresentationDlg::makeButtons()
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* original = buttons->addButton(QStringLiteral("Return to original data"), QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(original, &QPushButton::clicked, this, [this] { done(ReturnToOriginal); });
    return buttons;
}

void CRepresentationDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(m_helpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
