#pragma once

#include "core/WorkFolderFiles.h"

#include <QDialog>

#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace nosk {
class Prompt;

// The advanced text editor: the job in the engine's input-file layout, to be
// edited as text, saved, and handed back to the main window ("Close && Load").
// Non-modal; deletes its temporary file when it goes.
class CTextEditorDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTempFile = workfiles::kEditorScratch;

    // documentName: the main window's current test file, empty when none.
    // loadJob: the main window's LoadJobFile.
    CTextEditorDlg(Prompt& prompt, const std::string& documentName,
                   std::function<void(const std::string&)> loadJob, QWidget* parent = nullptr);
    ~CTextEditorDlg() override;

    // Loads a file into the text; "Cannot open file '%s'!" when it cannot be read.
    void loadFile(const std::string& path);

    void save();
    void saveAs();
    void load();
    void closeEditor();
    void closeAndLoad();

    bool modified() const { return m_modified; }
    const std::string& documentName() const { return m_documentName; }
    QPlainTextEdit* textBox() const { return m_text; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* saveAsButton() const { return m_saveAs; }
    QPushButton* loadButton() const { return m_load; }
    QPushButton* closeButton() const { return m_close; }
    QPushButton* closeAndLoadButton() const { return m_closeAndLoad; }

signals:
    // The window has closed and gone; the main window forgets it.
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // False when the user cancelled, or a save did not happen.
    bool checkModified();
    void finish();
    void updateTitle();
    bool writeDocument();

    Prompt& m_prompt;
    std::function<void(const std::string&)> m_loadJob;
    std::string m_documentName;
    std::string m_tempName = kTempFile;
    bool m_modified = false;
    bool m_finished = false;
    QPlainTextEdit* m_text;
    QPushButton* m_save;
    QPushButton* m_saveAs;
    QPushButton* m_load;
    QPushButton* m_close;
    QPushButton* m_closeAndLoad;
};

} // namespace nosk
