#pragma once

#include "RunOptions.h"
#include "job/FitJob.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QImage;
class QLabel;
class QMenuBar;
class QPrinter;
class QProgressBar;
class QPushButton;

namespace nosk {

namespace analyses {
struct Analysis;
}
struct AboutTexts;
class CDataLinesPage;
class CFitOptionsPage;
class CPageTab;
class CTextEditorDlg;
class EngineRunner;
class FileWatch;
class Prompt;
struct FileRequest;
struct RunEnd;
class Timer;

// The organiser's main window: owns the one fit job, shows it on the
// "Fitting options" and "Data lines" pages, and carries the menu and the
// buttons through which every file, run, data, print and help command goes.
// The window, its menus and the help commands are COrganiserDlg.cpp; the run
// and analysis commands COrganiserDlgRun.cpp; the file and data commands
// COrganiserDlgFiles.cpp.
class COrganiserDlg : public QDialog {
    Q_OBJECT
public:
    COrganiserDlg(Prompt& prompt, RunOptions& options, QWidget* parent = nullptr);
    ~COrganiserDlg() override;

    // --- operations the commands share ---
    void LoadJobFile(const std::string& path);
    void loadFromJob();  // both pages
    // Both pages; false (after the message) when a box holds what the job
    // cannot take.
    [[nodiscard]] bool storeToJob();
    void showPage(int index);

    // --- File menu ---
    void onFileNew();
    void onLoadTst();
    void onLoadTmp();
    void onLoadOutin();
    void onLoadInfl();
    void onSaveTstAs();
    void onSaveInfl();
    void onExportData();
    void onClearDirectory();
    void onProgramOptions();

    // --- Run menu ---
    void onSaveAndRun();
    void onStopFit();
    void onLaunchViewer();
    // Run -> an analysis of the analysis table ("Kramers-Kronig test...",
    // "Z-HIT test...", "DRT..."): analyses the job's data lines, writes the
    // analysis' file and shows its summary; the DRT with its credible band.
    void onRunAnalysis(const analyses::Analysis& analysis);
    // Run -> "Guess start values": the free parameters' start values from
    // the data (run::guessIntoJob).
    void onGuessStartValues();
    // Run -> "Fit series...": the series dialog with the job as the
    // template; after a fit, the status line says how it ended and a
    // running viewer is told (COrganiserDlgSeries.cpp).
    void onFitSeries();
    // Run -> "Suggest circuits...": ranks candidate circuits for the job's
    // data (CSuggestDlg) and puts the one chosen into the job with
    // useSuggestedCircuit (COrganiserDlgSuggest.cpp).
    void onSuggestCircuits();
    // Writes `definition` into the work folder's CIRCUITS under a letter
    // the user agrees to and makes the job fit it from `values`, all free;
    // false when the user cancelled.
    bool useSuggestedCircuit(const std::string& label, const std::string& definition,
                             const std::vector<double>& values);
    void onOpenWorkFolder();
    void onGenerateReport();
    void onPrintFrontPage();
    void onPrintPntoutl();
    void onPrintAuxpntl();
    void onPrintReport();
    void onViewReport();

    // --- Data menu ---
    void onLoadDataFromTst();
    void onLoadDataFromAscii();
    void onLoadDataFromSolartron();
    void onImportInstrumentFile();
    void onLoadWeights();
    void onConvertToAngular();
    void onConvertToOrdinary();

    // --- Help menu ---
    void onHelpContents();
    void onHelpIndex();
    void onCircuitsHelp();
    void onDeHelp();
    void onDeExamples();
    void onAbout();
    // What the About box says.
    static AboutTexts aboutTexts();

    void onOpenEditor();

    // The watch timer's tick: shows the progress, and finishes the run once
    // the engine has ended.
    void CheckEngine();
    bool engineRunning() const;
    // The status line under the buttons: the run's progress and its end.
    QString statusText() const;

    // Copies a text file to the temporary folder as __NOSKRUN.TXT and prints
    // or shows the copy; nothing happens when the file cannot be copied.
    void PrintViaTempCopy(const std::string& file, bool print);

    // --- for the program and for tests ---
    FitJob& job() { return m_job; }
    // Whether the job as the pages show it differs from what was last
    // loaded, saved or started anew.
    bool jobChanged() const;
    // Before another job replaces a changed one, or the window closes: asks
    // Save / Discard / Cancel; false for Cancel or a save that did not happen.
    bool maySetJobAside(const char* question = "Save the changes before opening another?");
    // Whether nothing has been loaded into the job since the start or New
    // (an import then makes it ready to fit).
    bool jobIsNew() const { return m_jobIsNew; }
    // The job shown was put in from outside (a file named at start): it is
    // the unchanged state, and no longer new when it was read.
    void jobOpened(bool fromFile);
    const std::string& currentFileName() const { return m_currentFileName; }
    // How the analyses' tables name the job's data: its description, else
    // its file's name, else "the job's data lines".
    std::string spectrumName() const;
    // The one place that sets the window title and the current test file: a
    // file loaded or saved under its own name is both; New and the work files
    // (INFL, OUTIN, a file named at start) leave no current file; a template
    // (nothing for `file`) keeps it.
    void setCurrentFile(const QString& title, const std::optional<std::string>& file);
    CFitOptionsPage* fitOptionsPage() const { return m_fitPage; }
    CDataLinesPage* dataLinesPage() const { return m_dataPage; }
    CPageTab* pageTab() const { return m_tab; }
    CTextEditorDlg* editor() const;
    QMenuBar* menuBar() const { return m_menuBar; }
    // The menu entry with that text (as written, with its '&'); nullptr when none.
    QAction* action(const QString& text) const;
    QPushButton* runButton() const { return m_runButton; }
    QPushButton* editorButton() const { return m_editorButton; }
    QPushButton* loadButton() const { return m_loadButton; }
    QPushButton* exitButton() const { return m_exitButton; }

    // The engine's watch timer (a QtTimer unless a test sets its own).
    void setTimer(std::unique_ptr<Timer> timer);
    Timer& timer();
    FileWatch* circuitsWatch() const { return m_circuitsWatch.get(); }

    // Exit, the window's close button and Escape: the window closes only
    // once a changed job is saved or discarded.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr const char* kProgram = "NOSKRUN";
    // A file dialog that offers every file.
    static FileRequest allFiles(const std::string& title = {});
    // The dialogs of job files: job files first, then every file; they open
    // in the job's folder, else the folder last used for a job, else the
    // work folder (never the bundled examples).
    FileRequest jobFiles(const std::string& title = {}) const;
    // A job file was chosen in one of them.
    void rememberFolder(const std::string& path);

    class DialogBlockChooser;
    class DialogSpectrumChooser;
    class WindowRunFront;
    void buildMenu();
    bool loadInto(const std::string& path, const char* title);
    // Reads the file into a copy of the job and takes the copy when complete;
    // false after the message otherwise.
    bool loadIntoCopy(const std::string& path, bool headerOnly);
    void StoreOutin();
    void finishRun(const RunEnd& end);
    void showRunning(bool running);
    void setStatus(const QString& text);
    // After New, another job or new data lines: the status line no longer
    // speaks of the last run.
    void dataReplaced();
    void afterInflReload();
    void showTextWindow(const std::string& path);
    // The job as the pages and arrays hold it, compared by jobChanged.
    std::string jobState() const;
    void markUnchanged();
    // Copies an example job that lies outside the work folder into it (after
    // asking before replacing a file of that name) and loads the copy; one
    // inside it is loaded in place.
    void openExample(const std::string& path);
    // Saves the job under the current file name, or asks for one.
    bool saveJob();

    Prompt& m_prompt;
    RunOptions& m_options;
    FitJob m_job;
    std::string m_currentFileName;
    std::string m_lastFolder;
    std::string m_unchangedState;
    bool m_jobIsNew = true;
    QFont m_boldFont;

    CPageTab* m_tab = nullptr;
    CFitOptionsPage* m_fitPage = nullptr;
    CDataLinesPage* m_dataPage = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QPushButton* m_runButton = nullptr;
    QPushButton* m_editorButton = nullptr;
    QPushButton* m_loadButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QPointer<CTextEditorDlg> m_editor;

    QLabel* m_status = nullptr;
    QProgressBar* m_busy = nullptr;
    QAction* m_stopAction = nullptr;

    std::unique_ptr<EngineRunner> m_runner;
    // The work folder's circuit definitions, shown anew when they change.
    std::unique_ptr<FileWatch> m_circuitsWatch;
};

} // namespace nosk
