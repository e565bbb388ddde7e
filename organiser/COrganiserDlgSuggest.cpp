// The organiser window's circuit suggestion: Run -> "Suggest circuits...",
// and the chosen circuit written into CIRCUITS and the job.
#include "COrganiserDlg.h"

#include "CSuggestDlg.h"
#include "core/Prompt.h"
#include "core/WorkFolderFiles.h"
#include "ops/CircuitsFile.h"
#include "ops/Spectrum.h"
#include "platform/DialogRunner.h"
#include "platform/FileWatch.h"

namespace nosk {

void COrganiserDlg::onSuggestCircuits()
{
    if (!storeToJob())
        return;
    if (m_job.M <= 0) {
        m_prompt.message("The job holds no data lines to suggest a circuit for.\n\nLoad or import a spectrum "
                         "(Data menu) first.",
                         "Suggest circuits", Buttons::Ok, Icon::Error);
        return;
    }
    // Real data or data that cannot be read as impedance end in the
    // command's error box with the reason.
    Spectrum spectrum = spectrumOf(m_job);
    CSuggestDlg dlg(std::move(spectrum.frequencyHz), std::move(spectrum.z), QString::fromStdString(spectrumName()),
                    this);
    const bool accepted = runModal(dlg) == QDialog::Accepted;
    if (!dlg.error().empty()) {
        m_prompt.message("No circuit could be suggested: " + dlg.error(), "Suggest circuits", Buttons::Ok,
                         Icon::Error);
        return;
    }
    const suggest::Ranked* chosen = accepted ? dlg.chosen() : nullptr;
    if (!chosen)
        return;
    std::vector<double> values;
    for (const suggest::FittedParameter& p : chosen->parameters)
        values.push_back(p.value);
    useSuggestedCircuit(chosen->candidate.label, chosen->candidate.circuit, values);
}

bool COrganiserDlg::useSuggestedCircuit(const std::string& label, const std::string& definition,
                                        const std::vector<double>& values)
{
    const std::string path = workfiles::kCircuits;
    const std::string text = circuitsfile::readText(path);
    // The letter: one that CIRCUITS does not define yet, unless the user
    // prefers the job's own letter (its circuit is then replaced).
    const char current = m_job.FUN;
    const char free = circuitsfile::freeLetter(text, current);
    char letter = current;
    if (free) {
        const std::string question = "Write the circuit " + label + " into CIRCUITS as letter " + free
            + ", which CIRCUITS does not define yet?\n\nYes: letter " + free + ".\nNo: letter " + current
            + ", the job's circuit now.\n\nThat letter's circuit is then this one for every job in this work "
              "folder, and the job's circuit (FUN) becomes that letter.";
        const Answer a = m_prompt.message(question, "Suggest circuits", Buttons::YesNoCancel, Icon::Question);
        if (a == Answer::Cancel)
            return false;
        letter = a == Answer::Yes ? free : current;
    }
    // A definition of the user's own is replaced only when the user says so.
    if (const std::string old = circuitsfile::definitionOf(text, letter); !old.empty() && old != definition) {
        const std::string question = std::string("CIRCUITS defines letter ") + letter + " already:\n" + letter + " = "
            + old + "\n\nReplace it with\n" + letter + " = " + definition + " ?";
        if (m_prompt.message(question, "Suggest circuits", Buttons::YesNo, Icon::Question) != Answer::Yes)
            return false;
    }
    circuitsfile::writeDefinition(path, letter, definition, "suggested circuit: " + label);
    circuitsfile::setCircuit(m_job, letter, values);
    // The pages name the parameters by the new definition at once.
    m_circuitsWatch->check();
    loadFromJob();
    std::string status = std::string(1, letter) + " = " + label + ", the suggested circuit: SAVE AND RUN fits it";
    // The suggestion weighted each point by |Z|: another weighting finds another S.
    if (m_job.IRCH != 3)
        status += " (its S is for IRCH 3)";
    setStatus(QString::fromStdString(status));
    return true;
}

} // namespace nosk
