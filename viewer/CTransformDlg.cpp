#include "CTransformDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/Prompt.h"
#include "platform/Platform.h"

namespace nosk {

namespace {
const char kLevels[] = "ZYME";
const char kFormats[] = "PDLR";

int indexOf(const char* codes, char c)
{
    for (int i = 0; codes[i]; ++i)
        if (codes[i] == c)
            return i;
    return 0;  // a code not in the list selects the first entry
}
} // namespace

CTransformDlg::CTransformDlg(const TransformChoice& current, QWidget* parent)
    : CRepresentationDlg(kHelpContext, parent), m_choice(current)
{
    setWindowTitle(QStringLiteral("Data transformation"));
    m_level = new QComboBox(this);
    m_level->addItems({QStringLiteral("Z, Impedance"), QStringLiteral("Y, Admittance"),
                       QStringLiteral("M, Modulus"), QStringLiteral("E, Epsilon")});
    m_level->setCurrentIndex(indexOf(kLevels, current.level));
    m_format = new QComboBox(this);
    m_format->addItems({QStringLiteral("P, polar (radian)"), QStringLiteral("D, polar (degree)"),
                        QStringLiteral("L, log polar"), QStringLiteral("R, rectangular")});
    m_format->setCurrentIndex(indexOf(kFormats, current.format));
    m_frequency = new QComboBox(this);
    m_frequency->addItems({QStringLiteral("A, Angular"), QStringLiteral("F, Ordinary")});
    m_frequency->setCurrentIndex(current.ire == -11 ? 1 : 0);
    m_celcap = new QLineEdit(QString::number(current.celcap, 'g', 15), this);
    auto* validator = new QDoubleValidator(this);
    validator->setLocale(QLocale::c());
    m_celcap->setValidator(validator);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("New fitting system (DFIT)"), m_level);
    form->addRow(QStringLiteral("Complex fit format (PFIT)"), m_format);
    form->addRow(QStringLiteral("Frequency representation"), m_frequency);
    form->addRow(new QLabel(QStringLiteral("Cell capacity (CELCAP)\nParameter required for\nZ,Y <--> M,E transforms"), this),
                 m_celcap);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(makeButtons());
}

void CTransformDlg::accept()
{
    bool ok = false;
    const double c = QLocale::c().toDouble(m_celcap->text().trimmed(), &ok);
    if (!ok) {
        Platform::instance().prompt().message("Please enter a number.", windowTitle().toStdString(), Buttons::Ok,
                                              Icon::Warning);
        return;
    }
    m_choice.level = kLevels[m_level->currentIndex()];
    m_choice.format = kFormats[m_format->currentIndex()];
    m_choice.ire = m_frequency->currentIndex() == 1 ? -11 : -10;
    m_choice.celcap = c;
    QDialog::accept();
}

} // namespace nosk
