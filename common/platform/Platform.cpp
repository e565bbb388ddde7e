#include "Platform.h"

#include <clocale>

#include "DialogRunner.h"
#include "Help.h"
#include "Notification.h"
#include "Process.h"
#include "QtPrompt.h"
#include "Shell.h"

namespace nosk {

void keepCNumbers()
{
    std::setlocale(LC_NUMERIC, "C");
}

Platform::Platform() = default;
Platform::~Platform() = default;

Platform& Platform::instance()
{
    static Platform platform;
    return platform;
}

Prompt& Platform::prompt()
{
    if (m_prompt)
        return *m_prompt;
    if (!m_defaultPrompt)
        m_defaultPrompt = std::make_unique<QtPrompt>();
    return *m_defaultPrompt;
}

DialogRunner& Platform::dialogs()
{
    if (m_dialogs)
        return *m_dialogs;
    if (!m_defaultDialogs)
        m_defaultDialogs = std::make_unique<ModalDialogRunner>();
    return *m_defaultDialogs;
}

Help& Platform::help()
{
    if (m_help)
        return *m_help;
    if (!m_defaultHelp)
        m_defaultHelp = std::make_unique<HtmlHelp>();
    return *m_defaultHelp;
}

ProcessLauncher& Platform::processes()
{
    if (m_processes)
        return *m_processes;
    if (!m_defaultProcesses)
        m_defaultProcesses = std::make_unique<PosixProcessLauncher>();
    return *m_defaultProcesses;
}

Shell& Platform::shell()
{
    if (m_shell)
        return *m_shell;
    if (!m_defaultShell)
        m_defaultShell = std::make_unique<DesktopShell>();
    return *m_defaultShell;
}

Notifier& Platform::notifier()
{
    if (m_notifier)
        return *m_notifier;
    if (!m_defaultNotifier)
        m_defaultNotifier = std::make_unique<NotifySender>();
    return *m_defaultNotifier;
}

} // namespace nosk
