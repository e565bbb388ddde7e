#include "CAboutDlg.h"

#include "platform/Help.h"
#include "platform/ProgramIdentity.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace nosk {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent), m_moreInfo(new QPushButton(QStringLiteral("More info on developers team..."), this))
{
    setWindowTitle(QStringLiteral("About NOSKVIEW"));
    auto* text = new QLabel(QStringLiteral("NOSKVIEW Version 1.0\n\nThe result viewer of the NOSK fitting programs:\n"
                                           "graphs, statistics and files of the last run of the work folder."),
                            this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_moreInfo->setAutoDefault(false);
    connect(m_moreInfo, &QPushButton::clicked, this, [] { openHelpTopic(kMoreInfoHelpContext); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_moreInfo);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(licenceView(this));
    layout->addLayout(buttons);
}

} // namespace nosk
