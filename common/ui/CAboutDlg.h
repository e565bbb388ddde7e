#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

namespace nosk {

// What a program's About box says.
struct AboutTexts {
    QString title;     // "About NOSKRUN"
    QString text;      // the name, the version and what the program is for
    QString moreInfo;  // the button that opens the help topic on the developers
    // Where that button stands: left of "OK" at the box's left edge, or
    // right of "OK" at the right edge.
    bool moreInfoLeft = false;
};

// The About box of both programs: the program's texts, the licence, "OK",
// and a button that opens the help topic on the developers.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMoreInfoHelpContext = 10001;
    explicit CAboutDlg(const AboutTexts& texts, QWidget* parent = nullptr);
    QPushButton* moreInfoButton() const { return m_moreInfo; }

private:
    QPushButton* m_moreInfo;
};

} // namespace nosk
