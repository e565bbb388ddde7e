#pragma once

#include "ui/CJobPage.h"

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nosk {

class CParamEditor;
class Prompt;

// "Fitting options": the run header of the job, its control integers and the
// model parameters. DINP, PINP and IRCH act on the record at once, because
// the "Data lines" page shows them.
class CFitOptionsPage : public CJobPage {
    Q_OBJECT
public:
    CFitOptionsPage(FitJob* job, Prompt& prompt, const QFont& bold, QWidget* parent = nullptr);

    void LoadFromJob() override;
    // Takes the boxes in order up to one that holds what the job cannot take
    // ("Wrong number! ..."); that box and those after it keep the job's
    // values. False when a box was refused (after saying so).
    [[nodiscard]] bool StoreToJob() override;
    // Every box as shown, for telling a changed job.
    QString stateText() const;

    // The work folder's CIRCUITS changed: the definition line, its tooltip
    // and the DE links are shown anew for the circuit chosen.
    void circuitsChanged();

    // Shown by the "Data lines" page after its own changes.
    void showDataPoints(int m);
    void showCelcap(double celcap);

    // "Set" beside the N box; "Help" beside the FUN list.
    void setParameterCount();
    void circuitHelp();

    CParamEditor* paramEditor() const { return m_params; }
    // A job field's box or list by its name ("MAXFEV", "description").
    QLineEdit* edit(const char* field) const;
    QComboBox* list(const char* field) const;
    QPushButton* setButton() const { return m_set; }
    QPushButton* helpButton() const { return m_help; }
    // "Limits" beside "Set": the editor's limit columns shown or hidden.
    QCheckBox* limitsBox() const { return m_limits; }
    // The line below the FUN list: the chosen circuit's definition in force.
    QLabel* definitionLabel() const { return m_definition; }
    // Shows the definition of `fun` beside the list (and as its tooltip) and
    // moves the parameter editor's DE links to it.
    void showCircuit(char fun);
    // The FUN list's entries: each letter with its circuit's name.
    void nameCircuits();

signals:
    void levelChanged();     // DINP picked
    void formatChanged();    // PINP picked
    void weightingChanged(); // IRCH changed: the data page rebuilds its grid

private:
    void irchEdited(const QString& text);

    Prompt& m_prompt;
    QLineEdit* m_description;
    std::vector<QWidget*> m_boxes;  // a job field's control at the field's place in kJobFields
    QPushButton* m_set;
    QPushButton* m_help;
    QCheckBox* m_limits;
    QLabel* m_definition;
    CParamEditor* m_params;
};

} // namespace nosk
