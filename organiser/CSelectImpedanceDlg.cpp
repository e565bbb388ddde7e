#include "CSelectImpedanceDlg.h"

#include "ops/SolartronImport.h"
#include "results/SolartronFile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace nosk {

CSelectImpedanceDlg::CSelectImpedanceDlg(const SolartronFile& file, QWidget* parent)
    : QDialog(parent), m_file(file)
{
    setWindowTitle(QStringLiteral("Select impedance"));
    m_description = new QLabel(QString::fromStdString(fileDescriptionText(file)));
    m_description->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_description->setMargin(3);
    m_blocks = new QListWidget;
    for (int i = 0; i < int(file.blocks.size()); ++i)
        m_blocks->addItem(QString::fromStdString(blockListEntry(i)));
    m_blockText = new QPlainTextEdit;
    m_blockText->setReadOnly(true);
    m_select = new QPushButton(QStringLiteral("Select"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_select->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("File description:")), 0, 0, 1, 2);
    grid->addWidget(m_description, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("List of impedandce data blocks:")), 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("Block description:")), 2, 1);
    grid->addWidget(m_blocks, 3, 0);
    grid->addWidget(m_blockText, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_select);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(520, 300);

    connect(m_blocks, &QListWidget::currentRowChanged, this, &CSelectImpedanceDlg::showBlock);
    connect(m_select, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (m_blocks->count() > 0)
        m_blocks->setCurrentRow(0);
    showBlock();
}

int CSelectImpedanceDlg::selectedBlock() const
{
    return m_blocks->currentRow();
}

void CSelectImpedanceDlg::showBlock()
{
    int i = selectedBlock();
    if (i < 0 || i >= int(m_file.blocks.size())) {
        m_blockText->clear();
        return;
    }
    QString text = QString::fromStdString(SolartronFile::blockDescription(m_file.blocks[std::size_t(i)]));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_blockText->setPlainText(text);
}

} // namespace nosk
