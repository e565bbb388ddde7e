#pragma once

#include <QDialog>

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace nosk {

// "Select DE": picks the distributed element of a DE selector parameter,
// plainly ("OK") or as subtracted ("Subtract").
class CSelectDEDlg : public QDialog {
    Q_OBJECT
public:
    // The result code of the "Subtract" button; "OK" gives Accepted.
    static constexpr int Subtract = 2;

    CSelectDEDlg(const QString& linkText, int de, int param, QWidget* parent = nullptr);

    // The selected DE number, -1 when nothing is selected.
    int selectedDE() const;
    // What the dialog was opened for: the link's text and the parameter.
    const QString& linkText() const { return m_linkText; }
    int param() const { return m_param; }

    QListWidget* list() const { return m_list; }
    QPlainTextEdit* descriptionBox() const { return m_description; }
    QPushButton* helpButton() const { return m_help; }
    QPushButton* subtractButton() const { return m_subtract; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showDescription(int row);

    QString m_linkText;
    int m_param;
    QListWidget* m_list;
    QPlainTextEdit* m_description;
    QPushButton* m_help;
    QPushButton* m_subtract;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// Shows a DE's whole description text, with CR LF line breaks, in a box.
QString deDescriptionForBox(int de);
// Makes the description box wide enough for every line of every DE's text,
// so that formulas are not broken across lines.
void fitDescriptionBox(QPlainTextEdit* box);

} // namespace nosk
