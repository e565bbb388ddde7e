#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace nosk {

// The layout "Select impedance" and "Select spectrum" share: the file's
// description on top, the list of what the file holds beside the description
// of the entry selected, "Select" and "Cancel" below. The first entry starts
// selected.
class CListSelectDlg : public QDialog {
    Q_OBJECT
public:
    struct Texts {
        QString title;
        QString fileCaption;         // above the file's description
        QString listCaption;         // above the list
        QString descriptionCaption;  // above the entry's description
    };
    // describe(row) gives the text of an entry for the description box.
    CListSelectDlg(const Texts& texts, const QString& fileText, const QStringList& entries, const QSize& size,
                   std::function<QString(int)> describe, QWidget* parent);

    // The selected entry (from 0), -1 when none.
    int selectedRow() const;

    QLabel* fileLabel() const { return m_file; }
    QListWidget* list() const { return m_list; }
    QPlainTextEdit* descriptionBox() const { return m_text; }
    QPushButton* selectButton() const { return m_select; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void showDescription();

    std::function<QString(int)> m_describe;
    QLabel* m_file;
    QListWidget* m_list;
    QPlainTextEdit* m_text;
    QPushButton* m_select;
    QPushButton* m_cancel;
};

} // namespace nosk
