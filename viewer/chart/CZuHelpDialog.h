#pragma once

#include <QDialog>

namespace nosk {

// A chart dialog that answers F1 by asking for its help topic; the owner of
// the graph routes the number to the help viewer.
class CZuHelpDialog : public QDialog {
    Q_OBJECT
public:
    CZuHelpDialog(int helpContext, QWidget* parent);
    int helpContext() const { return m_helpContext; }

signals:
    void helpRequested(int context);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_helpContext;
};

} // namespace nosk
