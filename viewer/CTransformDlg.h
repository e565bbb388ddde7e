#pragma once

#include "CRepresentationDlg.h"
#include "ViewerRun.h"

class QComboBox;
class QLineEdit;

namespace nosk {

// "Data transformation": the level, complex format and frequency
// representation in which the run is shown, and the cell capacity for the
// Z,Y <--> M,E transforms.
class CTransformDlg : public CRepresentationDlg {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10028;

    CTransformDlg(const TransformChoice& current, QWidget* parent = nullptr);
    TransformChoice choice() const { return m_choice; }

    QComboBox* levelList() const { return m_level; }
    QComboBox* formatList() const { return m_format; }
    QComboBox* frequencyList() const { return m_frequency; }
    QLineEdit* celcapEdit() const { return m_celcap; }

    void accept() override;

private:
    TransformChoice m_choice;
    QComboBox* m_level;
    QComboBox* m_format;
    QComboBox* m_frequency;
    QLineEdit* m_celcap;
};

} // namespace nosk
