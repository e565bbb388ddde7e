#pragma once

#include <memory>

class QPrinter;
class QWidget;

namespace nosk {

// The modal dialogs of the viewer's commands. The window asks through this
// interface so that tests can answer them without a modal loop.
enum class DialogResult { Ok, Cancel, ReturnToOriginal };

struct TransformChoice {
    char level = 'Z';      // DFIT
    char format = 'R';     // PFIT
    int ire = -10;         // -10 angular, -11 ordinary
    double celcap = 0;
};

class ViewerDialogs {
public:
    virtual ~ViewerDialogs() = default;
    // "Data transformation": choice holds the current values and receives the new ones.
    virtual DialogResult transform(QWidget* parent, TransformChoice& choice) = 0;
    // "Set type of X axis": type holds the current type and receives the chosen one.
    virtual DialogResult xAxisType(QWidget* parent, int& type) = 0;
    // The print setup: false when cancelled; printer stays empty when the
    // dialog gave no printer.
    virtual bool printSetup(QWidget* parent, std::unique_ptr<QPrinter>& printer) = 0;
    virtual void about(QWidget* parent) = 0;
};

// The real dialogs.
class QtViewerDialogs : public ViewerDialogs {
public:
    DialogResult transform(QWidget* parent, TransformChoice& choice) override;
    DialogResult xAxisType(QWidget* parent, int& type) override;
    bool printSetup(QWidget* parent, std::unique_ptr<QPrinter>& printer) override;
    void about(QWidget* parent) override;
};

} // namespace nosk
