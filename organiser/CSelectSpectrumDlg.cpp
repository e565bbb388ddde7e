#include "CSelectSpectrumDlg.h"

#include "ops/InstrumentImport.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace nosk {

CSelectSpectrumDlg::CSelectSpectrumDlg(const InstrumentFile& file, const std::string& path, QWidget* parent)
    : QDialog(parent), m_file(file)
{
    setWindowTitle(QStringLiteral("Select spectrum"));
    auto* description = new QLabel(QString::fromStdString(path + "  (" + file.format + ")"));
    description->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    description->setMargin(3);
    m_list = new QListWidget;
    for (int i = 0; i < int(file.spectra.size()); ++i)
        m_list->addItem(QString::fromStdString("Spectrum #" + std::to_string(i + 1)));
    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_select = new QPushButton(QStringLiteral("Select"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_select->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("File:")), 0, 0, 1, 2);
    grid->addWidget(description, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Spectra in the file:")), 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("Spectrum description:")), 2, 1);
    grid->addWidget(m_list, 3, 0);
    grid->addWidget(m_text, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_select);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(560, 300);

    connect(m_list, &QListWidget::currentRowChanged, this, &CSelectSpectrumDlg::showSpectrum);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_select, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    showSpectrum();
}

int CSelectSpectrumDlg::selectedSpectrum() const
{
    return m_list->currentRow();
}

std::string CSelectSpectrumDlg::entryText(const InstrumentFile& file, int index)
{
    const ImportedSpectrum& s = file.spectra.at(size_t(index));
    const auto [lo, hi] = std::minmax_element(s.freq.begin(), s.freq.end());
    char text[160];
    std::snprintf(text, sizeof text, "Spectrum #%d: %zu rows (%d skipped)\n%g Hz to %g Hz\n%s", index + 1, s.freq.size(),
                  s.rowsSkipped, *lo, *hi, s.label.c_str());
    return text;
}

void CSelectSpectrumDlg::showSpectrum()
{
    const int i = selectedSpectrum();
    if (i < 0 || i >= int(m_file.spectra.size())) {
        m_text->clear();
        return;
    }
    m_text->setPlainText(QString::fromStdString(entryText(m_file, i)));
}

} // namespace nosk
