#pragma once

#include "CSingleGraphPage.h"
#include "core/WorkFolderFiles.h"

#include <QString>

#include <cstdint>

#include <string>
#include <vector>

class QLabel;

namespace nosk {

class ViewerRun;

// "DRT": the work folder's distribution of relaxation times (the table DRT
// of noskrun --drt or Run -> "DRT..."): gamma against tau on a logarithmic
// axis, the credible band when it was computed, the peaks marked. Prints and
// exports like the other graph pages. With a run whose circuit is known, the
// fitted circuit's own DRT beside it (green), each of its parts dotted: the
// closed forms of its elements, the numerical DRT of what has none.
class CDrtPage : public CSingleGraphPage {
    Q_OBJECT
public:
    static constexpr const workfiles::AnalysisOutput& kAnalysis = workfiles::analysis(workfiles::Analysis::Drt);
    static constexpr const char* kTitle = kAnalysis.pageTitle;
    static constexpr const char* kTableFile = kAnalysis.file;
    static constexpr int kHelpId = kAnalysis.pageHelpId;

    // `run`: the run whose model is drawn beside the data's DRT, or null.
    CDrtPage(int textHeight, const ViewerRun* run = nullptr, QWidget* parent = nullptr);

    int pointCount() const { return static_cast<int>(m_tau.size()); }
    int peakCount() const { return static_cast<int>(m_peakTau.size()); }
    // The fitted circuit's curve: its total, its parts and what they are.
    bool hasModel() const { return !m_model.empty(); }
    int modelPartCount() const { return static_cast<int>(m_parts.size()); }
    const std::vector<double>& modelGamma() const { return m_model; }
    const std::vector<std::string>& modelPartLabels() const { return m_partLabels; }
    QString modelNote() const;

    // The graph with its colour key, which prints and exports under it.
    void GetPageGraphs(PageGraphs& list) const override;

protected:
    void build() override;
    int layoutBelowGraph(const QRect& area) override;

private:
    void addModel();
    void onLegend();

    const ViewerRun* m_run;
    QLabel* m_note = nullptr;
    // The graph's traces point into these.
    std::vector<double> m_tau, m_gamma, m_low, m_high, m_peakTau, m_peakGamma;
    std::vector<double> m_model;
    std::vector<std::vector<double>> m_parts;
    std::vector<std::string> m_partLabels;
    std::vector<std::uint32_t> m_partColors;
    bool m_modelHasLines = false;
    std::string m_modelWhy;  // why there is no model curve
};

} // namespace nosk
