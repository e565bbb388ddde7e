#pragma once

#include "CSingleGraphPage.h"

#include <vector>

class QComboBox;

namespace nosk {

struct FitStatistics;

// "Profiles": after a run with profile intervals, S of the others' refit
// against the held value of one free parameter, chosen above the graph, with
// the interval's ends as vertical lines (none on a side that is not
// bounded).
class CProfilePage : public CSingleGraphPage {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Profiles";
    static constexpr int kHelpContext = 10032;  // described with "Numerical data"

    CProfilePage(const FitStatistics& statistics, int textHeight, QWidget* parent = nullptr);

    QComboBox* parameterBox() const { return m_choice; }
    // Shows the profile of the report's profile `index`.
    void showProfile(int index);
    const std::vector<double>& values() const { return m_x; }
    const std::vector<double>& sums() const { return m_s; }

protected:
    void build() override;

private:
    const FitStatistics& m_statistics;
    QComboBox* m_choice = nullptr;
    int m_index = 0;
    // The graph's traces point into these.
    std::vector<double> m_x, m_s, m_lowX, m_highX, m_edgeY;
};

} // namespace nosk
