#pragma once

#include <QDialog>

class QButtonGroup;

namespace nosk {

// "Set type of X axis": what the first data column of the run holds.
class CXAxisTypeDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int ReturnToOriginal = 2;
    static constexpr int kHelpContext = 10043;

    CXAxisTypeDlg(int current, QWidget* parent = nullptr);
    int type() const;
    QButtonGroup* group() const { return m_group; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QButtonGroup* m_group;
};

} // namespace nosk
