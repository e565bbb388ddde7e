#include "CTextEditorDlg.h"

#include "platform/Help.h"
#include "core/Prompt.h"
#include "core/AtomicFileWriter.h"
#include "core/RegularFile.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

#include <cstdio>
#include <filesystem>

namespace nosk {
namespace {

const char* kProgram = "NOSKRUN";

std::string cannotOpen(const std::string& path)
{
    return "Cannot open file '" + path + "'!";
}

} // namespace

CTextEditorDlg::CTextEditorDlg(Prompt& prompt, const std::string& documentName,
                               std::function<void(const std::string&)> loadJob, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_loadJob(std::move(loadJob)), m_documentName(documentName)
{
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    setModal(false);

    m_save = new QPushButton(QStringLiteral("Save"));
    m_saveAs = new QPushButton(QStringLiteral("Save As..."));
    m_load = new QPushButton(QStringLiteral("Load..."));
    m_close = new QPushButton(QStringLiteral("Close"));
    m_closeAndLoad = new QPushButton(QStringLiteral("Close && Load"));
    for (QPushButton* b : {m_save, m_saveAs, m_load, m_close, m_closeAndLoad})
        b->setAutoDefault(false);

    m_text = new QPlainTextEdit;
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    m_text->setFont(font);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_save, m_saveAs, m_load, m_close, m_closeAndLoad})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_text);
    resize(940, 480);

    connect(m_save, &QPushButton::clicked, this, &CTextEditorDlg::save);
    connect(m_saveAs, &QPushButton::clicked, this, &CTextEditorDlg::saveAs);
    connect(m_load, &QPushButton::clicked, this, &CTextEditorDlg::load);
    connect(m_close, &QPushButton::clicked, this, &CTextEditorDlg::closeEditor);
    connect(m_closeAndLoad, &QPushButton::clicked, this, &CTextEditorDlg::closeAndLoad);

    updateTitle();
    loadFile(m_tempName);
    connect(m_text, &QPlainTextEdit::textChanged, this, [this] { m_modified = true; });
}

CTextEditorDlg::~CTextEditorDlg()
{
    // The temporary file goes with the window, however it goes.
    if (!m_tempName.empty())
        std::remove(m_tempName.c_str());
}

void CTextEditorDlg::updateTitle()
{
    setWindowTitle(m_documentName.empty() ? QStringLiteral("EDIT : NOSKRUN")
                                          : QString::fromStdString(m_documentName));
}

void CTextEditorDlg::loadFile(const std::string& path)
{
    // The largest input file (99999 data lines) is far below this; a device
    // or a FIFO is no document.
    constexpr std::size_t kMaxDocument = 64u << 20;
    auto bytes = readRegularFile(path, kMaxDocument);
    if (!bytes) {
        m_prompt.message(cannotOpen(path), kProgram, Buttons::Ok, Icon::Error);
        m_modified = false;
        return;
    }
    QString text = QString::fromLocal8Bit(bytes->data(), qsizetype(bytes->size()));
    // The engine's files end their lines with CR LF; the text shows line breaks.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const bool blocked = m_text->blockSignals(true);
    m_text->setPlainText(text);
    m_text->blockSignals(blocked);
    m_modified = false;
}

bool CTextEditorDlg::writeDocument()
{
    // Written beside and renamed over the document: a save that fails part
    // way (a full disk) leaves the document as it was.
    std::string out;
    // Every line, the last one included, is written whole and ends with a
    // newline.
    QTextDocument* doc = m_text->document();
    const int blocks = doc->blockCount();
    for (int i = 0; i < blocks; ++i) {
        QString line = doc->findBlockByNumber(i).text();
        // An empty last block is only the end of the previous line.
        if (i == blocks - 1 && blocks > 1 && line.isEmpty())
            break;
        if (i == blocks - 1 && blocks == 1 && line.isEmpty())
            break;
        out += line.toLocal8Bit().toStdString();
        out += '\n';
    }
    try {
        replaceFile(m_documentName, out);
    } catch (const std::exception& e) {
        m_prompt.message(e.what(), kProgram, Buttons::Ok, Icon::Error);
        return false;
    }
    return true;
}

void CTextEditorDlg::save()
{
    if (m_documentName.empty()) {
        saveAs();
        return;
    }
    if (!m_modified)
        return;
    if (writeDocument())
        m_modified = false;
}

void CTextEditorDlg::saveAs()
{
    FileRequest request;
    request.filters = {{"All files (*.*)", "*.*"}};
    request.initialName = m_documentName;
    request.confirmOverwrite = true;
    std::optional<std::string> path = m_prompt.saveFile(request);
    if (!path)
        return;
    m_documentName = *path;
    updateTitle();
    // The user asked for a copy under that name: it is written also when
    // nothing has changed since the last save.
    if (writeDocument())
        m_modified = false;
}

bool CTextEditorDlg::checkModified()
{
    if (!m_modified)
        return true;
    Answer a = m_prompt.message("Data was modified! Do you want to save file?", kProgram,
                                Buttons::YesNoCancel, Icon::Question);
    if (a == Answer::Cancel)
        return false;
    if (a == Answer::No)
        return true;
    save();
    return !m_modified;
}

void CTextEditorDlg::load()
{
    if (!checkModified())
        return;
    FileRequest request;
    std::optional<std::string> path = m_prompt.openFile(request);
    if (!path)
        return;
    loadFile(*path);
    m_documentName = *path;
    updateTitle();
}

void CTextEditorDlg::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_tempName.empty())
        std::remove(m_tempName.c_str());
    m_tempName.clear();
    m_documentName.clear();
    hide();
    emit closed();
    deleteLater();
}

void CTextEditorDlg::closeEditor()
{
    if (!checkModified())
        return;
    finish();
}

void CTextEditorDlg::closeAndLoad()
{
    if (!checkModified())
        return;
    if (m_documentName.empty()) {
        // Nothing was ever saved under a name: there is nothing to hand back.
        m_prompt.message("There is no file to load. Save the text first.", kProgram,
                         Buttons::Ok, Icon::Warning);
        return;
    }
    std::string name = m_documentName;
    if (m_loadJob)
        m_loadJob(name);
    finish();
}

void CTextEditorDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(10038);
        return;
    }
    // Enter only breaks the line inside the text; it never presses a button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void CTextEditorDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    closeEditor();
}

void CTextEditorDlg::reject()
{
    closeEditor();
}

} // namespace nosk
