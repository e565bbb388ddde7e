#include "CListSelectDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace nosk {

CListSelectDlg::CListSelectDlg(const Texts& texts, const QString& fileText, const QStringList& entries,
                               const QSize& size, std::function<QString(int)> describe, QWidget* parent)
    : QDialog(parent), m_describe(std::move(describe))
{
    setWindowTitle(texts.title);
    m_file = new QLabel(fileText);
    m_file->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_file->setMargin(3);
    m_list = new QListWidget;
    m_list->addItems(entries);
    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_select = new QPushButton(QStringLiteral("Select"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_select->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(texts.fileCaption), 0, 0, 1, 2);
    grid->addWidget(m_file, 1, 0, 1, 2);
    grid->addWidget(new QLabel(texts.listCaption), 2, 0);
    grid->addWidget(new QLabel(texts.descriptionCaption), 2, 1);
    grid->addWidget(m_list, 3, 0);
    grid->addWidget(m_text, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_select);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(size);

    connect(m_list, &QListWidget::currentRowChanged, this, &CListSelectDlg::showDescription);
    connect(m_select, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    showDescription();
}

int CListSelectDlg::selectedRow() const
{
    return m_list->currentRow();
}

void CListSelectDlg::showDescription()
{
    const int row = selectedRow();
    if (row < 0) {
        m_text->clear();
        return;
    }
    m_text->setPlainText(m_describe(row));
}

} // namespace nosk
