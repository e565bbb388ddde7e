#include "CJobPage.h"

#include "platform/Help.h"

#include <QKeyEvent>

namespace nosk {

CJobPage::CJobPage(FitJob* job, const QString& title, int helpContext, QWidget* parent)
    : CTabPage(title, helpContext, parent)
    , m_job(job)
{
}

void CJobPage::keyPressEvent(QKeyEvent* event)
{
    // The keys reach the page when a control of it did not use them; taking
    // them here keeps them from the window's default and cancel buttons.
    // F1 in any of its fields opens the page's own topic.
    if (event->key() == Qt::Key_F1 && helpContext() != 0) {
        openHelpTopic(helpContext());
        event->accept();
        return;
    }
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            break;
        }
    }
    CTabPage::keyPressEvent(event);
}

} // namespace nosk
