#include "CViewerDlg.h"

#include "BmpFile.h"
#include "CComplexPlanePage.h"
#include "CFileTextPage.h"
#include "CGraphPage.h"
#include "AnalysisPages.h"
#include "CProfilePage.h"
#include "CRelativeResidualsPage.h"
#include "CSeriesPage.h"
#include "CStatisticsPage.h"
#include "ui/CAboutDlg.h"
#include "CTransformDlg.h"
#include "CXAxisTypeDlg.h"
#include "GraphSettings.h"
#include "PageComposer.h"
#include "ResultExport.h"
#include "ViewerTexts.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "core/RunCommand.h"
#include "core/WorkFolderFiles.h"
#include "model/ParameterNames.h"
#include "core/AtomicFileWriter.h"
#include "job/SideFile.h"
#include "platform/DialogRunner.h"
#include "platform/Printing.h"
#include "platform/Drawing.h"
#include "platform/FileWatch.h"
#include "platform/Help.h"
#include "results/FitStatistics.h"
#include "ui/CPageTab.h"

#include <QApplication>
#include <QBuffer>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <filesystem>
#include <cstdio>
#include <cstdlib>

namespace nosk {

namespace {
const char* kProgram = "NOSKVIEW";
}

CViewerDlg::CViewerDlg(GraphSettings& settings, Prompt& prompt, QWidget* parent, bool load)
    : QDialog(parent), m_settings(settings), m_prompt(prompt)
{
    setWindowTitle(QString::fromLatin1(kProgram));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    buildMenu();

    // The captions of the tabs and the group boxes of the pages are bold.
    m_boldFont = font();
    m_boldFont.setWeight(QFont::DemiBold);
    m_tabs = new CPageTab(this);
    m_tabs->tabBar()->setFont(m_boldFont);
    m_tabs->setFocusPolicy(Qt::StrongFocus);

    m_exit = new QPushButton(QStringLiteral("E&xit"), this);
    m_exit->setAutoDefault(false);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(m_tabs, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_exit);
    layout->addLayout(bottom);
    resize(1000, 720);

    m_reloadRetry = new QTimer(this);
    m_reloadRetry->setSingleShot(true);
    m_reloadRetry->setInterval(100);
    connect(m_reloadRetry, &QTimer::timeout, this, &CViewerDlg::runPendingReload);

    // The organiser says when a run ended; a series result written or
    // removed by anyone is seen here, so that the page is never of an
    // older one.
    m_seriesWatch = std::make_unique<FileWatch>(workfiles::kSeriesResult, [this] { onNotification(); });

    if (load)
        LoadRun(0);
}

CViewerDlg::~CViewerDlg()
{
    saveGraphSettings();
    destroyPages();
}

void CViewerDlg::buildMenu()
{
    m_menuBar = new QMenuBar(this);
    // Every command ends in an error box, never in an exception through the
    // event loop.
    auto add = [this](QMenu* menu, const char* text, void (CViewerDlg::*slot)()) {
        connect(menu->addAction(QString::fromLatin1(text)), &QAction::triggered, this,
                [this, slot] { runCommand(m_prompt, [&] { (this->*slot)(); }); });
    };
    QMenu* file = m_menuBar->addMenu(QStringLiteral("&File"));
    add(file, "Lo&ad Results...", &CViewerDlg::onLoadResults);
    file->addSeparator();
    add(file, "&Data transformation...", &CViewerDlg::onDataTransformation);
    add(file, "Select title for X Axis...", &CViewerDlg::onXAxisType);
    file->addSeparator();
    add(file, "&Print all graphs...", &CViewerDlg::onPrintAllGraphs);
    add(file, "&Save all graphs in image...", &CViewerDlg::onSaveAllGraphsInImage);
    file->addSeparator();
    add(file, "Export &parameters...", &CViewerDlg::onExportParameters);
    add(file, "Export da&ta...", &CViewerDlg::onExportData);
    file->addSeparator();
    add(file, "&Exit", &CViewerDlg::onExitMenu);

    QMenu* help = m_menuBar->addMenu(QStringLiteral("&Help"));
    add(help, "&Contents...", &CViewerDlg::onHelpContents);
    add(help, "&Index...", &CViewerDlg::onHelpIndex);
    help->addSeparator();
    add(help, "&About...", &CViewerDlg::onAbout);
}

int CViewerDlg::textHeight() const
{
    return QFontMetrics(font()).height();
}

void CViewerDlg::reportError(const char* text)
{
    m_prompt.message(text, kProgram, Buttons::Ok);
}

// ---- pages -----------------------------------------------------------------

void CViewerDlg::destroyPages()
{
    // The pages point into the display arrays: they go first.
    m_tabs->removeAllPages();
    for (CViewerPage* p : m_pages)
        delete p;
    m_pages.clear();
}

void CViewerDlg::addPage(CViewerPage* page)
{
    if (static_cast<int>(m_pages.size()) >= kMaxPages) {
        delete page;
        return;
    }
    page->setPrompt(&m_prompt);
    m_pages.push_back(page);
    m_tabs->addPage(page);
}

QString CViewerDlg::currentTitle() const
{
    const CViewerPage* p = currentPage();
    return p ? p->title() : QString();
}

void CViewerDlg::createPages(const QString& keep)
{
    const bool hasRun = m_run.hasResults();
    const char dattyp = hasRun ? m_run.job().DATTYP : 0;
    const bool graphs = dattyp == 'C' || dattyp == 'R' || dattyp == 'I';
    const bool fitPages = hasRun && m_run.isFit() && !m_run.transformed();
    const int lineHeight = textHeight();
    if (graphs)
        addPage(new CGraphPage(QStringLiteral("Graphics"), m_run, m_settings, fitPages, lineHeight));
    if (dattyp == 'C')
        addPage(new CComplexPlanePage(QStringLiteral("Complex-plane plot"), m_run, m_settings, lineHeight));
    if (fitPages && m_run.statistics())
        addPage(new CStatisticsPage(QStringLiteral("Numerical data"), *m_run.statistics()));
    // A run with profile intervals: the profile of one parameter at a time.
    if (fitPages && m_run.statistics() && !m_run.statistics()->profiles.empty())
        addPage(new CProfilePage(*m_run.statistics(), lineHeight + 12));
    // The analyses are about the data: each page is there whenever the work
    // folder holds its table, with or without a run.
    for (const workfiles::AnalysisOutput& analysis : workfiles::kAnalyses)
        if (std::filesystem::exists(analysis.file))
            addPage(createAnalysisPage(analysis.id, lineHeight, hasRun ? &m_run : nullptr));
    // A series fitted as one is about many spectra, with or without a run.
    if (std::filesystem::exists(workfiles::kSeriesResult))
        addPage(new CSeriesPage);
    if (hasRun) {
        addPage(new CFileTextPage(QString::fromLatin1(workfiles::kReport), fitPages ? 10036 : 0, m_prompt));
        addPage(new CFileTextPage(QString::fromLatin1(workfiles::kTable), fitPages ? 10027 : 0, m_prompt));
    }
    // The residuals in percent of |Z| of the model: the graph to judge a fit
    // of complex data by.
    if (fitPages && dattyp == 'C')
        addPage(new CRelativeResidualsPage(m_run, lineHeight));
    if (m_pages.empty())
        return;
    int shown = 0;
    for (int i = 0; i < pageCount(); ++i)
        if (!keep.isEmpty() && m_pages[std::size_t(i)]->title() == keep)
            shown = i;
    m_tabs->showPage(shown);
}

QStringList CViewerDlg::tabTitles() const
{
    QStringList t;
    for (int i = 0; i < m_tabs->count(); ++i)
        t << m_tabs->tabText(i);
    return t;
}

CViewerPage* CViewerDlg::page(int i) const
{
    return i >= 0 && i < pageCount() ? m_pages[i] : nullptr;
}

CViewerPage* CViewerDlg::pageByTitle(const QString& title) const
{
    for (CViewerPage* p : m_pages)
        if (p->title() == title)
            return p;
    return nullptr;
}

CViewerPage* CViewerDlg::currentPage() const
{
    return page(m_tabs->currentIndex());
}

void CViewerDlg::selectPage(int i)
{
    m_tabs->showPage(i);
}

void CViewerDlg::saveGraphSettings()
{
    if (m_run.hasResults())
        for (CViewerPage* p : m_pages)
            p->SaveGraphSettings(m_settings, m_run.job().DATTYP);
}

// ---- loading ---------------------------------------------------------------

bool CViewerDlg::LoadRun(int mode)
{
    m_loading = true;
    const QString keep = currentTitle();
    destroyPages();
    bool loaded = true;
    m_loadError.clear();
    try {
        m_run.load(mode, m_settings);
    } catch (const std::exception& e) {
        m_run.release();
        loaded = false;
        m_loadError = failureText(e);
        // No run to show (no INFL, or a stopped or failed fit left no
        // AUXPNTL) is no fault while an analysis' page or the series' has
        // something to show: those pages come alone, without a box.
        std::error_code ec;
        namespace fs = std::filesystem;
        const bool noRun = !fs::exists(workfiles::kInput, ec) || !fs::exists(workfiles::kTable, ec);
        if (!(noRun && (anyAnalysisTable() || fs::exists(workfiles::kSeriesResult, ec))))
            reportError(m_loadError.c_str());
    }
    // After a failed load only the analyses' and the series' pages can come:
    // they need no run.
    createPages(keep);
    m_loading = false;
    return loaded;
}

bool CViewerDlg::modalOpen() const
{
    const QWidget* modal = QApplication::activeModalWidget();
    return (modal && modal != this) || QApplication::activePopupWidget() != nullptr;
}

void CViewerDlg::onNotification()
{
    m_reloadPending = true;
    runPendingReload();
}

void CViewerDlg::runPendingReload()
{
    if (!m_reloadPending)
        return;
    // A reload destroys the graphs, which own the axis, trace and legend
    // dialogs while they run: it waits until they are closed.
    if (m_loading || modalOpen()) {
        m_reloadRetry->start();
        return;
    }
    m_reloadPending = false;
    saveGraphSettings();
    const bool loaded = LoadRun(0);
    // NOSK_VIEW_LOG names a file that gets one line per reload, for scripts
    // that watch the viewer (the end-to-end test); unset, nothing is written.
    if (const char* log = std::getenv("NOSK_VIEW_LOG"); log && *log)
        if (std::FILE* f = std::fopen(log, "a")) {
            std::fputs(loaded ? "reloaded\n" : "reload failed\n", f);
            std::fclose(f);
        }
    // A window the user cannot see comes forward to show the new run; one in
    // view stays where it is (never over the organiser after every run).
    if (isMinimized()) {
        showNormal();
        raise();
        activateWindow();
    }
}

void CViewerDlg::onLoadResults()
{
    LoadRun(0);
}

void CViewerDlg::onDataTransformation()
{
    const FitJob& job = m_run.job();
    if (auto warning = transformationWarning(job.xVariable, job.DATTYP)) {
        if (m_prompt.message(*warning, "WARNING", Buttons::YesNo, Icon::Warning) != Answer::Yes)
            return;
    }
    TransformChoice choice;
    choice.level = job.DFIT;
    choice.format = job.PFIT;
    // The representation in force, also when it came from the data's own
    // (an IRE of the engine's weighting says none).
    choice.ire = job.IRE <= -10 ? job.IRE : m_run.angular() ? -10 : -11;
    choice.celcap = job.CELCAP;
    const TransformChoice before = choice;
    {
        CTransformDlg dlg(choice, this);
        const int r = runModal(dlg);
        if (r == CTransformDlg::ReturnToOriginal) {
            LoadRun(0);
            return;
        }
        if (r != QDialog::Accepted)
            return;
        choice = dlg.choice();
    }
    if (choice.level == before.level && choice.format == before.format && choice.celcap == before.celcap) {
        LoadRun(choice.ire == -11 ? 2 : 1);
        return;
    }
    const QString keep = currentTitle();
    destroyPages();
    try {
        m_run.transform(choice);
    } catch (const std::exception& e) {
        reportError(failureText(e).c_str());
        m_run.release();
        return;
    }
    createPages(keep);
}

void CViewerDlg::onXAxisType()
{
    int current = m_run.job().xVariable;
    int chosen = current;
    CXAxisTypeDlg dlg(current, this);
    const int r = runModal(dlg);
    if (r != QDialog::Accepted && r != CXAxisTypeDlg::ReturnToOriginal)
        return;
    if (r == QDialog::Accepted)
        chosen = dlg.type();
    unsigned char bytes[2] = {1, 1};
    readSideFile(bytes[0], bytes[1]);
    if (r == QDialog::Accepted) {
        if (chosen == current)
            return;
        if (auto question = xAxisChangeQuestion(current, chosen)) {
            if (m_prompt.message(*question, "WARNING", Buttons::YesNo, Icon::Warning) != Answer::Yes)
                return;
        }
        bytes[0] = static_cast<unsigned char>(chosen);
    } else {
        bytes[0] = bytes[1];  // what the file's first column really holds
    }
    writeSideFile(bytes[0], bytes[1]);
    LoadRun(0);
}

// ---- printing and image ----------------------------------------------------

void CViewerDlg::onPrintAllGraphs()
{
    CViewerPage* p = currentPage();
    if (!p || !p->HasGraphs()) {
        m_prompt.message("This page has no graphs!", "ERROR", Buttons::Ok, Icon::Error);
        return;
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    {
        QPrintDialog dlg(printer.get(), this);
        dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
        dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
        if (runModal(dlg) != QDialog::Accepted)
            return;
    }
    printer->setDocName(QStringLiteral("Print graphs from NOSKVIEW"));
    QPainter painter;
    const std::string failed = beginPrinting(painter, *printer);
    if (!failed.empty()) {
        reportError(failed.c_str());
        return;
    }
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const int W = page.width(), H = page.height();
    std::unique_ptr<QPicture> picture = ComposeForPrinter(*p, printer.get(), W, H);
    if (picture)
        playPicture(painter, *picture, QRect(0, 0, W, H));
    painter.end();
}

void CViewerDlg::saveImage(const std::string& path, const CViewerPage& page)
{
    int w = 0, h = 0;
    std::unique_ptr<QPicture> picture = ComposeForImage(page, w, h);
    if (!picture || w <= 0 || h <= 0)
        throw BmpError("GetObject", EINVAL);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        playPicture(painter, *picture, QRect(0, 0, w, h));
    }
    const QString name = QString::fromStdString(path);
    // PNG and PDF are encoded in memory and renamed into place, as the
    // bitmap: a failed save keeps the user's old image.
    auto writeBytes = [&path](const QByteArray& bytes) {
        writeImageFile(path, {std::string_view(bytes.constData(), std::size_t(bytes.size()))});
    };
    if (name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            throw BmpError("WriteFile", EINVAL);
        writeBytes(png);
        return;
    }
    if (name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        // Vector graphics: one page the size of the image, in points.
        QByteArray pdf;
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            writer.setResolution(72);
            writer.setPageSize(QPageSize(QSizeF(w, h), QPageSize::Point));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            writer.setTitle(QStringLiteral("Graphs from NOSKVIEW"));
            QPainter painter;
            if (!painter.begin(&writer))
                throw BmpError("WriteFile", EINVAL);
            playPicture(painter, *picture, QRect(0, 0, w, h));
        }
        writeBytes(pdf);
        return;
    }
    WriteBmpFile(path, w, h, reinterpret_cast<const std::uint32_t*>(image.constBits()),
                 static_cast<int>(image.bytesPerLine() / 4));
}

std::optional<std::string> CViewerDlg::askExportFile(const char* title, const char* initialName)
{
    if (!m_run.hasResults()) {
        m_prompt.message("No results to export!", "ERROR", Buttons::Ok, Icon::Error);
        return std::nullopt;
    }
    FileRequest request;
    request.title = title;
    request.filters = {{"CSV table (*.csv)", "*.csv"}, {"All files (*.*)", "*.*"}};
    request.defaultExtension = "csv";
    request.initialName = initialName;
    return m_prompt.saveFile(request);
}

// Both tables replace the chosen file safely; a failure ends in the
// command's error box.
void CViewerDlg::onExportParameters()
{
    auto path = askExportFile("Export parameters", "parameters.csv");
    if (!path)
        return;
    const FitStatistics* statistics = m_run.isFit() ? m_run.statistics() : nullptr;
    AtomicFileWriter out(*path);
    out.buffer() = resultexport::parameterTable(m_run.job(), statistics, model::parameterNames(m_run.job().FUN));
    out.commit();
}

void CViewerDlg::onExportData()
{
    auto path = askExportFile("Export data", "data.csv");
    if (!path)
        return;
    AtomicFileWriter out(*path);
    out.buffer() = resultexport::dataTable(m_run);
    out.commit();
}

void CViewerDlg::onSaveAllGraphsInImage()
{
    CViewerPage* p = currentPage();
    if (!p || !p->HasGraphs()) {
        m_prompt.message("This page has no graphs!", "ERROR", Buttons::Ok, Icon::Error);
        return;
    }
    FileRequest request;
    request.filters = {{"PNG image (*.png)", "*.png"},
                       {"Bitmap file (*.bmp)", "*.bmp"},
                       {"PDF document (*.pdf)", "*.pdf"},
                       {"All files (*.*)", "*.*"}};
    request.defaultExtension = "png";
    request.confirmOverwrite = true;
    auto path = m_prompt.saveFile(request);
    if (!path)
        return;
    runCommand(m_prompt, [&] { saveImage(*path, *p); }, "SAVE BMP ERROR");
}

// ---- end, help -------------------------------------------------------------

void CViewerDlg::onExitMenu()
{
    done(0);
}

void CViewerDlg::done(int result)
{
    saveGraphSettings();
    QDialog::done(result);
}

void CViewerDlg::onHelpContents()
{
    openHelpContents();
}

void CViewerDlg::onHelpIndex()
{
    openHelpIndex();
}

AboutTexts CViewerDlg::aboutTexts()
{
    AboutTexts t;
    t.title = QStringLiteral("About NOSKVIEW");
    t.text = QStringLiteral("NOSKVIEW Version 1.0\n\nThe result viewer of the NOSK fitting programs:\n"
                            "graphs, statistics and files of the last run of the work folder.");
    t.moreInfo = QStringLiteral("More info on developers team...");
    t.moreInfoLeft = true;
    return t;
}

void CViewerDlg::onAbout()
{
    CAboutDlg dlg(aboutTexts(), this);
    runModal(dlg);
}

void CViewerDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        // The tab control and its pages answer with the topic of the page
        // shown; anywhere else the window's own topic.
        QWidget* focus = focusWidget();
        if (currentPage() && focus && (focus == m_tabs || m_tabs->isAncestorOf(focus)))
            m_tabs->helpForCurrentPage();
        else
            openHelpTopic(kHelpContext);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
