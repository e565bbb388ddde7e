#include "CFileTextPage.h"

#include "core/Exception.h"
#include "core/Prompt.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <fstream>
#include <iterator>

namespace nosk {

CFileTextPage::CFileTextPage(const QString& fileName, int helpContext, Prompt& prompt, QWidget* parent)
    : CViewerPage(fileName.left(40), helpContext, parent), m_edit(new QPlainTextEdit(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_edit);
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    const std::string name = fileName.toStdString();
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        prompt.message(exception("Cannot open file '%s'!", name.c_str()).what(), "NOSKVIEW");
        return;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The text ends at the first zero byte, as the control shows it.
    if (auto z = bytes.find('\0'); z != std::string::npos)
        bytes.resize(z);
    m_pending = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    m_pending.remove(QLatin1Char('\r'));
}

QString CFileTextPage::text() const
{
    return m_filled ? m_edit->toPlainText() : m_pending;
}

void CFileTextPage::showEvent(QShowEvent* event)
{
    // A long AUXPNTL is laid out only when the user looks at it.
    if (!m_filled) {
        m_filled = true;
        m_edit->setPlainText(m_pending);
        m_pending.clear();
    }
    CViewerPage::showEvent(event);
}

} // namespace nosk
