// The organiser window's run commands: the engine's run, the analyses of
// the data lines, the viewer, and the printing and viewing of the results.
#include "COrganiserDlg.h"

#include "Analyses.h"
#include "CFitOptionsPage.h"
#include "EngineLaunch.h"
#include "EngineRunner.h"
#include "FrontPage.h"
#include "Locations.h"
#include "RunSequence.h"
#include "core/Prompt.h"
#include "core/RunCommand.h"
#include "core/WorkFolderFiles.h"
#include "job/DataStamp.h"
#include "ops/DrtRun.h"
#include "ops/KramersKronigRun.h"
#include "ops/OutputSummary.h"
#include "ops/RunReport.h"
#include "ops/TextFileHandler.h"
#include "platform/DialogRunner.h"
#include "platform/Notification.h"
#include "platform/Platform.h"
#include "platform/Printing.h"
#include "platform/Process.h"
#include "platform/Shell.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>

#include <filesystem>

namespace nosk {

namespace {

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
    if (!std::filesystem::exists(workfiles::kNextInput, ec))
        return;
    FileRequest r = allFiles("Store OUTIN file");
    r.initialName = "OUTIN.OLD";
    auto path = m_prompt.saveFile(r);
    if (path)
        copyFileReplacing(workfiles::kNextInput, *path);
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

std::string COrganiserDlg::spectrumName() const
{
    return nosk::spectrumName(m_job, m_currentFileName);
}

void COrganiserDlg::onRunAnalysis(const analyses::Analysis& analysis)
{
    if (!storeToJob())
        return;
    // A failure (no complex data, data the analysis refuses, its file not
    // writable) ends in the command's error box.
    const kkrun::Spectrum spectrum = kkrun::spectrumOf(m_job);
    analyses::Settings settings;
    settings.band = true;  // the window shows the DRT with its credible band
    settings.stamp = {dataChecksum(m_job), spectrumName()};
    const std::string summary = analysis.run(spectrum, settings);
    m_prompt.message(analyses::windowReport(analysis, summary), analysis.boxTitle, Buttons::Ok, Icon::Information);
    // A running viewer reloads and shows the new page.
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
    PrintViaTempCopy(workfiles::kReport, true);
}

void COrganiserDlg::onPrintAuxpntl()
{
    if (!std::filesystem::exists(workfiles::kTable)) {
        m_prompt.message("Cannot open file 'AUXPNTL'!", kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    PrintViaTempCopy(workfiles::kTable, true);
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

} // namespace nosk
