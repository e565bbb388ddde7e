#include "HelpWindow.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace nosk {

HelpWindow::HelpWindow(const QString& folder, const Topics& topics, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    auto* splitter = new QSplitter(this);
    m_tabs = new QTabWidget(splitter);
    m_contents = new QListWidget;
    m_tabs->addTab(m_contents, QStringLiteral("Contents"));
    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    m_indexFilter = new QLineEdit;
    m_indexFilter->setPlaceholderText(QStringLiteral("Type the word to find"));
    m_index = new QListWidget;
    indexLayout->addWidget(m_indexFilter);
    indexLayout->addWidget(m_index);
    m_tabs->addTab(indexPage, QStringLiteral("Index"));
    m_page = new QTextBrowser(splitter);
    m_page->setOpenLinks(false);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
    resize(760, 520);

    auto open = [this](QListWidgetItem* item) {
        if (item)
            showTopic(item->data(Qt::UserRole).toInt());
    };
    connect(m_contents, &QListWidget::itemActivated, this, open);
    connect(m_contents, &QListWidget::itemClicked, this, open);
    connect(m_index, &QListWidget::itemActivated, this, open);
    connect(m_index, &QListWidget::itemClicked, this, open);
    connect(m_indexFilter, &QLineEdit::textChanged, this, &HelpWindow::filterIndex);
    // Links between topics are written as "<id>.html".
    connect(m_page, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        bool ok = false;
        int id = url.fileName().section(QLatin1Char('.'), 0, 0).toInt(&ok);
        if (ok)
            showTopic(id);
    });

    setTopics(folder, topics);
}

void HelpWindow::setTopics(const QString& folder, const Topics& topics)
{
    m_folder = folder;
    m_topics = topics;
    fillLists();
}

void HelpWindow::fillLists()
{
    m_contents->clear();
    m_index->clear();
    Topics byId = m_topics;
    std::stable_sort(byId.begin(), byId.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (const auto& [id, title] : byId) {
        auto* item = new QListWidgetItem(title, m_contents);
        item->setData(Qt::UserRole, id);
    }
    Topics byTitle = m_topics;
    std::stable_sort(byTitle.begin(), byTitle.end(),
                     [](auto& a, auto& b) { return a.second.compare(b.second, Qt::CaseInsensitive) < 0; });
    for (const auto& [id, title] : byTitle) {
        auto* item = new QListWidgetItem(title, m_index);
        item->setData(Qt::UserRole, id);
    }
    filterIndex(m_indexFilter->text());
}

void HelpWindow::filterIndex(const QString& text)
{
    for (int i = 0; i < m_index->count(); ++i) {
        QListWidgetItem* item = m_index->item(i);
        item->setHidden(!text.isEmpty() && !item->text().contains(text, Qt::CaseInsensitive));
    }
}

void HelpWindow::showTopic(int contextId)
{
    m_current = contextId;
    QString title;
    for (const auto& [id, t] : m_topics)
        if (id == contextId)
            title = t;
    QFile file(m_folder + QLatin1Char('/') + QString::number(contextId) + QStringLiteral(".html"));
    if (!title.isEmpty() && file.open(QIODevice::ReadOnly)) {
        m_page->setSearchPaths({m_folder});
        m_page->setHtml(QString::fromUtf8(file.readAll()));
    } else {
        m_page->setHtml(QStringLiteral("<h3>Topic %1</h3><p>There is no help text for this topic.</p>")
                            .arg(contextId));
    }
    for (int i = 0; i < m_contents->count(); ++i) {
        if (m_contents->item(i)->data(Qt::UserRole).toInt() == contextId) {
            m_contents->setCurrentRow(i);
            break;
        }
    }
}

void HelpWindow::showContentsTab()
{
    m_tabs->setCurrentIndex(0);
    if (m_current == 0 && !m_topics.empty())
        showTopic(m_topics.front().first);
}

void HelpWindow::showIndexTab()
{
    m_tabs->setCurrentIndex(1);
    m_indexFilter->setFocus();
    if (m_current == 0 && !m_topics.empty())
        showTopic(m_topics.front().first);
}

QString HelpWindow::pageText() const
{
    return m_page->toPlainText();
}

} // namespace nosk
