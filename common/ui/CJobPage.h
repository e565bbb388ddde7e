#pragma once

#include "CTabPage.h"

namespace nosk {

class FitJob;

// A page of the organiser that shows the one fit job: LoadFromJob puts the
// record into the controls, StoreToJob takes the controls back into it and
// returns whether every control was taken (a refused one has been said).
// Enter and Esc inside a page do nothing, so typing in a box never closes
// the window.
class CJobPage : public CTabPage {
    Q_OBJECT
public:
    CJobPage(FitJob* job, const QString& title, int helpContext = 0, QWidget* parent = nullptr);

    virtual void LoadFromJob() {}
    [[nodiscard]] virtual bool StoreToJob() { return true; }

    FitJob* job() const { return m_job; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    FitJob* m_job;
};

} // namespace nosk
