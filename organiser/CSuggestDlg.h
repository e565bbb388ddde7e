#pragma once

#include "Suggest.h"

#include <QDialog>

#include <complex>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QThread;

namespace nosk {

// "Suggest circuits": fits the candidate circuits to one spectrum on a thread
// of its own (the window stays live, a busy bar runs), then lists them
// ranked: rank (a tie marked "= #k"), circuit, definition, S, sigma_f, BIC,
// AIC, the parameters undetermined or at a bound and the reason. The
// selected candidate's definition and reason in full, and its parameters,
// are shown below the list. "Use this
// circuit" or a double click on a candidate closes the dialog accepted with
// that candidate chosen.
//
// The suggestion cannot be interrupted once it has begun: Cancel while it
// runs says so and closes the dialog as soon as the fits under way end; their
// result is dropped.
class CSuggestDlg : public QDialog {
    Q_OBJECT
public:
    CSuggestDlg(std::vector<double> frequencyHz, std::vector<std::complex<double>> z, const QString& spectrum,
                QWidget* parent = nullptr);
    ~CSuggestDlg() override;

    // Whether the suggestion has ended (with candidates or an error).
    bool finished() const { return m_finished; }
    // Why the suggestion failed (too few points...), when the dialog closed
    // by itself at once; empty when it did not.
    const std::string& error() const { return m_error; }
    const suggest::Result& result() const { return m_result; }
    // The candidate selected, nullptr when none.
    const suggest::Ranked* chosen() const;
    // Selects the candidate of `rank` (from 0).
    void selectRank(int rank);

    QTableWidget* candidateTable() const { return m_candidates; }
    QTableWidget* parameterTable() const { return m_parameters; }
    QPushButton* useButton() const { return m_use; }
    QPushButton* cancelButton() const { return m_cancel; }

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showResult();
    void showParameters();

    struct Work;
    std::shared_ptr<Work> m_work;
    QThread* m_thread = nullptr;
    bool m_finished = false;
    bool m_cancelled = false;
    std::string m_error;
    suggest::Result m_result;

    QLabel* m_summary = nullptr;
    QLabel* m_detail = nullptr;
    QProgressBar* m_busy = nullptr;
    QTableWidget* m_candidates = nullptr;
    QTableWidget* m_parameters = nullptr;
    QPushButton* m_use = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace nosk
