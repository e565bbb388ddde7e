#pragma once

#include <QTabBar>
#include <QTabWidget>

namespace nosk {

class CTabPage;

// The tab strip of CPageTab: it draws its own tabs. The selected one sits a
// pixel higher with dark blue text, the others lower with grey text.
class CPageTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit CPageTabBar(QWidget* parent = nullptr);

    static QColor selectedTextColor() { return QColor(0, 0, 128); }
    QColor otherTextColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QSize tabSizeHint(int index) const override;
};

// The tab control both programs host their pages in. Each tab carries its
// page; choosing a tab hides the page left and shows the page chosen.
// F1 while the tabs have the focus opens the help topic of the page shown.
class CPageTab : public QTabWidget {
    Q_OBJECT
public:
    explicit CPageTab(QWidget* parent = nullptr);

    // Adds a tab for the page, captioned with its title; returns its index.
    // The page keeps the font of the window around the tab control, so that
    // setting the bold font on the control makes only the captions bold.
    int addPage(CTabPage* page);
    // For a page of another kind: caption and help topic given here.
    int addPage(QWidget* page, const QString& title, int helpContext);

    QWidget* page(int index) const { return widget(index); }
    // Shows the page with that index and selects its tab.
    void showPage(int index) { setCurrentIndex(index); }
    // Removes every tab; the pages are the owner's (deleted by it).
    void removeAllPages();

    int helpContext(int index) const;
    // Opens the help topic of the page shown (what F1 does).
    void helpForCurrentPage();

    CPageTabBar* pageTabBar() const { return m_bar; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    CPageTabBar* m_bar;
};

} // namespace nosk
