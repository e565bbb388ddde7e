#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace nosk {

struct RunOptions;

// "Program options": the four run options, the starts of a fit and the intervals of its parameters; OK stores them at once (the file
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
    QComboBox* intervalsBox() const { return m_intervals; }
    QDoubleSpinBox* levelBox() const { return m_level; }

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
    QComboBox* m_intervals;
    QDoubleSpinBox* m_level;
};

} // namespace nosk
