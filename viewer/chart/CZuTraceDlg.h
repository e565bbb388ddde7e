#pragma once

#include "CZuHelpDialog.h"
#include "CZuPlot.h"

#include <vector>

class QComboBox;

namespace nosk {

class CZuColorBox;
class Prompt;

// "Properties of graph traces": pick a trace in the list, then its style
// (one of the eight named styles) and its colour. Every trace keeps its own
// style list and swatch while the dialog is open; OK applies all of them.
class CZuTraceDlg : public CZuHelpDialog {
    Q_OBJECT
public:
    CZuTraceDlg(CZuPlot::TraceList& traces, int helpContext, Prompt* prompt,
                QWidget* parent = nullptr);

    QComboBox* traceList() const { return m_traceList; }
    QComboBox* styleList(int i) const { return m_styleLists[size_t(i)]; }
    CZuColorBox* colorBox(int i) const { return m_colorBoxes[size_t(i)]; }
    int current() const { return m_current; }

public slots:
    void accept() override;

private:
    void selectTrace(int index);

    CZuPlot::TraceList& m_traces;
    QComboBox* m_traceList;
    std::vector<QComboBox*> m_styleLists;
    std::vector<CZuColorBox*> m_colorBoxes;
    int m_current = 0;
};

} // namespace nosk
