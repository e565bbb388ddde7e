#pragma once

#include "CListSelectDlg.h"

namespace nosk {

class SolartronFile;

// "Select impedance": the blocks of a Solartron file, one of which becomes
// the job's data.
class CSelectImpedanceDlg : public CListSelectDlg {
    Q_OBJECT
public:
    explicit CSelectImpedanceDlg(const SolartronFile& file, QWidget* parent = nullptr);

    // The selected block (from 0), -1 when none.
    int selectedBlock() const { return selectedRow(); }

    QLabel* fileDescription() const { return fileLabel(); }
    QListWidget* blockList() const { return list(); }
    QPlainTextEdit* blockDescription() const { return descriptionBox(); }
};

} // namespace nosk
