#pragma once

#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QLineEdit;
class QListWidget;
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
    void showTopic(int contextId);
    void showContentsTab();
    void showIndexTab();

    int currentTopic() const { return m_current; }
    QString pageText() const;

private:
    void fillLists();
    void filterIndex(const QString& text);

    QString m_folder;
    Topics m_topics;
    int m_current = 0;
    QTabWidget* m_tabs;
    QListWidget* m_contents;
    QLineEdit* m_indexFilter;
    QListWidget* m_index;
    QTextBrowser* m_page;
};

} // namespace nosk
