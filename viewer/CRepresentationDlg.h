#pragma once

#include <QDialog>

class QDialogButtonBox;

namespace nosk {

// A viewer dialog that changes how the run is shown: OK, Cancel and "Return
// to original data" below its controls; F1 opens its help topic.
class CRepresentationDlg : public QDialog {
    Q_OBJECT
public:
    // The result code of "Return to original data".
    static constexpr int ReturnToOriginal = 2;

protected:
    CRepresentationDlg(int helpContext, QWidget* parent);
    // The button row, connected: OK to accept(), Cancel to reject().
    QDialogButtonBox* makeButtons();
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_helpContext;
};

} // namespace nosk
