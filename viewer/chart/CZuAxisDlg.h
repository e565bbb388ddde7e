#pragma once

#include "CZuHelpDialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace nosk {

class Prompt;

// "Axis properties": title, "Auto scale", "Log scale", minimum and maximum.
// The flags and numbers are the caller's variables; they change only on OK.
// With "Log scale" checked, "Auto scale" and both numbers are disabled;
// otherwise the numbers are enabled exactly when "Auto scale" is unchecked.
class CZuAxisDlg : public CZuHelpDialog {
    Q_OBJECT
public:
    CZuAxisDlg(const QString& title, int& autoScale, int& logScale, double& max, double& min,
               int helpContext, Prompt* prompt, QWidget* parent = nullptr);

    QString title() const { return m_titleText; }

    QLineEdit* titleEdit() const { return m_title; }
    QCheckBox* autoBox() const { return m_auto; }
    QCheckBox* logBox() const { return m_log; }
    QLineEdit* minEdit() const { return m_minEdit; }
    QLineEdit* maxEdit() const { return m_maxEdit; }
    QPushButton* okButton() const { return m_ok; }

public slots:
    void accept() override;

private:
    void applyEnabling();
    bool readNumber(QLineEdit* edit, double& value);

    int& m_autoScale;
    int& m_logScale;
    double& m_max;
    double& m_min;
    Prompt* m_prompt;
    QString m_titleText;

    QLineEdit* m_title;
    QCheckBox* m_auto;
    QCheckBox* m_log;
    QLineEdit* m_minEdit;
    QLineEdit* m_maxEdit;
    QPushButton* m_ok;
};

} // namespace nosk
