#include "CSelectSpectrumDlg.h"

#include "ops/InstrumentImport.h"

#include <QListWidget>

#include <algorithm>
#include <cstdio>

namespace nosk {

namespace {

QStringList spectrumEntries(const InstrumentFile& file)
{
    QStringList entries;
    for (int i = 0; i < int(file.spectra.size()); ++i)
        entries << QString::fromStdString("Spectrum #" + std::to_string(i + 1));
    return entries;
}

} // namespace

CSelectSpectrumDlg::CSelectSpectrumDlg(const InstrumentFile& file, const std::string& path, QWidget* parent)
    : CListSelectDlg({QStringLiteral("Select spectrum"), QStringLiteral("File:"),
                      QStringLiteral("Spectra in the file:"), QStringLiteral("Spectrum description:")},
                     QString::fromStdString(path + "  (" + file.format + ")"), spectrumEntries(file), QSize(560, 300),
                     [f = &file](int i) {
                         if (i >= int(f->spectra.size()))
                             return QString();
                         return QString::fromStdString(entryText(*f, i));
                     },
                     parent)
{
    connect(list(), &QListWidget::itemDoubleClicked, this, &QDialog::accept);
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

} // namespace nosk
