#pragma once

#include <memory>
#include <string>

namespace nosk {

// Qt takes the user's locale for the C library at start; the engine's files,
// exports and reports must keep the decimal point whatever the desktop's
// language, so both programs call this right after creating the application.
void keepCNumbers();

class DialogRunner;
class Help;
class Notifier;
class ProcessLauncher;
class Prompt;
class Shell;

// The platform services of one program: prompt, modal dialogs, help,
// processes, shell and the viewer notification. Each program names itself at
// start; everything else defaults to the real thing on first use (the Qt
// prompt, the dialogs' own modal loops, the HTML help, posix_spawn, xdg-open,
// the local sockets). Tests set their own objects; set...(nullptr) goes back
// to the default. The services set from outside are not owned.
class Platform {
public:
    static Platform& instance();

    const std::string& programName() const { return m_programName; }
    void setProgramName(const std::string& name) { m_programName = name; }

    Prompt& prompt();
    void setPrompt(Prompt* prompt) { m_prompt = prompt; }

    DialogRunner& dialogs();
    void setDialogs(DialogRunner* runner) { m_dialogs = runner; }

    Help& help();
    void setHelp(Help* help) { m_help = help; }

    ProcessLauncher& processes();
    void setProcesses(ProcessLauncher* launcher) { m_processes = launcher; }

    Shell& shell();
    void setShell(Shell* shell) { m_shell = shell; }

    Notifier& notifier();
    void setNotifier(Notifier* notifier) { m_notifier = notifier; }

private:
    Platform();
    ~Platform();

    std::string m_programName = "NOSK";
    Prompt* m_prompt = nullptr;
    DialogRunner* m_dialogs = nullptr;
    Help* m_help = nullptr;
    ProcessLauncher* m_processes = nullptr;
    Shell* m_shell = nullptr;
    Notifier* m_notifier = nullptr;
    std::unique_ptr<Prompt> m_defaultPrompt;
    std::unique_ptr<DialogRunner> m_defaultDialogs;
    std::unique_ptr<Help> m_defaultHelp;
    std::unique_ptr<ProcessLauncher> m_defaultProcesses;
    std::unique_ptr<Shell> m_defaultShell;
    std::unique_ptr<Notifier> m_defaultNotifier;
};

} // namespace nosk
