#include "COrganiserDlg.h"

#include "CDEExamplesDlg.h"
#include "CDataLinesPage.h"
#include "CFitOptionsPage.h"
#include "COptionsDlg.h"
#include "CTextEditorDlg.h"
#include "EngineLaunch.h"
#include "ops/DrtRun.h"
#include "ops/KramersKronigRun.h"
#include "ops/ZhitRun.h"
#include "EngineRunner.h"
#include "RunSequence.h"
#include "FrontPage.h"
#include "EngineOutputs.h"
#include "Locations.h"
#include "core/WorkFolderLock.h"
#include "ops/DataExport.h"
#include "ops/DataSheetImport.h"
#include "ops/FrequencyConversion.h"
#include "ops/OutputSummary.h"
#include "ops/RunReport.h"
#include "ops/InstrumentImport.h"
#include "ops/SolartronImport.h"
#include "ops/TextFileHandler.h"
#include "CSelectImpedanceDlg.h"
#include "CSelectSpectrumDlg.h"
#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"
#include "core/Prompt.h"
#include "core/RunCommand.h"
#include "platform/DialogRunner.h"
#include "platform/FileWatch.h"
#include "platform/Help.h"
#include "platform/Notification.h"
#include "platform/Platform.h"
#include "platform/Printing.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/Timer.h"
#include "ui/BoldFont.h"
#include "ui/CAboutDlg.h"
#include "ui/CPageTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOption>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nosk {
namespace {

constexpr const char* kProgram = "NOSKRUN";

FileRequest allFiles(const std::string& title = {})
{
    FileRequest r;
    r.title = title;
    r.filters = {{"All files (*.*)", "*.*"}};
    return r;
}

// Whether a line is a row of numbers as a data sheet holds them (at least
// two, between blanks, tabs, commas or semicolons).
bool isNumberRow(const std::string& line)
{
    std::string t = line;
    for (char& c : t)
        if (c == ',' || c == ';' || c == '\t' || c == '\r')
            c = ' ';
    std::istringstream in(t);
    std::string field;
    int count = 0;
    while (in >> field) {
        if (!readNumber(field, kSheetField))
            return false;
        ++count;
    }
    return count >= 2;
}

// A file of data columns rather than a job: its second and third lines (not
// counting empty ones) are rows of numbers. A job's second line holds its
// code letters.
bool looksLikeDataSheet(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::vector<std::string> lines;
    while (lines.size() < 3 && lines::nextLine(in, line))
        if (line.find_first_not_of(" \t") != std::string::npos)
            lines.push_back(line);
    return lines.size() == 3 && isNumberRow(lines[1]) && isNumberRow(lines[2]);
}

// The print and view steps of the output summary: through the temporary copy.
class TempCopyHandler : public TextFileHandler {
public:
    explicit TempCopyHandler(COrganiserDlg& window) : m_window(window) {}
    void print(const std::string& path) override { m_window.PrintViaTempCopy(path, true); }
    void view(const std::string& path) override { m_window.PrintViaTempCopy(path, false); }

private:
    COrganiserDlg& m_window;
};

} // namespace

// "Select impedance" over the window.
class COrganiserDlg::DialogBlockChooser : public ImpedanceBlockChooser {
public:
    explicit DialogBlockChooser(COrganiserDlg& window) : m_window(window) {}
    std::optional<int> chooseBlock(const SolartronFile& file) override
    {
        CSelectImpedanceDlg dlg(file, &m_window);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedBlock() < 0)
            return std::nullopt;
        return dlg.selectedBlock();
    }

private:
    COrganiserDlg& m_window;
};

COrganiserDlg::COrganiserDlg(Prompt& prompt, RunOptions& options, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_options(options),
      m_runner(std::make_unique<EngineRunner>(std::make_unique<QtTimer>()))
{
    setCurrentFile(QString::fromLatin1(kProgram), std::string());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    m_boldFont = boldFont(font());
    m_runner->onProgress = [this] { setStatus(QString::fromStdString(m_runner->runningStatus())); };
    m_runner->onEnd = [this](const RunEnd& end) { finishRun(end); };

    buildMenu();

    m_tab = new CPageTab(this);
    // The tab captions are bold; the pages keep the window's own font.
    m_tab->tabBar()->setFont(m_boldFont);
    m_fitPage = new CFitOptionsPage(&m_job, m_prompt, m_boldFont);
    m_dataPage = new CDataLinesPage(&m_job, m_prompt, m_boldFont);
    m_tab->addPage(m_fitPage);
    m_tab->addPage(m_dataPage);
    m_tab->showPage(0);

    connect(m_fitPage, &CFitOptionsPage::levelChanged, m_dataPage, &CDataLinesPage::showLevelCaption);
    connect(m_fitPage, &CFitOptionsPage::formatChanged, m_dataPage, &CDataLinesPage::renameColumns);
    connect(m_fitPage, &CFitOptionsPage::weightingChanged, m_dataPage, &CDataLinesPage::rebuild);
    connect(m_dataPage, &CDataLinesPage::dataPointsChanged, m_fitPage, &CFitOptionsPage::showDataPoints);
    connect(m_dataPage, &CDataLinesPage::celcapChanged, m_fitPage, &CFitOptionsPage::showCelcap);

    m_runButton = new QPushButton(QStringLiteral("SAVE AND RUN"));
    m_editorButton = new QPushButton(QStringLiteral("Advanced editor..."));
    m_loadButton = new QPushButton(QStringLiteral("Load TST..."));
    m_exitButton = new QPushButton(QStringLiteral("E&xit"));
    m_runButton->setDefault(true);
    for (QPushButton* b : {m_editorButton, m_loadButton, m_exitButton})
        b->setAutoDefault(false);
    auto command = [this](QPushButton* button, void (COrganiserDlg::*slot)()) {
        connect(button, &QPushButton::clicked, this, [this, slot] { runCommand(m_prompt, [&] { (this->*slot)(); }); });
    };
    command(m_runButton, &COrganiserDlg::onSaveAndRun);
    command(m_editorButton, &COrganiserDlg::onOpenEditor);
    command(m_loadButton, &COrganiserDlg::onLoadTst);
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_runButton);
    buttons->addStretch();
    buttons->addWidget(m_editorButton);
    buttons->addWidget(m_loadButton);
    buttons->addWidget(m_exitButton);
    // The status line: what the last command or run did.
    m_status = new QLabel;
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_busy = new QProgressBar;
    m_busy->setRange(0, 0);
    m_busy->setMaximumWidth(120);
    m_busy->setMaximumHeight(m_status->sizeHint().height());
    m_busy->setTextVisible(false);
    m_busy->hide();
    auto* statusLine = new QHBoxLayout;
    statusLine->addWidget(m_busy);
    statusLine->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(m_tab, 1);
    layout->addLayout(buttons);
    layout->addLayout(statusLine);

    loadFromJob();
    markUnchanged();
    m_circuitsWatch = std::make_unique<FileWatch>("CIRCUITS", [this] { m_fitPage->circuitsChanged(); });
}

COrganiserDlg::~COrganiserDlg()
{
    // The editor goes with the window and takes its temporary file with it.
    delete m_editor.data();
    // A running engine is left to finish on its own (the runner stops its
    // timer).
}

void COrganiserDlg::buildMenu()
{
    m_menuBar = new QMenuBar(this);
    auto add = [this](QMenu* menu, const char* text, void (COrganiserDlg::*slot)()) {
        QAction* a = menu->addAction(QString::fromLatin1(text));
        connect(a, &QAction::triggered, this, [this, slot] { runCommand(m_prompt, [&] { (this->*slot)(); }); });
        return a;
    };
    QMenu* file = m_menuBar->addMenu(QStringLiteral("&File"));
    add(file, "&New", &COrganiserDlg::onFileNew)->setShortcut(QKeySequence::New);
    add(file, "&Load TST...", &COrganiserDlg::onLoadTst)->setShortcut(QKeySequence::Open);
    add(file, "Lo&ad TMP...", &COrganiserDlg::onLoadTmp);
    add(file, "Loa&d OUTIN", &COrganiserDlg::onLoadOutin);
    add(file, "Load INF&L", &COrganiserDlg::onLoadInfl);
    file->addSeparator();
    add(file, "Save TST &as...", &COrganiserDlg::onSaveTstAs)->setShortcut(QKeySequence::SaveAs);
    add(file, "Save &INFL", &COrganiserDlg::onSaveInfl);
    add(file, "Export data...", &COrganiserDlg::onExportData);
    file->addSeparator();
    add(file, "&Clear Directory", &COrganiserDlg::onClearDirectory);
    add(file, "&Options...", &COrganiserDlg::onProgramOptions);
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("&Exit"));
    exit->setShortcut(QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QDialog::reject);

    QMenu* run = m_menuBar->addMenu(QStringLiteral("&Run"));
    add(run, "Save and &Run", &COrganiserDlg::onSaveAndRun);
    m_stopAction = add(run, "Stop fit", &COrganiserDlg::onStopFit);
    m_stopAction->setEnabled(false);
    add(run, "&Guess start values", &COrganiserDlg::onGuessStartValues);
    add(run, "&Kramers-Kronig test...", &COrganiserDlg::onKramersKronigTest);
    add(run, "&Z-HIT test...", &COrganiserDlg::onZhitTest);
    add(run, "&DRT...", &COrganiserDlg::onDistributionOfRelaxationTimes);
    add(run, "Launch &NOSKVIEW", &COrganiserDlg::onLaunchViewer);
    add(run, "&Open work folder", &COrganiserDlg::onOpenWorkFolder);
    run->addSeparator();
    add(run, "Generate report...", &COrganiserDlg::onGenerateReport);
    add(run, "&Print front page...", &COrganiserDlg::onPrintFrontPage);
    add(run, "Print PNTOUTL", &COrganiserDlg::onPrintPntoutl);
    add(run, "Print AUXPNTL", &COrganiserDlg::onPrintAuxpntl);
    add(run, "Print report", &COrganiserDlg::onPrintReport);
    add(run, "View report...", &COrganiserDlg::onViewReport);

    QMenu* data = m_menuBar->addMenu(QStringLiteral("&Data"));
    add(data, "&Load data from TST", &COrganiserDlg::onLoadDataFromTst);
    add(data, "L&oad data from ASCII", &COrganiserDlg::onLoadDataFromAscii);
    add(data, "Load data from &Solartron file", &COrganiserDlg::onLoadDataFromSolartron);
    add(data, "&Import instrument file...", &COrganiserDlg::onImportInstrumentFile);
    add(data, "Load weights from ASCII", &COrganiserDlg::onLoadWeights);
    data->addSeparator();
    add(data, "Convert frequency to angular", &COrganiserDlg::onConvertToAngular);
    add(data, "Convert frequency to ordinary", &COrganiserDlg::onConvertToOrdinary);

    QMenu* help = m_menuBar->addMenu(QStringLiteral("&Help"));
    add(help, "&Contents...", &COrganiserDlg::onHelpContents);
    add(help, "&Index...", &COrganiserDlg::onHelpIndex);
    add(help, "Model circuits help...", &COrganiserDlg::onCircuitsHelp);
    add(help, "DE help...", &COrganiserDlg::onDeHelp);
    add(help, "DE examples...", &COrganiserDlg::onDeExamples);
    help->addSeparator();
    add(help, "&About...", &COrganiserDlg::onAbout);
}

QAction* COrganiserDlg::action(const QString& text) const
{
    for (QAction* menu : m_menuBar->actions())
        if (menu->menu())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == text)
                    return a;
    return nullptr;
}

CTextEditorDlg* COrganiserDlg::editor() const
{
    return m_editor.data();
}

void COrganiserDlg::setTimer(std::unique_ptr<Timer> timer)
{
    m_runner->setTimer(std::move(timer));
}

Timer& COrganiserDlg::timer()
{
    return m_runner->timer();
}

bool COrganiserDlg::engineRunning() const
{
    return m_runner->running();
}

QString COrganiserDlg::statusText() const
{
    return m_status->text();
}

void COrganiserDlg::setStatus(const QString& text)
{
    m_status->setText(text);
}

void COrganiserDlg::setCurrentFile(const QString& title, const std::optional<std::string>& file)
{
    setWindowTitle(title);
    if (file)
        m_currentFileName = *file;
}

std::string COrganiserDlg::jobState() const
{
    std::string state = m_fitPage->stateText().toStdString();
    const FitJob& j = m_job;
    state += '\n' + std::to_string(j.M) + ' ' + std::to_string(j.IRCH) + ' ' + std::to_string(int(j.xVariable)) + ' ' +
             std::to_string(m_dataPage->negativeBox()->isChecked());
    // The grid writes into the arrays: their bytes.
    for (const FitJob::Column* c : {&j.FREQ, &j.DATA1, &j.DATA2, &j.WEIGHT1, &j.WEIGHT2}) {
        state += c->has_value() ? '|' : '-';
        if (*c)
            state.append(reinterpret_cast<const char*>((*c)->data()), (*c)->size() * sizeof(double));
    }
    return state;
}

void COrganiserDlg::markUnchanged()
{
    m_unchangedState = jobState();
}

void COrganiserDlg::jobOpened(bool fromFile)
{
    if (fromFile)
        m_jobIsNew = false;
    markUnchanged();
}

bool COrganiserDlg::jobChanged() const
{
    return jobState() != m_unchangedState;
}

bool COrganiserDlg::saveJob()
{
    std::string path = m_currentFileName;
    if (path.empty()) {
        auto chosen = m_prompt.saveFile(allFiles());
        if (!chosen)
            return false;
        path = *chosen;
    }
    if (!storeToJob())
        return false;
    if (!runCommand(m_prompt, [&] { m_job.save(path); }))
        return false;
    setCurrentFile(QString::fromStdString(path), path);
    markUnchanged();
    return true;
}

bool COrganiserDlg::maySetJobAside()
{
    if (!jobChanged())
        return true;
    const std::string name = m_currentFileName.empty() ? std::string("The job") : "The job " + m_currentFileName;
    switch (m_prompt.message(name + " has changed.\nSave the changes before opening another?", kProgram,
                             Buttons::SaveDiscardCancel, Icon::Question)) {
    case Answer::Yes: return saveJob();
    case Answer::No: return true;
    default: return false;
    }
}

void COrganiserDlg::loadFromJob()
{
    m_fitPage->LoadFromJob();
    m_dataPage->LoadFromJob();
}

bool COrganiserDlg::storeToJob()
{
    // Both pages store; the data page takes every box.
    const bool fitTaken = m_fitPage->StoreToJob();
    const bool dataTaken = m_dataPage->StoreToJob();
    return fitTaken && dataTaken;
}

void COrganiserDlg::showPage(int index)
{
    m_tab->showPage(index);
}

// ---------------------------------------------------------------- File menu

bool COrganiserDlg::loadIntoCopy(const std::string& path, bool headerOnly)
{
    // The job changes only when the whole file has been read: a failed load
    // leaves it as the pages show it.
    FitJob loaded = m_job;
    std::string failure;
    try {
        if (headerOnly)
            loaded.loadHeader(path);
        else
            loaded.load(path);
    } catch (const std::exception& e) {
        failure = failureText(e);
    }
    if (!failure.empty()) {
        if (looksLikeDataSheet(path))
            failure = "This looks like a data sheet: use Data \xE2\x86\x92 Load data from ASCII";
        m_prompt.message(failure, "ERROR", Buttons::Ok, Icon::Error);
        return false;
    }
    m_job = std::move(loaded);
    return true;
}

void COrganiserDlg::LoadJobFile(const std::string& path)
{
    if (!loadIntoCopy(path, false))
        return;
    loadFromJob();
    setCurrentFile(QString::fromStdString(path), path);
    m_jobIsNew = false;
    markUnchanged();
}

void COrganiserDlg::onFileNew()
{
    if (!maySetJobAside())
        return;
    m_job.clear();
    loadFromJob();
    setCurrentFile(QString::fromLatin1(kProgram), std::string());
    m_jobIsNew = true;
    markUnchanged();
}

namespace {

// Whether `inner` lies in `folder` or below it (both made absolute).
bool liesIn(const std::filesystem::path& inner, const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec);
    const fs::path b = fs::weakly_canonical(folder, ec);
    if (ec || b.empty())
        return false;
    return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

} // namespace

void COrganiserDlg::onLoadTst()
{
    auto path = m_prompt.openFile(allFiles());
    if (!path || !maySetJobAside())
        return;
    // An installed example (the file dialog's side bar leads there) opens
    // as a copy in the work folder, never in place.
    const std::string examples = locations::bundledExamplesDir();
    std::error_code ec;
    if (!examples.empty() && liesIn(*path, examples) && !liesIn(*path, std::filesystem::current_path(ec))) {
        openExample(*path);
        return;
    }
    LoadJobFile(*path);
}

void COrganiserDlg::onLoadTmp()
{
    auto path = m_prompt.openFile(allFiles());
    if (!path || !maySetJobAside())
        return;
    if (!loadIntoCopy(*path, true))
        return;
    setCurrentFile(QStringLiteral("TEMPLATE"), std::nullopt);
    loadFromJob();
    m_jobIsNew = false;
    markUnchanged();
}

bool COrganiserDlg::loadInto(const std::string& path, const char* title)
{
    if (!loadIntoCopy(path, false))
        return false;
    loadFromJob();
    setCurrentFile(QString::fromLatin1(title), std::string());
    m_jobIsNew = false;
    markUnchanged();
    return true;
}

void COrganiserDlg::afterInflReload()
{
    // The conversions have stored and reloaded INFL: as the Load INFL command.
    loadFromJob();
    setCurrentFile(QStringLiteral("INFL"), std::string());
    m_jobIsNew = false;
    markUnchanged();
}

void COrganiserDlg::showTextWindow(const std::string& path)
{
    // No desktop handler for text files: a read-only window of our own.
    auto* dlg = new QDialog(this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowTitle(QString::fromStdString(path));
    auto* text = new QPlainTextEdit(dlg);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    text->setFont(fixed);
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly))
        text->setPlainText(QString::fromLocal8Bit(file.readAll()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    (new QVBoxLayout(dlg))->addWidget(text);
    dlg->resize(720, 520);
    dlg->show();
}

void COrganiserDlg::onLoadOutin()
{
    loadInto("OUTIN", "OUTIN");
}

void COrganiserDlg::onLoadInfl()
{
    loadInto("INFL", "INFL");
}

void COrganiserDlg::onSaveTstAs()
{
    auto path = m_prompt.saveFile(allFiles());
    if (!path)
        return;
    if (!storeToJob())
        return;
    if (!runCommand(m_prompt, [&] { m_job.save(*path); }))
        return;
    setCurrentFile(QString::fromStdString(*path), *path);
    markUnchanged();
}

void COrganiserDlg::onSaveInfl()
{
    if (!storeToJob())
        return;
    runCommand(m_prompt, [&] { m_job.save("INFL"); });
}

void COrganiserDlg::onExportData()
{
    runCommand(m_prompt, [&] { nosk::exportData(m_job, m_prompt); });
}

void COrganiserDlg::onClearDirectory()
{
    // Never the files of a run that is under way (ours or another's).
    WorkFolderLock lock;
    std::string refusal;
    try {
        if (!lock.tryLock("noskrun (Clear Directory)"))
            refusal = lock.busyMessage();
    } catch (const nosk::exception& e) {  // NOSK.LOCK cannot be used
        refusal = e.what();
    }
    if (!refusal.empty()) {
        m_prompt.message(refusal, kProgram, Buttons::Ok, Icon::Warning);
        return;
    }
    ClearDirectory();
}

void COrganiserDlg::onProgramOptions()
{
    COptionsDlg dlg(m_options, this);
    runModal(dlg);
}

// ----------------------------------------------------------------- Run menu

// The window's part of the run sequence: keeping the last OUTIN, the
// options of the run, and the questions about which engine to run.
class COrganiserDlg::WindowRunFront : public run::RunFront {
public:
    explicit WindowRunFront(COrganiserDlg& dlg) : m_dlg(dlg) {}

    EngineRunner::Settings beforeStart() override;

    bool runBundledInstead(const StartFailure& failure) override
    {
        const std::string question = std::string(failure.what()) + "\n\nRun the bundled engine (" + failure.bundledEngine + ") instead?";
        return m_dlg.m_prompt.message(question, kProgram, Buttons::YesNo, Icon::Error) == Answer::Yes;
    }

private:
    COrganiserDlg& m_dlg;
};

EngineRunner::Settings COrganiserDlg::WindowRunFront::beforeStart()
{
    m_dlg.StoreOutin();
    const RunOptions& options = m_dlg.m_options;
    Prompt& prompt = m_dlg.m_prompt;
    EngineRunner::Settings settings;
    settings.closeEngineWindow = options.closeEngineWindow != 0;
    settings.terminal = run::terminalProgram();
    settings.loadOutinAfterRun = options.loadOutinAfterRun == 1;
    settings.starts = options.starts;
    settings.notifyViewer = options.notifyViewer == 1;
    // An engine of the work folder's own runs only when the user chose it.
    locations::LocalEngineChoice choice = locations::localEngineChoice();
    if (choice == locations::LocalEngineChoice::Ask) {
        const std::string question = "This work folder holds an engine of its own:\n" + locations::localEngine()
            + "\n\nRun it instead of the bundled engine? Run it only when you trust where it comes from: "
              "it runs with your rights. The answer is remembered for this file in this folder.";
        const bool use = prompt.message(question, kProgram, Buttons::YesNo, Icon::Question) == Answer::Yes;
        locations::rememberLocalEngineChoice(use);
        choice = use ? locations::LocalEngineChoice::Use : locations::LocalEngineChoice::Ignore;
    }
    if (choice == locations::LocalEngineChoice::Use)
        settings.program = locations::localEngine();
    return settings;
}

void COrganiserDlg::onSaveAndRun()
{
    if (m_runner->running()) {
        // One engine at a time: a second one would write into the same files.
        m_prompt.message("The fitting engine is still running!", kProgram, Buttons::Ok, Icon::Warning);
        return;
    }
    // A box the job cannot take stops the run; its message has been shown.
    if (!storeToJob())
        return;
    WindowRunFront front(*this);
    const run::StartOutcome outcome = run::startRun(*m_runner, m_job, front);
    using Step = run::StartOutcome::Step;
    switch (outcome.step) {
    case Step::Started:
        showRunning(true);
        setStatus(QString::fromStdString(m_runner->runningStatus()));
        return;
    case Step::NotRunnable:
        m_prompt.message(outcome.message, kProgram, Buttons::Ok, Icon::Error);
        return;
    case Step::Refused:
        setStatus(QStringLiteral("The job was not run."));
        m_prompt.message(outcome.message, kProgram, Buttons::Ok, Icon::Error);
        return;
    case Step::NotWritten:
        m_prompt.message(outcome.message, "ERROR", Buttons::Ok, Icon::Error);
        return;
    case Step::NotStarted:
        m_prompt.message(outcome.message, kProgram, Buttons::Ok, Icon::Error);
        setStatus(QStringLiteral("The engine could not be started."));
        return;
    case Step::Declined:
        setStatus(QStringLiteral("The engine could not be started."));
        return;
    }
}

void COrganiserDlg::onStopFit()
{
    if (!m_runner->running())
        return;
    setStatus(QStringLiteral("Stopping the fit..."));
    m_runner->stop();
}

void COrganiserDlg::StoreOutin()
{
    if (m_options.promptStoreOutin == 0)
        return;
    std::error_code ec;
    if (!std::filesystem::exists("OUTIN", ec))
        return;
    FileRequest r = allFiles("Store OUTIN file");
    r.initialName = "OUTIN.OLD";
    auto path = m_prompt.saveFile(r);
    if (path)
        copyFileReplacing("OUTIN", *path);
}

void COrganiserDlg::showRunning(bool running)
{
    m_busy->setVisible(running);
    m_stopAction->setEnabled(running);
    if (running)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void COrganiserDlg::CheckEngine()
{
    m_runner->poll();
}

void COrganiserDlg::finishRun(const RunEnd& end)
{
    showRunning(false);
    setStatus(QString::fromStdString(end.parameters.empty() ? end.status
                                                             : end.status + ". Parameters: " + end.parameters));
    if (end.kind == RunEnd::Kind::Failed) {
        m_prompt.message(end.message, kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    if (end.kind == RunEnd::Kind::Finished && !end.message.empty())
        m_prompt.message(end.message, kProgram, Buttons::Ok, Icon::Warning);
    if (end.reloadOutin) {
        // The status line keeps what the run did.
        const QString status = statusText();
        onLoadOutin();
        setStatus(status);
    }
}

void COrganiserDlg::onLaunchViewer()
{
    ProcessSpec spec;
    spec.program = locations::viewerProgram();
    int error = 0;
    Platform::instance().processes().startDetached(spec, error);
}

void COrganiserDlg::onOpenWorkFolder()
{
    const std::string folder = QDir::currentPath().left(260).toStdString();
    // Without a file manager (no xdg-open) the user at least learns where
    // the files are.
    if (!Platform::instance().shell().open(folder))
        m_prompt.message("No file manager could be started.\nThe work folder is\n" + folder, kProgram,
                         Buttons::Ok, Icon::Information);
}

void COrganiserDlg::onGuessStartValues()
{
    if (!storeToJob())
        return;
    if (!run::runnable(m_job)) {
        m_prompt.message("Can not run this TEST configuration!", kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    // The job's free parameters get new start values; a job the engine
    // refuses ends in the command's error box with the engine's reason.
    const std::string summary = run::guessIntoJob(m_job);
    loadFromJob();
    setStatus(QString::fromStdString(summary));
    m_prompt.message(summary + "\n\nSAVE AND RUN fits from them.", "Guess start values", Buttons::Ok,
                     Icon::Information);
}

void COrganiserDlg::onKramersKronigTest()
{
    if (!storeToJob())
        return;
    // A failure (no complex data, data the test refuses, KKTEST not
    // writable) ends in the command's error box.
    const kkrun::Spectrum spectrum = kkrun::spectrumOf(m_job);
    const kk::Options options;
    const kk::Result result = kkrun::runAndWrite(spectrum, options, kkrun::kTableFile);
    m_prompt.message("Kramers-Kronig test of the job's data lines\n\n" + kkrun::summary(spectrum, result, options) +
                         "\nThe residuals are in KKTEST: NOSKVIEW shows them on its \"Kramers-Kronig\" page.",
                     "Kramers-Kronig test", Buttons::Ok, Icon::Information);
    if (m_options.notifyViewer == 1)
        Platform::instance().notifier().notifyViewers();
}

void COrganiserDlg::onZhitTest()
{
    if (!storeToJob())
        return;
    const kkrun::Spectrum spectrum = kkrun::spectrumOf(m_job);
    const zhit::Result result = zhitrun::runAndWrite(spectrum, zhitrun::kTableFile);
    m_prompt.message("Z-HIT test of the job's data lines\n\n" + zhitrun::summary(spectrum, result) +
                         "\nThe deviations are in ZHITTEST: NOSKVIEW shows them on its \"Z-HIT\" page.",
                     "Z-HIT test", Buttons::Ok, Icon::Information);
    if (m_options.notifyViewer == 1)
        Platform::instance().notifier().notifyViewers();
}

void COrganiserDlg::onGenerateReport()
{
    if (!storeToJob())
        return;
    runCommand(m_prompt, [&] { writeRunReport(m_job, m_prompt); });
}

void COrganiserDlg::PrintViaTempCopy(const std::string& file, bool print)
{
    Shell& shell = Platform::instance().shell();
    const std::string copy = shell.tempFolder() + "__NOSKRUN.TXT";
    std::error_code ec;  // a link loop under the name is no file, not a crash
    if (!std::filesystem::exists(file, ec) || !shell.copyFile(file, copy))
        return;
    if (print)
        shell.print(copy);
    else if (!shell.open(copy))
        showTextWindow(copy);
}

void COrganiserDlg::onPrintPntoutl()
{
    PrintViaTempCopy("PNTOUTL", true);
}

void COrganiserDlg::onPrintAuxpntl()
{
    if (!std::filesystem::exists("AUXPNTL")) {
        m_prompt.message("Cannot open file 'AUXPNTL'!", kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    PrintViaTempCopy("AUXPNTL", true);
}

void COrganiserDlg::onPrintReport()
{
    TempCopyHandler handler(*this);
    runCommand(m_prompt, [&] { writeOutputSummary(m_job, m_currentFileName, true, handler); });
}

void COrganiserDlg::onViewReport()
{
    TempCopyHandler handler(*this);
    runCommand(m_prompt, [&] { writeOutputSummary(m_job, m_currentFileName, false, handler); });
}

void COrganiserDlg::onPrintFrontPage()
{
    showPage(0);
    QImage page;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        page = monochromePage(m_fitPage->grab().toImage());
        QApplication::restoreOverrideCursor();
    }
    if (page.isNull())
        return;
    auto owned = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrinter* printer = owned.get();
    {
        QPrintDialog dialog(printer, this);
        dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize);
        if (runModal(dialog) != QDialog::Accepted)
            return;
    }
    printer->setDocName(QStringLiteral("Print Front page of NOSKRUN"));
    std::unique_ptr<QPrinter> pdfPrinter;
    QPainter painter;
    std::string pdf;
    if (const std::string failed = beginPrinting(painter, *printer); !failed.empty()) {
        // A PDF file that cannot be written is not a missing printer.
        if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
            m_prompt.message(failed, kProgram, Buttons::Ok, Icon::Error);
            return;
        }
        // No printer to print on: a PDF file instead, as the text files offer.
        if (m_prompt.message("No printer is available.\nPrint to File (PDF)?", kProgram, Buttons::YesNo,
                             Icon::Question) != Answer::Yes)
            return;
        FileRequest r;
        r.title = "Print to File (PDF)";
        r.filters = {{"PDF files (*.pdf)", "*.pdf"}};
        r.initialName = "frontpage.pdf";
        r.defaultExtension = "pdf";
        auto path = m_prompt.saveFile(r);
        if (!path)
            return;
        pdf = *path;
        // A printer of its own: the one that failed may stay busy.
        pdfPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
        pdfPrinter->setPageLayout(printer->pageLayout());
        pdfPrinter->setDocName(printer->docName());
        pdfPrinter->setOutputFormat(QPrinter::PdfFormat);
        // Written beside the file and renamed over it once complete.
        pdfPrinter->setOutputFileName(QString::fromStdString(pdf + ".part"));
        printer = pdfPrinter.get();
        if (const std::string failed = beginPrinting(painter, *printer); !failed.empty()) {
            m_prompt.message(failed, kProgram, Buttons::Ok, Icon::Error);
            return;
        }
    }
    const QRect area = printer->pageLayout().paintRectPixels(printer->resolution());
    QRect target = frontPageTarget(area.width(), area.height(), page.width(), page.height());
    painter.drawImage(target, page);
    painter.end();
    if (!pdf.empty()) {
        std::error_code ec;
        std::filesystem::rename(pdf + ".part", pdf, ec);
        if (ec) {
            std::filesystem::remove(pdf + ".part", ec);
            m_prompt.message("Cannot write file '" + pdf + "'!", kProgram, Buttons::Ok, Icon::Error);
            return;
        }
        setStatus(QString::fromStdString("Front page printed to " + pdf));
    }
}

// ---------------------------------------------------------------- Data menu

void COrganiserDlg::onLoadDataFromTst()
{
    auto path = m_prompt.openFile(FileRequest{});
    if (!path)
        return;
    FitJob source;
    try {
        source.load(*path);
    } catch (const std::exception&) {
        m_prompt.message("That's wrong TST file!", "ERROR", Buttons::Ok, Icon::Error);
        return;
    }
    m_job.copyDataFrom(source);
    loadFromJob();
}

void COrganiserDlg::onLoadDataFromAscii()
{
    runCommand(m_prompt, [&] { importDataSheet(m_job, m_prompt, [this] { loadFromJob(); }); });
}

void COrganiserDlg::onLoadDataFromSolartron()
{
    DialogBlockChooser chooser(*this);
    runCommand(m_prompt, [&] { importSolartron(m_job, m_prompt, chooser, [this] { loadFromJob(); }); });
}

// "Select spectrum" over the window, for a file that holds several.
class COrganiserDlg::DialogSpectrumChooser : public SpectrumChooser {
public:
    explicit DialogSpectrumChooser(COrganiserDlg& window) : m_window(window) {}
    std::optional<int> chooseSpectrum(const InstrumentFile& file, const std::string& path) override
    {
        CSelectSpectrumDlg dlg(file, path, &m_window);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedSpectrum() < 0)
            return std::nullopt;
        return dlg.selectedSpectrum();
    }

private:
    COrganiserDlg& m_window;
};

void COrganiserDlg::onImportInstrumentFile()
{
    DialogSpectrumChooser chooser(*this);
    // The boxes go into the job first, so that the refresh keeps what was
    // typed; a box the job cannot take stops the import before the refresh
    // puts the job's value back over it.
    if (!storeToJob())
        return;
    runCommand(m_prompt, [&] {
        if (importInstrument(m_job, m_prompt, chooser, [this] { loadFromJob(); }, m_jobIsNew))
            m_jobIsNew = false;
    });
}

void COrganiserDlg::onLoadWeights()
{
    runCommand(m_prompt, [&] { importWeights(m_job, m_prompt, [this] { loadFromJob(); }); });
}

void COrganiserDlg::onConvertToAngular()
{
    runCommand(m_prompt, [&] { nosk::convertToAngular(m_job, [this] { afterInflReload(); }); });
}

void COrganiserDlg::onConvertToOrdinary()
{
    runCommand(m_prompt, [&] { nosk::convertToOrdinary(m_job, [this] { afterInflReload(); }); });
}

// ---------------------------------------------------------------- Help menu

void COrganiserDlg::onHelpContents()
{
    openHelpContents();
}

void COrganiserDlg::onHelpIndex()
{
    openHelpIndex();
}

void COrganiserDlg::onCircuitsHelp()
{
    openHelpTopic(10050, Help::Window::Circ);
}

void COrganiserDlg::onDeHelp()
{
    openHelpTopic(10200);
}

void COrganiserDlg::onDeExamples()
{
    CDEExamplesDlg dlg(this);
    if (runModal(dlg) != QDialog::Accepted || dlg.examplePath().empty())
        return;
    if (!maySetJobAside())
        return;
    openExample(dlg.examplePath());
}

void COrganiserDlg::openExample(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path example = path;
    std::error_code ec;
    const fs::path work = fs::weakly_canonical(fs::current_path(ec), ec);
    const fs::path parent = fs::weakly_canonical(example, ec).parent_path();
    // An example of the work folder opens in place; an installed one is
    // copied into the work folder first, so that a Save never writes into
    // the installation.
    if (!ec && std::mismatch(work.begin(), work.end(), parent.begin(), parent.end()).first == work.end()) {
        LoadJobFile(example.string());
        return;
    }
    const fs::path copy = work / example.filename();
    if (fs::exists(copy, ec)) {
        const std::string question = copy.filename().string()
            + " is already in the work folder.\nReplace it with the example?";
        if (m_prompt.message(question, kProgram, Buttons::YesNo, Icon::Question) != Answer::Yes)
            return;
    }
    const fs::path part = copy.string() + ".part";
    fs::copy_file(example, part, fs::copy_options::overwrite_existing, ec);
    // The copy is the user's: writable, whatever the installation's modes.
    if (!ec)
        fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    if (!ec)
        fs::rename(part, copy, ec);
    if (ec) {
        fs::remove(part, ec);
        m_prompt.message("Cannot write file '" + copy.string() + "'!", kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    LoadJobFile(copy.string());
}

AboutTexts COrganiserDlg::aboutTexts()
{
    AboutTexts t;
    t.title = QStringLiteral("About NOSKRUN");
    t.text = QStringLiteral("NOSKRUN Version %1\n\nThe run organiser of the NOSK "
                            "fitting programs:\nprepares a fit job, runs the "
                            "fitting engine\nand hands its results to NOSKVIEW.")
                 .arg(QStringLiteral(NOSK_VERSION));
    t.moreInfo = QStringLiteral("More info...");
    return t;
}

void COrganiserDlg::onAbout()
{
    CAboutDlg dlg(aboutTexts(), this);
    runModal(dlg);
}

// ------------------------------------------------------------------- Editor

void COrganiserDlg::onOpenEditor()
{
    if (m_editor) {
        m_editor->showNormal();
        m_editor->raise();
        m_editor->activateWindow();
        return;
    }
    if (!runCommand(m_prompt, [&] { m_job.saveWithSideFile(CTextEditorDlg::kTempFile); }))
        return;
    m_editor = new CTextEditorDlg(m_prompt, m_currentFileName,
                                  [this](const std::string& path) { LoadJobFile(path); }, this);
    m_editor->show();
}

// ------------------------------------------------------------------ Window

void COrganiserDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(10010);
        return;
    }
    QDialog::keyPressEvent(event);
}

void COrganiserDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // An etched edge around the client area.
    QPainter p(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(1, 1, -1, -1);
    frame.frameShape = QFrame::Box;
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = 1;
    frame.midLineWidth = 0;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &p, this);
}

void COrganiserDlg::onDistributionOfRelaxationTimes()
{
    if (!storeToJob())
        return;
    // As for the Kramers-Kronig test, a failure ends in the command's error box.
    const kkrun::Spectrum spectrum = kkrun::spectrumOf(m_job);
    drt::Options options;
    options.bandSamples = 1000;
    const drt::Result result = drtrun::runAndWrite(spectrum, options, drtrun::kTableFile);
    m_prompt.message("Distribution of relaxation times of the job's data lines\n\n" +
                         drtrun::summary(spectrum, result) +
                         "\nThe DRT is in the file DRT: NOSKVIEW shows it on its \"DRT\" page.",
                     "DRT", Buttons::Ok, Icon::Information);
    if (m_options.notifyViewer == 1)
        Platform::instance().notifier().notifyViewers();
}

} // namespace nosk
