#pragma once

#include <QPointer>
#include <QString>

#include <map>
#include <string>
#include <vector>

namespace nosk {

class HelpWindow;
class Prompt;

// Online help by numeric context id. Every help call of both programs goes
// through this interface; tests put a RecordingHelp in its place.
class Help {
public:
    // Circ is the secondary window of the model circuit topics.
    enum class Window { Main, Circ };

    virtual ~Help() = default;
    // Each returns 0 when help is shown, else the system's error number.
    virtual int showTopic(int contextId, Window window = Window::Main) = 0;
    virtual int showContents() = 0;
    virtual int showIndex() = 0;
};

// What the user gets: HTML topic pages of a help folder, shown in a help
// window with the list of topics as contents and an alphabetical index.
// The folder holds topics.txt (lines "<id><TAB><title>") and one
// "<id>.html" page per topic.
class HtmlHelp : public Help {
public:
    explicit HtmlHelp(const QString& folder = {});
    ~HtmlHelp() override;

    int showTopic(int contextId, Window window = Window::Main) override;
    int showContents() override;
    int showIndex() override;

    // The installed help (<prefix>/share/nosk/help beside <prefix>/bin), else
    // help/ beside the program, else the source tree's help/ for programs run
    // from the build tree. Empty when none is there.
    static QString findHelpFolder();

    const QString& folder() const { return m_folder; }
    HelpWindow* window(Window which) const;

private:
    int loadTopics();
    HelpWindow* ensureWindow(Window which);

    QString m_folder;
    std::vector<std::pair<int, QString>> m_topics;
    QPointer<HelpWindow> m_main;
    QPointer<HelpWindow> m_circ;
};

// Records the calls (tests); fails with errorCode when that is set.
class RecordingHelp : public Help {
public:
    struct Call {
        enum Kind { Topic, Contents, Index } kind;
        int contextId;
        Window window;
    };
    int showTopic(int contextId, Window window = Window::Main) override
    {
        calls.push_back({Call::Topic, contextId, window});
        return errorCode;
    }
    int showContents() override
    {
        calls.push_back({Call::Contents, 0, Window::Main});
        return errorCode;
    }
    int showIndex() override
    {
        calls.push_back({Call::Index, 0, Window::Main});
        return errorCode;
    }
    std::vector<Call> calls;
    int errorCode = 0;
};

// The help calls of the programs: through the platform's help, a failure is
// reported as "Cannot run help! Error %i" with the program's name as caption.
void openHelpTopic(int contextId, Help::Window window = Help::Window::Main);
void openHelpContents();
void openHelpIndex();
// The same with explicit help and prompt.
void reportHelpResult(int result, Prompt& prompt, const std::string& caption);

} // namespace nosk
