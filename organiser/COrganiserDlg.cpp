#include "COrganiserDlg.h"

#include "Analyses.h"
#include "CDEExamplesDlg.h"
#include "CDataLinesPage.h"
#include "CFitOptionsPage.h"
#include "CTextEditorDlg.h"
#include "EngineRunner.h"
#include "core/Prompt.h"
#include "core/RunCommand.h"
#include "core/WorkFolderFiles.h"
#include "platform/DialogRunner.h"
#include "platform/FileWatch.h"
#include "platform/Help.h"
#include "platform/Timer.h"
#include "ui/BoldFont.h"
#include "ui/CAboutDlg.h"
#include "ui/CPageTab.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOption>
#include <QVBoxLayout>

namespace nosk {


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
    m_circuitsWatch = std::make_unique<FileWatch>(workfiles::kCircuits, [this] { m_fitPage->circuitsChanged(); });
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
    for (const analyses::Analysis& analysis : analyses::all()) {
        QAction* a = run->addAction(QString::fromUtf8(analysis.menuText));
        connect(a, &QAction::triggered, this,
                [this, &analysis] { runCommand(m_prompt, [&] { onRunAnalysis(analysis); }); });
    }
    add(run, "Fit &series...", &COrganiserDlg::onFitSeries);
    add(run, "Suggest circuits...", &COrganiserDlg::onSuggestCircuits);
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

void COrganiserDlg::dataReplaced()
{
    // What the last run said is of other data now.
    setStatus(m_job.M > 0 ? QStringLiteral("%1 data lines in the job, not fitted yet.").arg(m_job.M) : QString());
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

void COrganiserDlg::reject()
{
    // What the boxes show counts as the job (jobState); Save stores them and
    // a box the job cannot take keeps the window open.
    bool mayClose = false;
    runCommand(m_prompt, [&] { mayClose = maySetJobAside("Save the changes before closing?"); });
    if (mayClose)
        QDialog::reject();
}

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

} // namespace nosk
