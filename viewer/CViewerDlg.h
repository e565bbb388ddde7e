#pragma once

#include "ViewerRun.h"

#include <QDialog>
#include <QFont>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenuBar;
class QPicture;
class QPushButton;
class QTimer;

namespace nosk {

struct AboutTexts;
class CPageTab;
class CViewerPage;
class FileWatch;
class Prompt;
struct GraphSettings;

// NOSKVIEW's main window: the menu, the tab control with the pages of the
// run of the work folder, and the "E&xit" button.
class CViewerDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10026;
    // Every page the viewer can show at once: those of a fit, the analyses',
    // the files' and the series'.
    static constexpr int kMaxPages = 11;

    // Every message goes through `prompt`, every dialog through the
    // platform's runModal(). With load = false the window starts without
    // reading the work folder.
    CViewerDlg(GraphSettings& settings, Prompt& prompt, QWidget* parent = nullptr, bool load = true);
    ~CViewerDlg() override;

    // The load sequence (mode 0: representation from IRE, 1 angular, 2
    // ordinary). Errors are shown and leave the window without pages; returns
    // whether the run was loaded.
    bool LoadRun(int mode);
    // Why the last load failed (empty after a load that succeeded), also
    // when no box said it because the Kramers-Kronig page came instead.
    const std::string& loadError() const { return m_loadError; }
    // "NOSK_COMM": keep the pages' settings, reload, come to the front. While
    // a modal dialog or message box of the viewer is open (or a load runs)
    // the reload waits and then runs once, when nothing is open any more.
    void onNotification();
    bool reloadPending() const { return m_reloadPending; }
    // The series result changed (the watch calls it; tests may too).
    FileWatch* seriesWatch() const { return m_seriesWatch.get(); }

    // The menu commands.
    void onLoadResults();
    void onDataTransformation();
    void onXAxisType();
    void onPrintAllGraphs();
    void onSaveAllGraphsInImage();
    void onExportParameters();
    void onExportData();
    void onExitMenu();
    void onHelpContents();
    void onHelpIndex();
    void onAbout();
    // What the About box says.
    static AboutTexts aboutTexts();

    // Writes the image of a page's graphs (BMP, or PNG or PDF for a .png or
    // .pdf name). Throws BmpError when it cannot.
    void saveImage(const std::string& path, const CViewerPage& page);
    // Every page stores its graphs' settings in the block.
    void saveGraphSettings();

    QStringList tabTitles() const;
    int pageCount() const { return static_cast<int>(m_pages.size()); }
    CViewerPage* page(int i) const;
    CViewerPage* pageByTitle(const QString& title) const;
    CViewerPage* currentPage() const;
    void selectPage(int i);
    QMenuBar* menuBar() const { return m_menuBar; }
    QPushButton* exitButton() const { return m_exit; }
    const ViewerRun& run() const { return m_run; }
    GraphSettings& settings() const { return m_settings; }
    int textHeight() const;
    CPageTab* pageTab() const { return m_tabs; }
    const QFont& boldFont() const { return m_boldFont; }

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenu();
    void destroyPages();
    // The pages of the run; the one titled `keep` is shown when it is there
    // again (the page the user chose stays in front over a reload), else
    // the first.
    void createPages(const QString& keep = QString());
    QString currentTitle() const;
    void addPage(CViewerPage* page);
    void reportError(const char* text);
    // The CSV file an export writes; nothing without results to export.
    std::optional<std::string> askExportFile(const char* title, const char* initialName);
    // Whether a dialog, message box or popup of the program is open above
    // the main window (the pages could be the parents of what it shows).
    bool modalOpen() const;
    void runPendingReload();

    GraphSettings& m_settings;
    Prompt& m_prompt;
    ViewerRun m_run;
    QMenuBar* m_menuBar = nullptr;
    CPageTab* m_tabs = nullptr;
    QPushButton* m_exit = nullptr;
    std::vector<CViewerPage*> m_pages;  // in tab order
    bool m_settingsSaved = false;
    bool m_reloadPending = false;
    bool m_loading = false;
    std::string m_loadError;
    QTimer* m_reloadRetry = nullptr;
    // SERIES written, replaced or removed: the pages are made again.
    std::unique_ptr<FileWatch> m_seriesWatch;
    QFont m_boldFont;
};

} // namespace nosk
