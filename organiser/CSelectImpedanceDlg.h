#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace nosk {

class SolartronFile;

// "Select impedance": the blocks of a Solartron file, one of which becomes
// the job's data.
class CSelectImpedanceDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSelectImpedanceDlg(const SolartronFile& file, QWidget* parent = nullptr);

    // The selected block (from 0), -1 when none.
    int selectedBlock() const;

    QLabel* fileDescription() const { return m_description; }
    QListWidget* blockList() const { return m_blocks; }
    QPlainTextEdit* blockDescription() const { return m_blockText; }
    QPushButton* selectButton() const { return m_select; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void showBlock();

    const SolartronFile& m_file;
    QLabel* m_description;
    QListWidget* m_blocks;
    QPlainTextEdit* m_blockText;
    QPushButton* m_select;
    QPushButton* m_cancel;
};

} // namespace nosk
