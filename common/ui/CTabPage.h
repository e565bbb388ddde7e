#pragma once

#include <QString>
#include <QWidget>

namespace nosk {

// A page of the page tab control: its tab caption (at most 40 characters)
// and the help topic F1 opens while it is shown.
class CTabPage : public QWidget {
    Q_OBJECT
public:
    explicit CTabPage(const QString& title = {}, int helpContext = 0, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_title(title.left(40))
        , m_helpContext(helpContext)
    {
    }

    QString title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title.left(40); }
    int helpContext() const { return m_helpContext; }
    void setHelpContext(int context) { m_helpContext = context; }

private:
    QString m_title;
    int m_helpContext;
};

} // namespace nosk
