#include "HelpWindow.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace nosk {
namespace {

// Titles without regard to case, and numbers in them by their value, so that
// "DE 9" comes before "DE 10".
int titleOrder(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            QStringView na = QStringView(a).mid(i, ei - i), nb = QStringView(b).mid(j, ej - j);
            while (na.size() > 1 && na.front() == QLatin1Char('0'))
                na = na.mid(1);
            while (nb.size() > 1 && nb.front() == QLatin1Char('0'))
                nb = nb.mid(1);
            if (na.size() != nb.size())
                return na.size() < nb.size() ? -1 : 1;
            if (int c = na.compare(nb))
                return c;
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

} // namespace

HelpWindow::HelpWindow(const QString& folder, const Topics& topics, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    auto* splitter = new QSplitter(this);
    m_tabs = new QTabWidget(splitter);
    m_contents = new QListWidget;
    m_contents->setObjectName(QStringLiteral("contents"));
    m_tabs->addTab(m_contents, QStringLiteral("Contents"));
    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    m_indexFilter = new QLineEdit;
    m_indexFilter->setPlaceholderText(QStringLiteral("Type the word to find"));
    m_index = new QListWidget;
    indexLayout->addWidget(m_indexFilter);
    indexLayout->addWidget(m_index);
    m_tabs->addTab(indexPage, QStringLiteral("Index"));
    auto* pageSide = new QWidget(splitter);
    auto* pageLayout = new QVBoxLayout(pageSide);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    m_back = new QPushButton(QStringLiteral("< Back"));
    m_forward = new QPushButton(QStringLiteral("Forward >"));
    m_back->setObjectName(QStringLiteral("back"));
    m_forward->setObjectName(QStringLiteral("forward"));
    m_back->setToolTip(QStringLiteral("The topic shown before (Alt+Left)"));
    m_forward->setToolTip(QStringLiteral("The next topic again (Alt+Right)"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch();
    pageLayout->addLayout(buttons);
    m_page = new QTextBrowser;
    m_page->setOpenLinks(false);
    pageLayout->addWidget(m_page);
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
    // Enter in the search box opens the best match: the first topic whose
    // title matches, else the page that holds the text most often.
    connect(m_indexFilter, &QLineEdit::returnPressed, this, [this, open] {
        const QString text = m_indexFilter->text();
        int best = -1;
        qsizetype bestCount = 0;
        bool inTitle = false;
        for (int i = 0; i < m_index->count(); ++i) {
            QListWidgetItem* item = m_index->item(i);
            if (item->isHidden())
                continue;
            if (item->text().contains(text, Qt::CaseInsensitive)) {
                best = i;
                inTitle = true;
                break;
            }
            auto page = m_pageTexts.find(item->data(Qt::UserRole).toInt());
            const qsizetype count = page == m_pageTexts.end() ? 0 : page->second.count(text, Qt::CaseInsensitive);
            if (best < 0 || count > bestCount) {
                best = i;
                bestCount = count;
            }
        }
        if (best >= 0) {
            m_index->setCurrentRow(best);
            open(m_index->item(best));
            // Found in the text: show the place.
            if (!inTitle)
                m_page->find(text);
        }
    });
    connect(m_back, &QPushButton::clicked, this, &HelpWindow::back);
    connect(m_forward, &QPushButton::clicked, this, &HelpWindow::forward);
    connect(new QShortcut(QKeySequence::Back, this), &QShortcut::activated, this, &HelpWindow::back);
    connect(new QShortcut(QKeySequence::Forward, this), &QShortcut::activated, this, &HelpWindow::forward);
    // Links between topics are written as "<id>.html".
    connect(m_page, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        bool ok = false;
        int id = url.fileName().section(QLatin1Char('.'), 0, 0).toInt(&ok);
        if (ok)
            showTopic(id);
    });

    setTopics(folder, topics);
}

void HelpWindow::followModalWindow()
{
    QWidget* modal = QApplication::activeModalWidget();
    QWindow* owner = modal && modal != this ? modal->window()->windowHandle() : nullptr;
    if (!windowHandle())
        create();
    QWindow* self = windowHandle();
    if (!self || self->transientParent() == owner)
        return;
    for (const QMetaObject::Connection& c : m_ownerWatch)
        disconnect(c);
    m_ownerWatch.clear();
    self->setTransientParent(owner);
    if (!owner)
        return;
    // When the owner closes, the modal window under it takes over once the
    // owner has left the modal stack.
    auto follow = [this] { QTimer::singleShot(0, this, &HelpWindow::followModalWindow); };
    m_ownerWatch.push_back(connect(owner, &QWindow::visibleChanged, this, [follow](bool visible) {
        if (!visible)
            follow();
    }));
    m_ownerWatch.push_back(connect(owner, &QObject::destroyed, this, follow));
}

bool HelpWindow::event(QEvent* event)
{
    // A modal window opened after the help window blocks it: follow it once
    // it is on the modal stack.
    if (event->type() == QEvent::WindowBlocked)
        QTimer::singleShot(0, this, &HelpWindow::followModalWindow);
    return QWidget::event(event);
}

void HelpWindow::setTopics(const QString& folder, const Topics& topics)
{
    m_folder = folder;
    m_topics = topics;
    m_pageTexts.clear();
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
                     [](auto& a, auto& b) { return titleOrder(a.second, b.second) < 0; });
    for (const auto& [id, title] : byTitle) {
        auto* item = new QListWidgetItem(title, m_index);
        item->setData(Qt::UserRole, id);
    }
    filterIndex(m_indexFilter->text());
}

void HelpWindow::filterIndex(const QString& text)
{
    // The search looks through the titles and the pages' text, so that a
    // message seen in a box leads to the topic that explains it.
    if (!text.isEmpty() && m_pageTexts.empty()) {
        for (const auto& [id, title] : m_topics) {
            QFile file(m_folder + QLatin1Char('/') + QString::number(id) + QStringLiteral(".html"));
            if (file.open(QIODevice::ReadOnly))
                m_pageTexts[id] = QTextDocumentFragment::fromHtml(QString::fromUtf8(file.readAll())).toPlainText();
        }
    }
    for (int i = 0; i < m_index->count(); ++i) {
        QListWidgetItem* item = m_index->item(i);
        bool shown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
        if (!shown) {
            auto page = m_pageTexts.find(item->data(Qt::UserRole).toInt());
            shown = page != m_pageTexts.end() && page->second.contains(text, Qt::CaseInsensitive);
        }
        item->setHidden(!shown);
    }
}

void HelpWindow::showTopic(int contextId)
{
    // A new topic ends the way forward from the one shown.
    if (m_historyPos < 0 || m_history[std::size_t(m_historyPos)] != contextId) {
        m_history.resize(std::size_t(m_historyPos + 1));
        m_history.push_back(contextId);
        m_historyPos = int(m_history.size()) - 1;
    }
    display(contextId);
}

void HelpWindow::back()
{
    if (m_historyPos > 0)
        display(m_history[std::size_t(--m_historyPos)]);
}

void HelpWindow::forward()
{
    if (m_historyPos + 1 < int(m_history.size()))
        display(m_history[std::size_t(++m_historyPos)]);
}

void HelpWindow::display(int contextId)
{
    m_current = contextId;
    m_back->setEnabled(m_historyPos > 0);
    m_forward->setEnabled(m_historyPos + 1 < int(m_history.size()));
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
