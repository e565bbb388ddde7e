#pragma once

#include "CViewerPage.h"

#include <string>

class QPlainTextEdit;

namespace nosk {

class Prompt;

// A page showing the whole text of one of the engine's files, read-only, in
// the system's fixed-pitch font.
class CFileTextPage : public CViewerPage {
    Q_OBJECT
public:
    // Reads the file at once; a file that cannot be opened is reported with
    // "Cannot open file '%s'!" and the page stays empty.
    CFileTextPage(const QString& fileName, int helpContext, Prompt& prompt, QWidget* parent = nullptr);

    QString text() const;
    QPlainTextEdit* editor() const { return m_edit; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPlainTextEdit* m_edit;
    static QString toText(const std::string& bytes);

    std::string m_bytes;  // the file as read; given to the editor when the page is first shown
    bool m_filled = false;
};

} // namespace nosk
