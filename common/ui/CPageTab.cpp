#include "CPageTab.h"

#include "CTabPage.h"
#include "platform/Help.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionTab>
#include <QStylePainter>

namespace nosk {
namespace {
const char kHelpProperty[] = "noskHelpContext";
}

CPageTabBar::CPageTabBar(QWidget* parent)
    : QTabBar(parent)
{
    setDrawBase(true);
    setExpanding(false);
}

QColor CPageTabBar::otherTextColor() const
{
    // The other pages are a click away, not out of reach: the window's own
    // text colour, never the greyed one of a disabled control.
    return palette().color(QPalette::Active, QPalette::WindowText);
}

QSize CPageTabBar::tabSizeHint(int index) const
{
    // Room for the caption in the bar's (bold) font and the offsets below.
    QSize s = QTabBar::tabSizeHint(index);
    QFontMetrics fm(font());
    int w = fm.horizontalAdvance(tabText(index)) + 2 * fm.averageCharWidth() + 8;
    return QSize(qMax(s.width(), w), qMax(s.height(), fm.height() + 10));
}

void CPageTabBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab opt;
        initStyleOption(&opt, i);
        opt.text.clear();
        opt.icon = QIcon();
        painter.drawControl(QStyle::CE_TabBarTabShape, opt);

        bool selected = i == currentIndex();
        QRect r = tabRect(i);
        // The frame of every item in the tab background colour.
        QRect inner = r.adjusted(3, 3, -4, -3);
        painter.setPen(palette().color(QPalette::Button));
        painter.drawRect(inner);
        // The caption, centred on one line: the chosen one a pixel higher.
        QRect text = selected ? r.translated(0, -1) : r.translated(0, 2);
        painter.setPen(selected ? selectedTextColor() : otherTextColor());
        painter.setFont(font());
        painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine, tabText(i));
        if (selected && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = inner.adjusted(1, 1, -1, -1);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
}

void CPageTabBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        if (auto* tab = qobject_cast<CPageTab*>(parentWidget())) {
            tab->helpForCurrentPage();
            event->accept();
            return;
        }
    }
    QTabBar::keyPressEvent(event);
}

CPageTab::CPageTab(QWidget* parent)
    : QTabWidget(parent)
    , m_bar(new CPageTabBar(this))
{
    setTabBar(m_bar);
    setDocumentMode(false);
}

int CPageTab::addPage(CTabPage* page)
{
    return addPage(page, page->title(), page->helpContext());
}

int CPageTab::addPage(QWidget* page, const QString& title, int helpContext)
{
    // The bold font of the tab control is for its captions only: a page
    // keeps the window's own font.
    if (!page->testAttribute(Qt::WA_SetFont)) {
        QFont f = parentWidget() ? parentWidget()->font() : QApplication::font();
        f.setFamilies(f.families().isEmpty() ? QStringList{f.family()} : f.families());
        f.setWeight(f.weight());
        if (f.pointSizeF() > 0)
            f.setPointSizeF(f.pointSizeF());
        else
            f.setPixelSize(f.pixelSize());
        page->setFont(f);
    }
    if (!qobject_cast<CTabPage*>(page))
        page->setProperty(kHelpProperty, helpContext);
    return addTab(page, title.left(40));
}

void CPageTab::removeAllPages()
{
    while (count() > 0)
        removeTab(count() - 1);
}

int CPageTab::helpContext(int index) const
{
    QWidget* w = widget(index);
    if (!w)
        return 0;
    if (auto* p = qobject_cast<CTabPage*>(w))
        return p->helpContext();
    return w->property(kHelpProperty).toInt();
}

void CPageTab::helpForCurrentPage()
{
    if (currentIndex() < 0)
        return;
    openHelpTopic(helpContext(currentIndex()));
}

void CPageTab::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && (hasFocus() || m_bar->hasFocus())) {
        helpForCurrentPage();
        event->accept();
        return;
    }
    QTabWidget::keyPressEvent(event);
}

} // namespace nosk
