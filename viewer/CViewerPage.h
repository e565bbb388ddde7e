#pragma once

#include "ui/CTabPage.h"

#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class QPainter;
class QRect;

namespace nosk {

class CZuGraph;
class Prompt;
struct GraphSettings;

// What a page hands to printing and image export: up to four graphs with the
// texts of their group boxes as titles.
struct PageGraphs {
    std::array<CZuGraph*, 4> graphs{};
    std::array<QString, 4> titles;
    // The colour key printed and exported under the graphs (what the page
    // says beside its graph on screen): a short line in each colour, dotted
    // or solid, and what it stands for.
    struct KeyEntry {
        std::uint32_t color;  // colour ref, red in the low byte
        bool dotted;
        QString text;
    };
    std::vector<KeyEntry> key;
    int count() const
    {
        int n = 0;
        for (auto* g : graphs)
            n += g != nullptr;
        return n;
    }
};

// A page of the viewer's tab control: its title is the tab caption, its help
// context the topic F1 opens while the page is shown.
class CViewerPage : public CTabPage {
    Q_OBJECT
public:
    CViewerPage(const QString& title, int helpContext, QWidget* parent = nullptr)
        : CTabPage(title, helpContext, parent) {}

    virtual bool HasGraphs() const { return false; }
    virtual void GetPageGraphs(PageGraphs&) const {}
    // A page that draws its picture itself, without the chart control,
    // prints and exports that picture: its size for an image (empty for a
    // page of graphs) and the drawing into an area of any size.
    virtual QSize ownPictureSize() const { return {}; }
    virtual void drawOwnPicture(QPainter&, const QRect&) const {}
    // Graph pages keep their graphs' trace and axis choices in the block.
    virtual void SaveGraphSettings(GraphSettings&, char /*dattyp*/) const {}

    // The program's prompt: the graphs of the page ask and report through it
    // (colour chooser, "Please enter a number.", printing failures).
    void setPrompt(Prompt* prompt) { m_prompt = prompt; }
    Prompt* prompt() const { return m_prompt; }

private:
    Prompt* m_prompt = nullptr;
};

} // namespace nosk
