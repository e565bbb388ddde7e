#include "CZuTraceDlg.h"

#include "ChartMath.h"
#include "CZuColorBox.h"
#include "CZuTrace.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace nosk {

CZuTraceDlg::CZuTraceDlg(CZuPlot::TraceList& traces, int helpContext, Prompt* prompt,
                         QWidget* parent)
    : CZuHelpDialog(helpContext, parent), m_traces(traces)
{
    setWindowTitle(QStringLiteral("Properties of graph traces"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Traces: "), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Style: "), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Color: "), this), 0, 2);
    m_traceList = new QComboBox(this);
    grid->addWidget(m_traceList, 1, 0);

    const int side = m_traceList->sizeHint().height();
    for (size_t i = 0; i < m_traces.size(); ++i) {
        const QString& name = m_traces[i]->name();
        m_traceList->addItem(name.isEmpty() ? QString::asprintf("Trace %i", int(i) + 1) : name);
        auto* box = new CZuColorBox(m_traces[i]->color(), prompt, this);
        box->setFixedSize(side, side);
        box->hide();
        grid->addWidget(box, 1, 2);
        m_colorBoxes.push_back(box);
    }
    for (size_t j = 0; j < m_traces.size(); ++j) {
        auto* styles = new QComboBox(this);
        styles->setMaxVisibleItems(15);
        for (const NamedStyle& s : namedTraceStyles())
            styles->addItem(QString::fromLatin1(s.name), s.value);
        // A style that is none of the eight opens without a selection.
        styles->setCurrentIndex(namedStyleIndex(m_traces[j]->style()));
        styles->hide();
        grid->addWidget(styles, 1, 1);
        m_styleLists.push_back(styles);
    }
    if (!m_traces.empty()) {
        m_traceList->setCurrentIndex(0);
        m_colorBoxes[0]->show();
        m_styleLists[0]->show();
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    grid->addWidget(ok, 2, 0);
    grid->addWidget(cancel, 2, 2);
    connect(ok, &QPushButton::clicked, this, &CZuTraceDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CZuTraceDlg::reject);
    connect(m_traceList, &QComboBox::currentIndexChanged, this, &CZuTraceDlg::selectTrace);
}

void CZuTraceDlg::selectTrace(int index)
{
    if (index < 0 || size_t(index) >= m_traces.size())
        return;
    m_colorBoxes[size_t(m_current)]->hide();
    m_styleLists[size_t(m_current)]->hide();
    m_current = index;
    m_colorBoxes[size_t(m_current)]->show();
    m_styleLists[size_t(m_current)]->show();
}

void CZuTraceDlg::accept()
{
    for (size_t i = 0; i < m_traces.size(); ++i) {
        m_traces[i]->setColor(m_colorBoxes[i]->color());
        // A trace whose style was none of the eight keeps it unless the
        // user picked one.
        const int index = m_styleLists[i]->currentIndex();
        if (index >= 0)
            m_traces[i]->setStyle(m_styleLists[i]->itemData(index).toInt());
    }
    QDialog::accept();
}

} // namespace nosk
