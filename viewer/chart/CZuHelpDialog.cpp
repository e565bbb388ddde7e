#include "CZuHelpDialog.h"

#include <QKeyEvent>

namespace nosk {

CZuHelpDialog::CZuHelpDialog(int helpContext, QWidget* parent)
    : QDialog(parent), m_helpContext(helpContext)
{
}

void CZuHelpDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        event->accept();
        emit helpRequested(m_helpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
