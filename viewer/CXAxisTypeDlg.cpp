#include "CXAxisTypeDlg.h"

#include "platform/Help.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace nosk {

CXAxisTypeDlg::CXAxisTypeDlg(int current, QWidget* parent)
    : QDialog(parent), m_group(new QButtonGroup(this))
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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* original = buttons->addButton(QStringLiteral("Return to original data"), QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(original, &QPushButton::clicked, this, [this] { done(ReturnToOriginal); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
}

int CXAxisTypeDlg::type() const
{
    const int id = m_group->checkedId();
    return id > 0 ? id : 1;
}

void CXAxisTypeDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(kHelpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nosk
