#pragma once

#include "CRepresentationDlg.h"

class QButtonGroup;

namespace nosk {

// "Set type of X axis": what the first data column of the run holds.
class CXAxisTypeDlg : public CRepresentationDlg {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10043;

    CXAxisTypeDlg(int current, QWidget* parent = nullptr);
    int type() const;
    QButtonGroup* group() const { return m_group; }

private:
    QButtonGroup* m_group;
};

} // namespace nosk
