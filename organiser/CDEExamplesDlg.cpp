#include "CDEExamplesDlg.h"

#include "CSelectDEDlg.h"
#include "DECatalogue.h"
#include "platform/Help.h"
#include "Locations.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace nosk {

CDEExamplesDlg::CDEExamplesDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Examples of  DE using"));

    auto* listGroup = new QGroupBox(QStringLiteral("List of distributed elements (DE)"));
    m_deList = new QListWidget;
    for (int i = 0; i < de::kCount; ++i)
        m_deList->addItem(QString::fromStdString(de::title(i)));
    m_deList->setMinimumWidth(m_deList->sizeHintForColumn(0) + 30);
    (new QVBoxLayout(listGroup))->addWidget(m_deList);

    auto* exampleGroup = new QGroupBox(QStringLiteral("Examples of DE circuits"));
    m_examples = new QListWidget;
    (new QVBoxLayout(exampleGroup))->addWidget(m_examples);

    auto* descGroup = new QGroupBox(QStringLiteral("Description of DE"));
    m_description = new QPlainTextEdit;
    m_description->setReadOnly(true);
    fitDescriptionBox(m_description);
    (new QVBoxLayout(descGroup))->addWidget(m_description);

    m_help = new QPushButton(QStringLiteral("Help about DE..."));
    m_open = new QPushButton(QStringLiteral("Open example"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_open->setDefault(true);

    auto* right = new QVBoxLayout;
    right->addWidget(exampleGroup, 1);
    right->addWidget(descGroup, 1);
    auto* groups = new QHBoxLayout;
    groups->addWidget(listGroup, 1);
    groups->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_help);
    buttons->addStretch();
    buttons->addWidget(m_open);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    resize(680, 420);

    connect(m_deList, &QListWidget::currentRowChanged, this, &CDEExamplesDlg::deSelected);
    connect(m_help, &QPushButton::clicked, this, [this] {
        int selected = m_deList->currentRow();
        if (selected >= 0)
            openHelpTopic(de::helpTopic(selected));
    });
    connect(m_open, &QPushButton::clicked, this, &CDEExamplesDlg::openExample);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_examples->clear();
        reject();
    });

    m_deList->setCurrentRow(0);
    deSelected();
}

void CDEExamplesDlg::deSelected()
{
    int selected = m_deList->currentRow();
    m_description->setPlainText(deDescriptionForBox(selected));
    m_examples->clear();
    std::vector<std::string> names = de::examples(selected);
    if (names.empty()) {
        m_examples->addItem(QStringLiteral("No example available"));
        m_open->setEnabled(false);
        return;
    }
    for (const std::string& name : names)
        m_examples->addItem(QString::fromStdString(name));
    m_examples->setCurrentRow(0);
    m_open->setEnabled(true);
}

void CDEExamplesDlg::openExample()
{
    if (!m_open->isEnabled())
        return;
    QListWidgetItem* item = m_examples->currentItem();
    if (!item)
        return;
    m_path = locations::examplePath(item->text().toStdString());
    m_examples->clear();
    accept();
}

void CDEExamplesDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(10202);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
