#include "CViewerApp.h"

#include "AnalysisPages.h"
#include "CSeriesPage.h"
#include "CViewerDlg.h"
#include "CViewerPage.h"
#include "core/RunCommand.h"
#include "core/ScriptedPrompt.h"
#include "platform/DialogRunner.h"
#include "platform/Notification.h"
#include "platform/Platform.h"
#include "platform/Signals.h"
#include "platform/ProgramIdentity.h"
#include "platform/QtPrompt.h"
#include "platform/WorkFolder.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

namespace nosk {

const char* CViewerApp::usage()
{
    return "Usage: noskview [FOLDER] [--save-image FILE [--page TITLE]] [--help]\n"
           "\n"
           "Shows the last run of the current work folder (INFL, ADD.BIN, AUXPNTL,\n"
           "PNTOUTL) in the NOSKVIEW window.\n"
           "\n"
           "  FOLDER             the work folder to show instead (or a file in it).\n"
           "  --save-image FILE  load the run as \"Load Results\" does and write the\n"
           "                     graphs of the first graph page as one image, as\n"
           "                     \"Save all graphs in image...\" would, without a window.\n"
           "                     FILE ending in .png gives a PNG, in .pdf a PDF (the\n"
           "                     graphs as vectors), any other name a 32-bit Windows\n"
           "                     bitmap (.bmp).\n"
           "  --page TITLE       the page to save instead: \"Graphics\",\n"
           "                     \"Complex-plane plot\", \"Kramers-Kronig\", \"Z-HIT\"\n"
           "                     \"DRT\" (the tables of noskrun --kk, --zhit and\n"
           "                     --drt) or \"Series\" (the file SERIES, a series\n"
           "                     fitted as one); these four need no run.\n"
           "  --help             this text.\n"
           "\n"
           "Exit status of --save-image: 0 when the image was written, 1 otherwise\n"
           "(the reason, such as a load error, on standard error).\n";
}

namespace {

int saveImageHeadless(GraphSettings& settings, const std::string& file, const std::string& pageTitle)
{
    ScriptedPrompt prompt;
    Platform::instance().setPrompt(&prompt);
    CViewerDlg dlg(settings, prompt, nullptr, false);
    dlg.setAttribute(Qt::WA_DontShowOnScreen);
    dlg.show();
    // The analyses' pages and the series' show the work folder's tables
    // and are there without a run; every other page needs the run loaded.
    const bool needsRun = !isAnalysisPage(pageTitle) && pageTitle != CSeriesPage::kTitle;
    if (!dlg.LoadRun(0) && needsRun) {
        std::fprintf(stderr, "%s\n", !dlg.loadError().empty() ? dlg.loadError().c_str()
                                      : prompt.messages.empty() ? "Cannot load the run."
                                                                : prompt.lastMessage().text.c_str());
        return 1;
    }
    CViewerPage* page = nullptr;
    if (!pageTitle.empty()) {
        page = dlg.pageByTitle(QString::fromStdString(pageTitle));
        if (!page) {
            std::fprintf(stderr, "There is no page '%s'.\n", pageTitle.c_str());
            return 1;
        }
    } else {
        for (int i = 0; i < dlg.pageCount() && !page; ++i)
            if (dlg.page(i)->HasGraphs())
                page = dlg.page(i);
    }
    // A series result that cannot be read says why.
    if (auto* series = qobject_cast<CSeriesPage*>(page); series && !series->errorText().empty()) {
        std::fprintf(stderr, "%s\n", series->errorText().c_str());
        return 1;
    }
    if (!page || !page->HasGraphs()) {
        std::fprintf(stderr, "This page has no graphs!\n");
        return 1;
    }
    dlg.selectPage(dlg.tabTitles().indexOf(page->title()));
    QApplication::processEvents();
    std::string error;
    try {
        dlg.saveImage(file, *page);
    } catch (const std::exception& e) {
        error = failureText(e);
    }
    Platform::instance().setPrompt(nullptr);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int CViewerApp::run(int argc, char** argv)
{
    std::string imageFile, pageTitle, folder;
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(usage(), stdout);
            return 0;
        }
        if (!std::strcmp(a, "--save-image") && i + 1 < argc) {
            headless = true;
            imageFile = argv[++i];
        } else if (!std::strcmp(a, "--page") && i + 1 < argc) {
            pageTitle = argv[++i];
        } else if (a[0] != '-' && folder.empty()) {
            folder = a;
        } else {
            std::fprintf(stderr, "noskview: unknown argument '%s'\n\n%s", a, usage());
            return 2;
        }
    }
    if (!pageTitle.empty() && !headless) {
        std::fprintf(stderr, "noskview: --page needs --save-image\n\n%s", usage());
        return 2;
    }

    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (headless)  // standard error carries our reason alone
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        });
    ignoreFileSizeSignal();
    QApplication qapp(argc, argv);
    keepCNumbers();
    Platform::instance().setProgramName("NOSKVIEW");
    setProgramIcon(QStringLiteral("noskview"));

    std::string ignored;
    if (!folder.empty()) {
        try {
            workfolder::enter(folder, ignored);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "noskview: %s\n", failureText(e).c_str());
            return 1;
        }
    } else if (!headless) {
        QtPrompt question;
        if (!workfolder::settle(question, ignored))
            return 0;
    }

    settings.load();
    if (headless)
        return saveImageHeadless(settings, imageFile, pageTitle);

    QtPrompt prompt;
    int result = 0;
    {
        CViewerDlg dlg(settings, prompt, nullptr, false);
        prompt.setOwner(&dlg);
        NotifyListener listener;
        QObject::connect(&listener, &NotifyListener::notified, &dlg, &CViewerDlg::onNotification);
        listener.listen();
        dlg.show();
        dlg.LoadRun(0);
        result = runModal(dlg);
    }
    settings.save();
    (void)result;
    return 0;
}

} // namespace nosk
