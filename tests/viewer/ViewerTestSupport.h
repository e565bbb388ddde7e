#pragma once

#include "ui/CAboutDlg.h"
#include "CComplexPlanePage.h"
#include "CGraphPage.h"
#include "CTransformDlg.h"
#include "CViewerDlg.h"
#include "CXAxisTypeDlg.h"
#include "GraphSettings.h"
#include "RunFiles.h"
#include "core/ScriptedPrompt.h"
#include "support/ScriptedDialogRunner.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace nosk::test {

enum class DialogResult { Ok, Cancel, ReturnToOriginal };

// Answers the viewer's own dialogs from queues: "Data transformation" and
// "Set type of X axis" with the choice given, the print setup with a PDF
// file (none: cancelled), the About box by closing it. An unscripted dialog
// is cancelled. Answers pushed on `answers` come first, whatever the dialog.
class ScriptedDialogs : public ScriptedDialogRunner {
public:
    struct TransformAnswer {
        DialogResult result;
        TransformChoice choice;
    };
    struct AxisAnswer {
        DialogResult result;
        int type;
    };

    ScriptedDialogs()
    {
        otherwise = [this](QDialog& d) -> int {
            if (auto* t = qobject_cast<CTransformDlg*>(&d))
                return transform(*t);
            if (auto* x = qobject_cast<CXAxisTypeDlg*>(&d))
                return xAxisType(*x);
            if (auto* p = qobject_cast<QPrintDialog*>(&d))
                return printSetup(*p);
            if (auto* a = qobject_cast<CAboutDlg*>(&d))
                about(*a);
            return int(QDialog::Rejected);
        };
    }

    // The user's hand in each dialog: the controls set, then OK.
    virtual int transform(CTransformDlg& dlg)
    {
        shownTransform.push_back(dlg.choice());
        if (transforms.empty())
            return int(QDialog::Rejected);
        const TransformAnswer a = transforms.front();
        transforms.pop_front();
        if (a.result == DialogResult::ReturnToOriginal)
            return CTransformDlg::ReturnToOriginal;
        if (a.result == DialogResult::Cancel)
            return int(QDialog::Rejected);
        dlg.levelList()->setCurrentIndex(int(std::string("ZYME").find(a.choice.level)));
        dlg.formatList()->setCurrentIndex(int(std::string("PDLR").find(a.choice.format)));
        dlg.frequencyList()->setCurrentIndex(a.choice.ire == -11 ? 1 : 0);
        dlg.celcapEdit()->setText(QString::number(a.choice.celcap, 'g', 17));
        dlg.accept();
        return dlg.result();
    }
    virtual int xAxisType(CXAxisTypeDlg& dlg)
    {
        shownAxisType.push_back(dlg.type());
        if (axisTypes.empty())
            return int(QDialog::Rejected);
        const AxisAnswer a = axisTypes.front();
        axisTypes.pop_front();
        if (a.result == DialogResult::ReturnToOriginal)
            return CXAxisTypeDlg::ReturnToOriginal;
        if (a.result == DialogResult::Cancel)
            return int(QDialog::Rejected);
        dlg.group()->button(a.type)->setChecked(true);
        dlg.accept();
        return dlg.result();
    }
    // The printer is set up as the dialog would leave it for "Print to
    // File (PDF)"; OK is the runner's (the dialog's own would read its
    // controls into the printer again).
    virtual int printSetup(QPrintDialog& dlg)
    {
        ++printSetups;
        if (pdfPath.empty())
            return int(QDialog::Rejected);
        dlg.printer()->setOutputFormat(QPrinter::PdfFormat);
        dlg.printer()->setOutputFileName(QString::fromStdString(pdfPath));
        return int(QDialog::Accepted);
    }
    virtual void about(CAboutDlg&) { ++abouts; }

    std::deque<TransformAnswer> transforms;
    std::deque<AxisAnswer> axisTypes;
    std::vector<TransformChoice> shownTransform;
    std::vector<int> shownAxisType;
    std::string pdfPath;  // empty: the print setup is cancelled
    int printSetups = 0;
    int abouts = 0;
};

#ifdef NOSKWIN_PATH
// The engine built beside the tests, on the job in the work folder; its
// console output goes to engine.txt.
inline bool runEngine()
{
    const std::string cmd = std::string("'") + NOSKWIN_PATH + "' </dev/null >engine.txt 2>&1";
    return std::system(cmd.c_str()) == 0;
}
#endif

// The viewer's window on the run of the work folder, with every message and
// dialog scripted.
struct Viewer {
    GraphSettings settings;
    ScriptedPrompt prompt;
    ScriptedDialogs dialogs;
    std::unique_ptr<CViewerDlg> dlg;

    void open()
    {
        dlg = std::make_unique<CViewerDlg>(settings, prompt, nullptr, false);
        dlg->show();
        dlg->LoadRun(0);
    }
    // Writes the run into the work folder, then opens the window on it.
    void openRun(const RunSpec& spec)
    {
        writeRun(spec);
        open();
    }
    // The "Graphics" page with its graphs built; nullptr when there is none.
    CGraphPage* builtGraphics() const
    {
        CGraphPage* page = graphics();
        if (page)
            page->ensureBuilt();
        return page;
    }
    QStringList tabs() const { return dlg->tabTitles(); }
    CGraphPage* graphics() const { return qobject_cast<CGraphPage*>(dlg->pageByTitle(QStringLiteral("Graphics"))); }
    CComplexPlanePage* plane() const
    {
        return qobject_cast<CComplexPlanePage*>(dlg->pageByTitle(QStringLiteral("Complex-plane plot")));
    }
};

} // namespace nosk::test
