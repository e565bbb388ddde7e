#include "CFileTextPage.h"

#include "core/Exception.h"
#include "core/Prompt.h"
#include "core/RegularFile.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <cstdio>

namespace nosk {

CFileTextPage::CFileTextPage(const QString& fileName, int helpContext, Prompt& prompt, QWidget* parent)
    : CViewerPage(fileName.left(40), helpContext, parent), m_edit(new QPlainTextEdit(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_edit);
    m_edit->setReadOnly(true);
    // Read-only, but with a keyboard cursor: Ctrl+Home and Ctrl+End, the
    // arrows and the page keys move through a long file, Ctrl+C copies.
    m_edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    const std::string name = fileName.toStdString();
    auto bytes = readRegularFile(name, kMaxResultFile);
    if (!bytes) {
        prompt.message(exception("Cannot open file '%s'!", name.c_str()).what(), "NOSKVIEW");
        return;
    }
    m_bytes = std::move(*bytes);
    // The text ends at the first zero byte, as the control shows it.
    if (auto z = m_bytes.find('\0'); z != std::string::npos)
        m_bytes.resize(z);
}

QString CFileTextPage::text() const
{
    return m_filled ? m_edit->toPlainText() : toText(m_bytes);
}

QString CFileTextPage::toText(const std::string& bytes)
{
    QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    text.remove(QLatin1Char('\r'));
    return text;
}

void CFileTextPage::showEvent(QShowEvent* event)
{
    // A long AUXPNTL is laid out only when the user looks at it.
    if (!m_filled) {
        m_filled = true;
        m_edit->setPlainText(toText(m_bytes));
        m_bytes.clear();
        m_bytes.shrink_to_fit();
    }
    CViewerPage::showEvent(event);
}

} // namespace nosk
