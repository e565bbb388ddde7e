#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace nosk {

struct InstrumentFile;

// "Select spectrum": the spectra of an instrument file that holds several,
// one of which becomes the job's data. Laid out as "Select impedance" is.
class CSelectSpectrumDlg : public QDialog {
    Q_OBJECT
public:
    CSelectSpectrumDlg(const InstrumentFile& file, const std::string& path, QWidget* parent = nullptr);

    // The selected spectrum (from 0), -1 when none.
    int selectedSpectrum() const;

    // "Spectrum #2: 61 rows, 0.0215 Hz to 100000 Hz" for the list.
    static std::string entryText(const InstrumentFile& file, int index);

    QListWidget* spectrumList() const { return m_list; }
    QPlainTextEdit* spectrumDescription() const { return m_text; }
    QPushButton* selectButton() const { return m_select; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void showSpectrum();

    const InstrumentFile& m_file;
    QListWidget* m_list;
    QPlainTextEdit* m_text;
    QPushButton* m_select;
    QPushButton* m_cancel;
};

} // namespace nosk
