#include "CXAxisTypeDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace nosk {

CXAxisTypeDlg::CXAxisTypeDlg(int current, QWidget* parent)
    : CRepresentationDlg(kHelpContext, parent), m_group(new QButtonGroup(this))
{
    setWindowTitle(QStringLiteral("Set type of X axis"));
    auto* box = new QGroupBox(this);
    auto* radios = new QVBoxLayout(box);
    const QString names[] = {QStringLiteral("Frequency, Hz"), QStringLiteral("Time"),
                             QStringLiteral("Temperature, K"),
                             QStringLiteral("Inv. Temperature, 10**3/T, 1/K")};
    for (int i = 0; i < 4; ++i) {
        auto* r = new QRadioButton(names[i], box);
        m_group->addButton(r, i + 1);
        radios->addWidget(r);
        if (current == i + 1)
            r->setChecked(true);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(makeButtons());
}

int CXAxisTypeDlg::type() const
{
    const int id = m_group->checkedId();
    return id > 0 ? id : 1;
}

} // namespace nosk
