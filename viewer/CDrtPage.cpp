#include "CDrtPage.h"

#include "AnalysisPages.h"
#include "FittedCircuitDrt.h"
#include "GraphPageSupport.h"
#include "ViewerRun.h"
#include "CZuAxis.h"
#include "CZuAxisLabel.h"
#include "CZuGraph.h"
#include "analysis/drt/Drt.h"

#include <QGroupBox>
#include <QLabel>

#include <cstdio>
#include <sstream>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;    // colour refs: red in the low byte
constexpr std::uint32_t kBlue = 0xC00000;
constexpr std::uint32_t kGrey = 0xA0A0A0;
constexpr std::uint32_t kGreen = 0x009000;
// The parts of the fitted circuit, dotted, with the names the note gives them.
struct PartColor {
    std::uint32_t color;
    const char* name;
};
constexpr PartColor kPartColors[] = {{0x0070E0, "orange"}, {0xA000A0, "purple"}, {0x909000, "teal"},
                                     {0x204080, "brown"},  {0x8080FF, "pink"},   {0x606060, "dark grey"}};
constexpr int kPartColorCount = sizeof kPartColors / sizeof kPartColors[0];
}

CDrtPage::CDrtPage(int textHeight, const ViewerRun* run, QWidget* parent)
    : CSingleGraphPage(QString::fromLatin1(kTitle), kHelpId, textHeight, parent), m_run(run)
{
}

// The fitted circuit's DRT on the table's points: its total and, when it has
// more than one part, each part.
void CDrtPage::addModel()
{
    if (!m_run || !m_run->hasResults() || m_run->job().DATTYP != 'C' || m_tau.empty())
        return;
    // A transformation may have replaced CELCAP, which E elements and the
    // dielectric DEs need: the circuit is shown as it was fitted only.
    if (m_run->transformed()) {
        m_modelWhy = "shown for the run as loaded, before a data transformation";
        return;
    }
    const FittedCircuitDrt fitted = fittedCircuitDrt(m_run->job(), m_run->statistics());
    if (!fitted.available) {
        m_modelWhy = fitted.why;
        return;
    }
    const drt::CircuitDrt& d = fitted.drt;
    m_model.assign(m_tau.size(), 0.0);
    auto addPart = [&](const std::string& label, auto gamma) {
        std::vector<double> g;
        for (std::size_t i = 0; i < m_tau.size(); ++i) {
            g.push_back(gamma(m_tau[i]));
            m_model[i] += g.back();
        }
        m_parts.push_back(std::move(g));
        m_partLabels.push_back(label);
    };
    for (const drt::CircuitPart& part : d.parts)
        m_modelHasLines = m_modelHasLines || !part.lines.empty();
    for (const drt::CircuitPart& part : d.parts)
        addPart(part.label, [&](double t) { return part.gamma(t, drt::kLineWidth); });
    if (d.hasNumerical) {
        std::string label = "numerical DRT of ";
        for (std::size_t i = 0; i < d.numericalElements.size(); ++i)
            label += (i ? "; " : "") + d.numericalElements[i];
        addPart(label, [&](double t) { return drt::gammaAt(d.numerical, t); });
    } else if (!d.numericalElements.empty()) {
        m_modelWhy = "no curve for " + d.numericalElements.front();
    }
    if (m_parts.empty()) {
        m_model.clear();
        if (m_modelWhy.empty())
            m_modelWhy = "the circuit has no relaxation (only series R, L and C)";
    }
}

QString CDrtPage::modelNote() const
{
    if (m_model.empty())
        return m_run && m_run->hasResults() && !m_modelWhy.empty()
                   ? QStringLiteral("No DRT of the fitted circuit: ") + QString::fromStdString(m_modelWhy) + QStringLiteral(".")
                   : QString();
    QString note = m_modelHasLines ? QStringLiteral("Green: the fitted circuit's DRT (its lines drawn a third of a decade wide)")
                                   : QStringLiteral("Green: the fitted circuit's DRT");
    if (m_parts.size() > 1) {
        note += QStringLiteral("; dotted:");
        for (std::size_t i = 0; i < m_partLabels.size(); ++i)
            note += QStringLiteral(" ") + QString::fromLatin1(kPartColors[i % kPartColorCount].name) +
                    QStringLiteral(" ") + QString::fromStdString(m_partLabels[i]) +
                    (i + 1 < m_partLabels.size() ? QStringLiteral(";") : QStringLiteral("."));
    } else {
        note += QStringLiteral(": ") + QString::fromStdString(m_partLabels.front()) + QStringLiteral(".");
    }
    return note;
}

void CDrtPage::onLegend()
{
    showLegend(*graph(), groupBox()->title(), graph()->axisY()->GetTitleWindow()->text(),
               QStringLiteral("DRT of the data"), QStringLiteral("DRT of the fitted circuit"));
}

void CDrtPage::build()
{
    std::istringstream in(readTableFile(kTableFile));
    const drt::Table table = drt::readTable(in);
    m_tau = table.tau;
    m_gamma = table.gamma;
    m_low = table.bandLow;
    m_high = table.bandHigh;
    for (const drt::Peak& p : table.peaks) {
        m_peakTau.push_back(p.tau);
        m_peakGamma.push_back(p.gamma);
    }

    // The table keeps the measured range of its data: compared with the run's
    // data, it tells whether the fitted circuit belongs beside this DRT.
    const std::optional<origin::Span> span = origin::spanOfDrtRange(table.tauMin, table.tauMax);
    const TableSpectrum spectrum = tableSpectrum(kTableFile, m_run, span, [&](const std::vector<double>& runHz) {
        return origin::sameRange(*span, runHz);
    });
    if (spectrum.same.value_or(true))
        addModel();
    else
        m_modelWhy = "this DRT belongs to another spectrum than the run's";

    char caption[200];
    std::snprintf(caption, sizeof caption, "Distribution of relaxation times: lambda = %.3g, R_inf = %.4g Ohm, %zu peak%s%s",
                  table.lambda, table.seriesResistance, table.peaks.size(), table.peaks.size() == 1 ? "" : "s",
                  m_model.empty() ? "" : "; the fitted circuit in green");
    // The legend names the data's and the circuit's curves (the first two traces).
    createGraph(QString::fromLatin1(caption), 13, !m_model.empty());
    CZuGraph* g = graph();
    connect(g, &CZuGraph::graphClose, this, [this](int, CZuGraph*) { onLegend(); });
    showOrigin(spectrum.which, spectrum.same);
    m_note = new QLabel(modelNote(), this);
    m_note->setWordWrap(true);
    m_note->setVisible(!m_note->text().isEmpty());
    g->axisX()->logScale() = 1;
    const int n = static_cast<int>(m_tau.size());
    if (n > 0) {
        g->AddTrace(m_tau.data(), m_gamma.data(), n, StyleLine, kBlue);
        g->nameLastTrace(QStringLiteral("DRT of the data"));
        if (!m_model.empty()) {
            g->AddTrace(m_tau.data(), m_model.data(), n, StyleLine, kGreen);
            g->nameLastTrace(QStringLiteral("DRT of the fitted circuit"));
            // Wide, so that a part that makes up the whole over a range shows
            // its dots along the green line instead of vanishing into it.
            g->widenLastTrace(2);
            if (m_parts.size() > 1) {
                for (std::size_t i = 0; i < m_parts.size(); ++i) {
                    g->AddTrace(m_tau.data(), m_parts[i].data(), n, StyleLine | StyleDash,
                                      kPartColors[i % kPartColorCount].color);
                    g->nameLastTrace(QString::fromStdString(m_partLabels[i]));
                }
            }
        }
        if (!m_low.empty()) {
            g->AddTrace(m_tau.data(), m_low.data(), n, StyleLine, kGrey);
            g->AddTrace(m_tau.data(), m_high.data(), n, StyleLine, kGrey);
        }
        if (!m_peakTau.empty())
            g->AddTrace(m_peakTau.data(), m_peakGamma.data(), static_cast<int>(m_peakTau.size()), StyleCross,
                              kRed);
    }
    QString yTitle = m_model.empty() ? QStringLiteral("gamma, Ohm (") : QStringLiteral("gamma, Ohm (blue: data, green: fitted circuit, ");
    if (!m_low.empty())
        yTitle += QStringLiteral("grey: 95 % credible band, ");
    finishGraph(QStringLiteral("tau, s"), yTitle + QStringLiteral("red: peaks)"));
}

void CDrtPage::GetPageGraphs(PageGraphs& list) const
{
    CSingleGraphPage::GetPageGraphs(list);
    if (m_tau.empty())
        return;
    list.key.push_back({kBlue, false, QStringLiteral("DRT of the data")});
    if (!m_model.empty()) {
        list.key.push_back({kGreen, false, QStringLiteral("DRT of the fitted circuit")});
        if (m_parts.size() > 1)
            for (std::size_t i = 0; i < m_parts.size(); ++i)
                list.key.push_back({kPartColors[i % kPartColorCount].color, true, QString::fromStdString(m_partLabels[i])});
    }
    if (!m_low.empty())
        list.key.push_back({kGrey, false, QStringLiteral("95 % credible band")});
    if (!m_peakTau.empty())
        list.key.push_back({kRed, false, QStringLiteral("peaks (crosses)")});
}

// The note on the circuit's parts under the graph, inside the group.
int CDrtPage::layoutBelowGraph(const QRect& area)
{
    if (!m_note || !m_note->isVisible())
        return 0;
    int noteHeight = m_note->heightForWidth(area.width() - 20);
    if (noteHeight <= 0)
        noteHeight = textHeight();
    m_note->setGeometry(area.left() + 10, area.bottom() - 6 - noteHeight, area.width() - 20, noteHeight);
    return noteHeight + 6;
}

} // namespace nosk
