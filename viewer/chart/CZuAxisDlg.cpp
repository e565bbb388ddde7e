#include "CZuAxisDlg.h"

#include "core/NumberText.h"
#include "core/Prompt.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

namespace nosk {

CZuAxisDlg::CZuAxisDlg(const QString& title, int& autoScale, int& logScale, double& max,
                       double& min, int helpContext, Prompt* prompt, QWidget* parent)
    : CZuHelpDialog(helpContext, parent),
      m_autoScale(autoScale),
      m_logScale(logScale),
      m_max(max),
      m_min(min),
      m_prompt(prompt),
      m_titleText(title)
{
    setWindowTitle(QStringLiteral("Axis properties"));

    m_title = new QLineEdit(title, this);
    m_auto = new QCheckBox(QStringLiteral("Auto scale"), this);
    m_log = new QCheckBox(QStringLiteral("Log scale"), this);
    m_minEdit = new QLineEdit(QString::number(min, 'g', 15), this);
    m_maxEdit = new QLineEdit(QString::number(max, 'g', 15), this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ok->setDefault(true);
    m_auto->setChecked(autoScale != 0);
    m_log->setChecked(logScale != 0);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Axis title"), this), 0, 0);
    grid->addWidget(m_title, 0, 1, 1, 3);
    grid->addWidget(m_auto, 1, 0, 1, 2);
    grid->addWidget(m_log, 1, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Minimal "), this), 2, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Maximal "), this), 2, 2, 1, 2);
    grid->addWidget(m_minEdit, 3, 0, 1, 2);
    grid->addWidget(m_maxEdit, 3, 2, 1, 2);
    grid->addWidget(cancel, 4, 0, 1, 2);
    grid->addWidget(m_ok, 4, 2, 1, 2);

    connect(m_ok, &QPushButton::clicked, this, &CZuAxisDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CZuAxisDlg::reject);
    connect(m_auto, &QCheckBox::clicked, this, &CZuAxisDlg::applyEnabling);
    connect(m_log, &QCheckBox::clicked, this, &CZuAxisDlg::applyEnabling);
    applyEnabling();
}

void CZuAxisDlg::applyEnabling()
{
    // Linear or log, the limits are the user's when auto scale is off.
    m_auto->setEnabled(true);
    const bool manual = !m_auto->isChecked();
    m_minEdit->setEnabled(manual);
    m_maxEdit->setEnabled(manual);
}

bool CZuAxisDlg::readNumber(QLineEdit* edit, double& value)
{
    const std::optional<double> number = nosk::readNumber(edit->text().toStdString(), nosk::kDialogNumber);
    if (!number) {
        if (m_prompt)
            m_prompt->message("Please enter a number.",
                              QGuiApplication::applicationDisplayName().toStdString(),
                              Buttons::Ok, Icon::Warning);
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = *number;
    return true;
}

void CZuAxisDlg::accept()
{
    // Read every field first, so that a refused number leaves the caller's
    // variables untouched.
    double max = m_max;
    double min = m_min;
    if (m_maxEdit->isEnabled() && !readNumber(m_maxEdit, max))
        return;
    if (m_minEdit->isEnabled() && !readNumber(m_minEdit, min))
        return;
    if (m_log->isChecked() && m_minEdit->isEnabled() && !(min > 0 && max > min)) {
        if (m_prompt)
            m_prompt->message("A log scale needs limits above 0, the maximal above the minimal.",
                              QGuiApplication::applicationDisplayName().toStdString(), Buttons::Ok, Icon::Warning);
        m_minEdit->setFocus();
        m_minEdit->selectAll();
        return;
    }
    m_titleText = m_title->text();
    m_logScale = m_log->isChecked() ? 1 : 0;
    if (m_auto->isEnabled())
        m_autoScale = m_auto->isChecked() ? 1 : 0;
    m_max = max;
    m_min = min;
    QDialog::accept();
}

} // namespace nosk
