#pragma once

#include <QString>
#include <QWidget>

#include <array>

namespace nosk {

class CZuGraph;
struct GraphSettings;

// What a page hands to printing and image export: up to four graphs with the
// texts of their group boxes as titles.
struct PageGraphs {
    std::array<CZuGraph*, 4> graphs{};
    std::array<QString, 4> titles;
    int count() const
    {
        int n = 0;
        for (auto* g : graphs)
            n += g != nullptr;
        return n;
    }
};

// A page of the viewer's tab control.
class CViewerPage : public QWidget {
    Q_OBJECT
public:
    CViewerPage(const QString& title, int helpContext, QWidget* parent = nullptr)
        : QWidget(parent), m_title(title), m_helpContext(helpContext) {}

    const QString& title() const { return m_title; }
    int helpContext() const { return m_helpContext; }

    virtual bool HasGraphs() const { return false; }
    virtual void GetPageGraphs(PageGraphs&) const {}
    // Graph pages keep their graphs' trace and axis choices in the block.
    virtual void SaveGraphSettings(GraphSettings&, char /*dattyp*/) const {}

private:
    QString m_title;
    int m_helpContext;
};

} // namespace nosk
