#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace nosk {

struct RunOptions;

// "Program options": the four run options and the starts of a fit; OK stores them at once (the file
// is written when the program ends), Cancel changes nothing.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(RunOptions& options, QWidget* parent = nullptr);

    QCheckBox* notifyBox() const { return m_notify; }
    QCheckBox* closeBox() const { return m_close; }
    QCheckBox* loadOutinBox() const { return m_loadOutin; }
    QCheckBox* promptBox() const { return m_prompt; }
    QSpinBox* startsBox() const { return m_starts; }

    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    RunOptions& m_options;
    QCheckBox* m_notify;
    QCheckBox* m_close;
    QCheckBox* m_loadOutin;
    QLabel* m_loadOutinNote;
    QCheckBox* m_prompt;
    QSpinBox* m_starts;
};

} // namespace nosk
