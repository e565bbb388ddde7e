#pragma once

#include <QDialog>

class QPushButton;

namespace nosk {

// The About box: the program's name and version, "OK", and a button that
// opens the help topic on the developers.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMoreInfoHelpContext = 10001;
    explicit CAboutDlg(QWidget* parent = nullptr);
    QPushButton* moreInfoButton() const { return m_moreInfo; }

private:
    QPushButton* m_moreInfo;
};

} // namespace nosk
