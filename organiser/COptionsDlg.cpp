#include "COptionsDlg.h"

#include "RunOptions.h"
#include "platform/Help.h"
#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace nosk {

COptionsDlg::COptionsDlg(RunOptions& options, QWidget* parent) : QDialog(parent), m_options(options)
{
    setWindowTitle(QStringLiteral("Program options"));
    m_notify = new QCheckBox(QStringLiteral("Send notification to result viewer"));
    m_close = new QCheckBox(QStringLiteral("Close fitting window after run."));
    m_loadOutin = new QCheckBox(QStringLiteral("Load OUTIN file after fitting stops."));
    m_prompt = new QCheckBox(QStringLiteral("Prompt to overwrite OUTIN."));
    // The option depends on a field of the job: say which, beside it.
    m_loadOutinNote = new QLabel(QStringLiteral("Only for a job whose Residual weighting (IRE) is below 0; "
                                                "otherwise File \u2192 Load OUTIN loads the fitted values."));
    m_loadOutinNote->setWordWrap(true);
    m_loadOutinNote->setIndent(20);
    m_loadOutinNote->setStyleSheet(QStringLiteral("color: #606060"));
    m_loadOutin->setToolTip(m_loadOutinNote->text());
    showCheck(m_notify, options.notifyViewer);
    showCheck(m_close, options.closeEngineWindow);
    showCheck(m_loadOutin, options.loadOutinAfterRun);
    showCheck(m_prompt, options.promptStoreOutin);
    m_starts = new QSpinBox;
    m_starts->setRange(1, RunOptions::kMaxStarts);
    m_starts->setValue(options.starts);
    m_starts->setToolTip(QStringLiteral("The most starts of each fit: the engine fits from the start values and "
                                        "from further starts around them until three runs reach the same lowest "
                                        "S, or these starts are spent. 1: a single fit."));
    // In the order of RunOptions::intervals.
    m_intervals = new QComboBox;
    m_intervals->addItems({QStringLiteral("None"), QStringLiteral("Profile likelihood"), QStringLiteral("Bootstrap")});
    m_intervals->setCurrentIndex(options.intervals);
    m_intervals->setToolTip(QStringLiteral("Intervals of the free parameters beside their std devs: the profile of S "
                                           "with the others refitted, or 500 refits to resampled residuals."));
    m_level = new QDoubleSpinBox;
    m_level->setRange(0.5, 0.999);
    m_level->setDecimals(3);
    m_level->setSingleStep(0.01);
    m_level->setValue(options.intervalLevel / 1000.0);

    auto* ok = new QPushButton(QStringLiteral("OK"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* b : {m_notify, m_close, m_loadOutin, m_prompt}) {
        layout->addWidget(b);
        if (b == m_loadOutin)
            layout->addWidget(m_loadOutinNote);
    }
    auto* startsRow = new QHBoxLayout;
    auto* startsLabel = new QLabel(QStringLiteral("&Starts of each fit:"));
    startsLabel->setBuddy(m_starts);
    startsRow->addWidget(startsLabel);
    startsRow->addWidget(m_starts);
    startsRow->addStretch();
    layout->addLayout(startsRow);
    auto* intervalsRow = new QHBoxLayout;
    auto* intervalsLabel = new QLabel(QStringLiteral("&Intervals:"));
    intervalsLabel->setBuddy(m_intervals);
    auto* levelLabel = new QLabel(QStringLiteral("&Level:"));
    levelLabel->setBuddy(m_level);
    intervalsRow->addWidget(intervalsLabel);
    intervalsRow->addWidget(m_intervals);
    intervalsRow->addWidget(levelLabel);
    intervalsRow->addWidget(m_level);
    intervalsRow->addStretch();
    layout->addLayout(intervalsRow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void COptionsDlg::accept()
{
    m_options.notifyViewer = m_notify->isChecked() ? 1 : 0;
    m_options.closeEngineWindow = m_close->isChecked() ? 1 : 0;
    m_options.loadOutinAfterRun = m_loadOutin->isChecked() ? 1 : 0;
    m_options.promptStoreOutin = m_prompt->isChecked() ? 1 : 0;
    m_options.starts = m_starts->value();
    m_options.intervals = m_intervals->currentIndex();
    m_options.intervalLevel = static_cast<int>(std::lround(m_level->value() * 1000));
    QDialog::accept();
}

void COptionsDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(10037);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
