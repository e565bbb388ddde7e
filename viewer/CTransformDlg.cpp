#include "CTransformDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/NumberText.h"
#include "core/Prompt.h"
#include "job/JobFields.h"
#include "platform/Platform.h"

namespace nosk {

namespace {
// The entries of a code list; the code's entry selected, or the first for a
// code not in the list.
QComboBox* codeList(const CodeList& list, char code, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    for (const char* entry : list.entries)
        box->addItem(QString::fromLatin1(entry));
    const auto at = list.codes.find(code);
    box->setCurrentIndex(at == std::string_view::npos ? 0 : static_cast<int>(at));
    return box;
}
} // namespace

CTransformDlg::CTransformDlg(const TransformChoice& current, QWidget* parent)
    : CRepresentationDlg(kHelpContext, parent), m_choice(current)
{
    setWindowTitle(QStringLiteral("Data transformation"));
    m_level = codeList(kLevels, current.level, this);
    m_format = codeList(kFormats, current.format, this);
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
    const std::optional<double> number = nosk::readNumber(m_celcap->text().toStdString(), nosk::kDialogNumber);
    if (!number) {
        Platform::instance().prompt().message("Please enter a number.", windowTitle().toStdString(), Buttons::Ok,
                                              Icon::Warning);
        return;
    }
    m_choice.level = kLevels.codes[static_cast<std::size_t>(m_level->currentIndex())];
    m_choice.format = kFormats.codes[static_cast<std::size_t>(m_format->currentIndex())];
    m_choice.ire = m_frequency->currentIndex() == 1 ? -11 : -10;
    m_choice.celcap = *number;
    QDialog::accept();
}

} // namespace nosk
