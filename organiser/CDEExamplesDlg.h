#pragma once

#include <QDialog>

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace nosk {

// "Examples of  DE using": lists the example jobs that use a DE and opens
// the chosen one.
class CDEExamplesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDEExamplesDlg(QWidget* parent = nullptr);

    // After "Open example": the full path of the chosen example.
    const std::string& examplePath() const { return m_path; }

    QListWidget* deList() const { return m_deList; }
    QListWidget* exampleList() const { return m_examples; }
    QPlainTextEdit* descriptionBox() const { return m_description; }
    QPushButton* helpButton() const { return m_help; }
    QPushButton* openButton() const { return m_open; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void deSelected();
    void openExample();

    QListWidget* m_deList;
    QListWidget* m_examples;
    QPlainTextEdit* m_description;
    QPushButton* m_help;
    QPushButton* m_open;
    QPushButton* m_cancel;
    std::string m_path;
};

} // namespace nosk
