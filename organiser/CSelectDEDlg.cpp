#include "CSelectDEDlg.h"

#include "DECatalogue.h"
#include "platform/Help.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace nosk {

QString deDescriptionForBox(int de)
{
    QString text = QString::fromStdString(de::description(de));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

void fitDescriptionBox(QPlainTextEdit* box)
{
    const QFontMetrics metrics(box->font());
    int widest = 0;
    for (int i = 0; i < de::kCount; ++i)
        for (const QString& line : deDescriptionForBox(i).split(QLatin1Char('\n')))
            widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margins = 2 * int(box->document()->documentMargin()) + 2 * box->frameWidth()
        + box->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + metrics.averageCharWidth();
    box->setMinimumWidth(widest + margins);
}

CSelectDEDlg::CSelectDEDlg(const QString& linkText, int de, int param, QWidget* parent)
    : QDialog(parent), m_linkText(linkText), m_param(param)
{
    setWindowTitle(QStringLiteral("Select %1 for p(%2)").arg(linkText).arg(param));

    auto* listGroup = new QGroupBox(QStringLiteral("List of distributed elements (DE)"));
    m_list = new QListWidget;
    for (int i = 0; i < de::kCount; ++i)
        m_list->addItem(QString::fromStdString(de::title(i)));
    m_list->setMinimumWidth(m_list->sizeHintForColumn(0) + 30);
    auto* listLayout = new QVBoxLayout(listGroup);
    listLayout->addWidget(m_list);

    auto* descGroup = new QGroupBox(QStringLiteral("Description of DE"));
    m_description = new QPlainTextEdit;
    m_description->setReadOnly(true);
    fitDescriptionBox(m_description);
    auto* descLayout = new QVBoxLayout(descGroup);
    descLayout->addWidget(m_description);

    m_help = new QPushButton(QStringLiteral("Help about DE..."));
    m_subtract = new QPushButton(QStringLiteral("Subtract"));
    m_ok = new QPushButton(QStringLiteral("OK"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_ok->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_help);
    buttons->addStretch();
    buttons->addWidget(m_subtract);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* groups = new QHBoxLayout;
    groups->addWidget(listGroup, 1);
    groups->addWidget(descGroup, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    resize(640, 340);

    if (de >= 0 && de < de::kCount)
        m_list->setCurrentRow(de);
    else
        m_list->setCurrentRow(-1);
    showDescription(m_list->currentRow());

    connect(m_list, &QListWidget::currentRowChanged, this, &CSelectDEDlg::showDescription);
    connect(m_help, &QPushButton::clicked, this, [this] {
        int selected = selectedDE();
        if (selected >= 0)
            openHelpTopic(de::helpTopic(selected));
    });
    connect(m_subtract, &QPushButton::clicked, this, [this] { done(Subtract); });
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int CSelectDEDlg::selectedDE() const
{
    auto items = m_list->selectedItems();
    if (items.isEmpty())
        return -1;
    return m_list->row(items.front());
}

void CSelectDEDlg::showDescription(int row)
{
    // The row that became current: a click makes it current before it is
    // selected, so the selection still names the previous DE here.
    m_description->setPlainText(deDescriptionForBox(row));
}

void CSelectDEDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(10201);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
