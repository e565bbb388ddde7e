#pragma once

#include <QMetaObject>
#include <QString>
#include <QWidget>

#include <map>
#include <utility>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTextBrowser;

namespace nosk {

// The help window: the topic list as contents, the same list by title as
// index, and the topic page beside them.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    using Topics = std::vector<std::pair<int, QString>>;

    HelpWindow(const QString& folder, const Topics& topics, QWidget* parent = nullptr);

    void setTopics(const QString& folder, const Topics& topics);
    // Shows the topic and makes it the newest of the window's history.
    void showTopic(int contextId);
    // Through the topics shown before ("< Back", Alt+Left) and again
    // forward ("Forward >", Alt+Right).
    void back();
    void forward();
    void showContentsTab();
    void showIndexTab();

    // Both programs run their main window and their dialogs modally, which
    // blocks every other top-level window. The help window becomes a
    // transient of the modal window on top, so that it takes input beside
    // it: before it is shown, whenever a new modal window blocks it, and when
    // the window it follows closes.
    void followModalWindow();

    int currentTopic() const { return m_current; }
    QString pageText() const;

protected:
    bool event(QEvent* event) override;

private:
    void display(int contextId);
    void fillLists();
    void filterIndex(const QString& text);

    QString m_folder;
    Topics m_topics;
    std::map<int, QString> m_pageTexts;  // plain text of each page, read on the first search
    int m_current = 0;
    QTabWidget* m_tabs;
    QListWidget* m_contents;
    QLineEdit* m_indexFilter;
    QListWidget* m_index;
    QTextBrowser* m_page;
    QPushButton* m_back;
    QPushButton* m_forward;
    std::vector<int> m_history;
    int m_historyPos = -1;
    std::vector<QMetaObject::Connection> m_ownerWatch;
};

} // namespace nosk
