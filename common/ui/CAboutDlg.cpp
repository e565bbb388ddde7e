#include "CAboutDlg.h"

#include "platform/Help.h"
#include "platform/ProgramIdentity.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace nosk {

CAboutDlg::CAboutDlg(const AboutTexts& texts, QWidget* parent)
    : QDialog(parent), m_moreInfo(new QPushButton(texts.moreInfo, this))
{
    setWindowTitle(texts.title);
    auto* text = new QLabel(texts.text, this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_moreInfo->setAutoDefault(false);
    m_moreInfo->setObjectName(QStringLiteral("moreInfo"));
    connect(m_moreInfo, &QPushButton::clicked, this, [] { openHelpTopic(kMoreInfoHelpContext); });
    auto* buttons = new QHBoxLayout;
    if (texts.moreInfoLeft) {
        buttons->addWidget(m_moreInfo);
        buttons->addStretch(1);
        buttons->addWidget(ok);
    } else {
        buttons->addStretch(1);
        buttons->addWidget(ok);
        buttons->addWidget(m_moreInfo);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(licenceView(this));
    layout->addLayout(buttons);
}

} // namespace nosk
