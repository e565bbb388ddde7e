// The organiser window's Run -> "Fit series...".
#include "COrganiserDlg.h"

#include "CSeriesDlg.h"
#include "core/Prompt.h"
#include "platform/DialogRunner.h"
#include "platform/Notification.h"
#include "platform/Platform.h"

namespace nosk {

void COrganiserDlg::onFitSeries()
{
    if (engineRunning()) {
        m_prompt.message("The fitting engine is still running!", kProgram, Buttons::Ok, Icon::Warning);
        return;
    }
    if (!storeToJob())
        return;
    CSeriesDlg dialog(m_job, m_prompt, m_options, this);
    if (runModal(dialog) != QDialog::Accepted)
        return;
    setStatus(QString::fromStdString(dialog.outcome()));
    // A running viewer reloads and shows the series.
    if (m_options.notifyViewer == 1)
        Platform::instance().notifier().notifyViewers();
}

} // namespace nosk
