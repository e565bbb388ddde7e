#pragma once

#include "job/FitJob.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace nosk {

class Prompt;
class Timer;
class WorkFolderLock;
struct RunOptions;

// Run -> "Fit series...": the spectra of a series (files, folders, or one
// list file with their covariate), the covariate, and a role per free
// parameter of the window's job, which is the template (its circuit, start
// values, codes, limits and weighting). Run fits the series as
// `noskrun --series` does, on a thread of its own while the window stays
// live, holding the work folder's lock; then writes SERIES (the command's
// --json) and series.csv, both or neither, and closes. A fit cannot be
// stopped once it runs: the dialog says so and waits for its end. What it
// cannot fit is said in a message box with the command's words, and the
// dialog stays open with nothing written.
class CSeriesDlg : public QDialog {
    Q_OBJECT
public:
    CSeriesDlg(const FitJob& templ, Prompt& prompt, RunOptions& options, QWidget* parent = nullptr);
    ~CSeriesDlg() override;

    QListWidget* inputList() const { return m_inputs; }
    QComboBox* covariateBox() const { return m_covariate; }
    QTableWidget* parameterGrid() const { return m_grid; }
    // The role box of parameter `param` (from 0); nullptr for a fixed one.
    QComboBox* roleBox(int param) const;
    QPushButton* runButton() const { return m_run; }
    QLabel* statusLabel() const { return m_status; }

    void onAddFile();
    void onAddFolder();
    void onRemove();
    // Checks the choices, takes the work folder's lock and starts the fit;
    // after a message, nothing is started.
    void onRun();
    bool running() const { return m_thread.joinable(); }
    // Blocks until a running fit has ended and handles its end.
    void waitForEnd();
    // How the fit ended, for the window's status line (after accept()).
    const std::string& outcome() const { return m_outcome; }

    // The text that the covariate box shows for "the number in each name".
    static const char* const kFromNames;

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Work;
    void poll();
    void finish();
    void setBusy(bool busy);
    std::string covariateText() const;
    void storeChoices();
    void restoreChoices();

    FitJob m_template;
    Prompt& m_prompt;
    RunOptions& m_options;
    QListWidget* m_inputs = nullptr;
    QComboBox* m_covariate = nullptr;
    QTableWidget* m_grid = nullptr;
    std::vector<QComboBox*> m_roles;  // per parameter; nullptr for a fixed one
    QPushButton* m_run = nullptr;
    QPushButton* m_close = nullptr;
    QLabel* m_status = nullptr;
    std::unique_ptr<Timer> m_timer;
    std::unique_ptr<WorkFolderLock> m_lock;
    std::shared_ptr<Work> m_work;
    std::thread m_thread;
    std::string m_outcome;
};

} // namespace nosk
