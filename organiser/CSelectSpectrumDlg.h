#pragma once

#include "CListSelectDlg.h"

#include <string>

namespace nosk {

struct InstrumentFile;

// "Select spectrum": the spectra of an instrument file that holds several,
// one of which becomes the job's data. Laid out as "Select impedance" is; a
// double click selects too.
class CSelectSpectrumDlg : public CListSelectDlg {
    Q_OBJECT
public:
    CSelectSpectrumDlg(const InstrumentFile& file, const std::string& path, QWidget* parent = nullptr);

    // The selected spectrum (from 0), -1 when none.
    int selectedSpectrum() const { return selectedRow(); }

    // "Spectrum #2: 61 rows, 0.0215 Hz to 100000 Hz" for the list.
    static std::string entryText(const InstrumentFile& file, int index);

    QListWidget* spectrumList() const { return list(); }
    QPlainTextEdit* spectrumDescription() const { return descriptionBox(); }
};

} // namespace nosk
