// The organiser window's file and data commands: loading and saving jobs,
// the work files, the imports and conversions of the data lines, and the
// example jobs.
#include "COrganiserDlg.h"

#include "COptionsDlg.h"
#include "CSelectImpedanceDlg.h"
#include "CSelectSpectrumDlg.h"
#include "EngineOutputs.h"
#include "Locations.h"
#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"
#include "core/Prompt.h"
#include "core/RunCommand.h"
#include "core/WorkFolderFiles.h"
#include "core/WorkFolderLock.h"
#include "ops/DataExport.h"
#include "ops/DataSheetImport.h"
#include "ops/FrequencyConversion.h"
#include "ops/InstrumentImport.h"
#include "ops/SolartronImport.h"
#include "platform/DialogRunner.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nosk {

namespace {

// Whether a line is a row of numbers as a data sheet holds them (at least
// two, between blanks, tabs, commas or semicolons).
bool isNumberRow(const std::string& line)
{
    std::string t = line;
    for (char& c : t)
        if (c == ',' || c == ';' || c == '\t' || c == '\r')
            c = ' ';
    std::istringstream in(t);
    std::string field;
    int count = 0;
    while (in >> field) {
        if (!readNumber(field, kSheetField))
            return false;
        ++count;
    }
    return count >= 2;
}

// A file of data columns rather than a job: its second and third lines (not
// counting empty ones) are rows of numbers. A job's second line holds its
// code letters.
bool looksLikeDataSheet(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::vector<std::string> lines;
    while (lines.size() < 3 && lines::nextLine(in, line))
        if (line.find_first_not_of(" \t") != std::string::npos)
            lines.push_back(line);
    return lines.size() == 3 && isNumberRow(lines[1]) && isNumberRow(lines[2]);
}

} // namespace

FileRequest COrganiserDlg::allFiles(const std::string& title)
{
    FileRequest r;
    r.title = title;
    r.filters = {{"All files (*.*)", "*.*"}};
    return r;
}

FileRequest COrganiserDlg::jobFiles(const std::string& title) const
{
    namespace fs = std::filesystem;
    FileRequest r;
    r.title = title;
    r.filters = {{"Job files (*.tst)", "*.tst;*.TST;*.Tst"}, {"All files (*.*)", "*.*"}};
    std::error_code ec;
    std::string folder;
    if (!m_currentFileName.empty())
        folder = fs::absolute(m_currentFileName, ec).parent_path().string();
    if (folder.empty() || !fs::is_directory(folder, ec))
        folder = m_lastFolder;
    if (folder.empty() || !fs::is_directory(folder, ec))
        folder = fs::current_path(ec).string();
    r.initialName = folder;
    return r;
}

void COrganiserDlg::rememberFolder(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(fs::absolute(path, ec), ec).parent_path();
    if (ec || folder.empty())
        return;
    // A job taken from the bundled examples is opened as a copy in the work
    // folder: the examples' folders are no place to save into.
    const std::string examples = locations::bundledExamplesDir();
    if (!examples.empty()) {
        const fs::path root = fs::weakly_canonical(examples, ec);
        if (!ec && std::mismatch(root.begin(), root.end(), folder.begin(), folder.end()).first == root.end())
            return;
    }
    m_lastFolder = folder.string();
}

// "Select impedance" over the window.
class COrganiserDlg::DialogBlockChooser : public ImpedanceBlockChooser {
public:
    explicit DialogBlockChooser(COrganiserDlg& window) : m_window(window) {}
    std::optional<int> chooseBlock(const SolartronFile& file) override
    {
        CSelectImpedanceDlg dlg(file, &m_window);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedBlock() < 0)
            return std::nullopt;
        return dlg.selectedBlock();
    }

private:
    COrganiserDlg& m_window;
};

bool COrganiserDlg::saveJob()
{
    std::string path = m_currentFileName;
    if (path.empty()) {
        auto chosen = m_prompt.saveFile(jobFiles());
        if (!chosen)
            return false;
        path = *chosen;
        rememberFolder(path);
    }
    if (!storeToJob())
        return false;
    if (!runCommand(m_prompt, [&] { m_job.save(path); }))
        return false;
    setCurrentFile(QString::fromStdString(path), path);
    markUnchanged();
    return true;
}

bool COrganiserDlg::maySetJobAside(const char* question)
{
    if (!jobChanged())
        return true;
    const std::string name = m_currentFileName.empty() ? std::string("The job") : "The job " + m_currentFileName;
    switch (m_prompt.message(name + " has changed.\n" + question, kProgram,
                             Buttons::SaveDiscardCancel, Icon::Question)) {
    case Answer::Yes: return saveJob();
    case Answer::No: return true;
    default: return false;
    }
}

// ---------------------------------------------------------------- File menu

bool COrganiserDlg::loadIntoCopy(const std::string& path, bool headerOnly)
{
    // The job changes only when the whole file has been read: a failed load
    // leaves it as the pages show it.
    FitJob loaded = m_job;
    std::string failure;
    try {
        if (headerOnly)
            loaded.loadHeader(path);
        else
            loaded.load(path);
    } catch (const std::exception& e) {
        failure = failureText(e);
    }
    if (!failure.empty()) {
        if (looksLikeDataSheet(path))
            failure = "This looks like a data sheet: use Data \xE2\x86\x92 Load data from ASCII";
        m_prompt.message(failure, "ERROR", Buttons::Ok, Icon::Error);
        return false;
    }
    m_job = std::move(loaded);
    return true;
}

void COrganiserDlg::LoadJobFile(const std::string& path)
{
    if (!loadIntoCopy(path, false))
        return;
    loadFromJob();
    setCurrentFile(QString::fromStdString(path), path);
    m_jobIsNew = false;
    markUnchanged();
    dataReplaced();
}

void COrganiserDlg::onFileNew()
{
    if (!maySetJobAside())
        return;
    m_job.clear();
    loadFromJob();
    setCurrentFile(QString::fromLatin1(kProgram), std::string());
    m_jobIsNew = true;
    markUnchanged();
    dataReplaced();
}

namespace {

// Whether `inner` lies in `folder` or below it (both made absolute).
bool liesIn(const std::filesystem::path& inner, const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec);
    const fs::path b = fs::weakly_canonical(folder, ec);
    if (ec || b.empty())
        return false;
    return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

} // namespace

void COrganiserDlg::onLoadTst()
{
    auto path = m_prompt.openFile(jobFiles());
    if (!path || !maySetJobAside())
        return;
    rememberFolder(*path);
    // An installed example (the file dialog's side bar leads there) opens
    // as a copy in the work folder, never in place.
    const std::string examples = locations::bundledExamplesDir();
    std::error_code ec;
    if (!examples.empty() && liesIn(*path, examples) && !liesIn(*path, std::filesystem::current_path(ec))) {
        openExample(*path);
        return;
    }
    LoadJobFile(*path);
}

void COrganiserDlg::onLoadTmp()
{
    auto path = m_prompt.openFile(allFiles());
    if (!path || !maySetJobAside())
        return;
    if (!loadIntoCopy(*path, true))
        return;
    setCurrentFile(QStringLiteral("TEMPLATE"), std::nullopt);
    loadFromJob();
    m_jobIsNew = false;
    markUnchanged();
}

bool COrganiserDlg::loadInto(const std::string& path, const char* title)
{
    if (!loadIntoCopy(path, false))
        return false;
    loadFromJob();
    setCurrentFile(QString::fromLatin1(title), std::string());
    m_jobIsNew = false;
    markUnchanged();
    return true;
}

void COrganiserDlg::afterInflReload()
{
    // The conversions have stored and reloaded INFL: as the Load INFL command.
    loadFromJob();
    setCurrentFile(QString::fromLatin1(workfiles::kInput), std::string());
    m_jobIsNew = false;
    markUnchanged();
}

void COrganiserDlg::showTextWindow(const std::string& path)
{
    // No desktop handler for text files: a read-only window of our own.
    auto* dlg = new QDialog(this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowTitle(QString::fromStdString(path));
    auto* text = new QPlainTextEdit(dlg);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    text->setFont(fixed);
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly))
        text->setPlainText(QString::fromLocal8Bit(file.readAll()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    (new QVBoxLayout(dlg))->addWidget(text);
    dlg->resize(720, 520);
    dlg->show();
}

void COrganiserDlg::onLoadOutin()
{
    loadInto(workfiles::kNextInput, workfiles::kNextInput);
}

void COrganiserDlg::onLoadInfl()
{
    loadInto(workfiles::kInput, workfiles::kInput);
}

void COrganiserDlg::onSaveTstAs()
{
    auto path = m_prompt.saveFile(jobFiles());
    if (!path)
        return;
    rememberFolder(*path);
    if (!storeToJob())
        return;
    if (!runCommand(m_prompt, [&] { m_job.save(*path); }))
        return;
    setCurrentFile(QString::fromStdString(*path), *path);
    markUnchanged();
}

void COrganiserDlg::onSaveInfl()
{
    if (!storeToJob())
        return;
    runCommand(m_prompt, [&] { m_job.save(workfiles::kInput); });
}

void COrganiserDlg::onExportData()
{
    runCommand(m_prompt, [&] { nosk::exportData(m_job, m_prompt); });
}

void COrganiserDlg::onClearDirectory()
{
    // Never the files of a run that is under way (ours or another's).
    WorkFolderLock lock;
    std::string refusal;
    try {
        if (!lock.tryLock("noskrun (Clear Directory)"))
            refusal = lock.busyMessage();
    } catch (const nosk::exception& e) {  // NOSK.LOCK cannot be used
        refusal = e.what();
    }
    if (!refusal.empty()) {
        m_prompt.message(refusal, kProgram, Buttons::Ok, Icon::Warning);
        return;
    }
    ClearDirectory();
}

void COrganiserDlg::onProgramOptions()
{
    COptionsDlg dlg(m_options, this);
    runModal(dlg);
}

// ---------------------------------------------------------------- Data menu

void COrganiserDlg::onLoadDataFromTst()
{
    auto path = m_prompt.openFile(FileRequest{});
    if (!path)
        return;
    FitJob source;
    try {
        source.load(*path);
    } catch (const std::exception&) {
        m_prompt.message("That's wrong TST file!", "ERROR", Buttons::Ok, Icon::Error);
        return;
    }
    m_job.copyDataFrom(source);
    loadFromJob();
    dataReplaced();
}

void COrganiserDlg::onLoadDataFromAscii()
{
    runCommand(m_prompt, [&] { importDataSheet(m_job, m_prompt, [this] { loadFromJob(); dataReplaced(); }); });
}

void COrganiserDlg::onLoadDataFromSolartron()
{
    DialogBlockChooser chooser(*this);
    runCommand(m_prompt, [&] { importSolartron(m_job, m_prompt, chooser, [this] { loadFromJob(); dataReplaced(); }); });
}

// "Select spectrum" over the window, for a file that holds several.
class COrganiserDlg::DialogSpectrumChooser : public SpectrumChooser {
public:
    explicit DialogSpectrumChooser(COrganiserDlg& window) : m_window(window) {}
    std::optional<int> chooseSpectrum(const InstrumentFile& file, const std::string& path) override
    {
        CSelectSpectrumDlg dlg(file, path, &m_window);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedSpectrum() < 0)
            return std::nullopt;
        return dlg.selectedSpectrum();
    }

private:
    COrganiserDlg& m_window;
};

void COrganiserDlg::onImportInstrumentFile()
{
    DialogSpectrumChooser chooser(*this);
    // The boxes go into the job first, so that the refresh keeps what was
    // typed; a box the job cannot take stops the import before the refresh
    // puts the job's value back over it.
    if (!storeToJob())
        return;
    runCommand(m_prompt, [&] {
        if (importInstrument(m_job, m_prompt, chooser, [this] { loadFromJob(); dataReplaced(); }, m_jobIsNew))
            m_jobIsNew = false;
    });
}

void COrganiserDlg::onLoadWeights()
{
    runCommand(m_prompt, [&] { importWeights(m_job, m_prompt, [this] { loadFromJob(); }); });
}

void COrganiserDlg::onConvertToAngular()
{
    runCommand(m_prompt, [&] { nosk::convertToAngular(m_job, [this] { afterInflReload(); }); });
}

void COrganiserDlg::onConvertToOrdinary()
{
    runCommand(m_prompt, [&] { nosk::convertToOrdinary(m_job, [this] { afterInflReload(); }); });
}

// -------------------------------------------------------------- Examples

void COrganiserDlg::openExample(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path example = path;
    std::error_code ec;
    const fs::path work = fs::weakly_canonical(fs::current_path(ec), ec);
    const fs::path parent = fs::weakly_canonical(example, ec).parent_path();
    // An example of the work folder opens in place; an installed one is
    // copied into the work folder first, so that a Save never writes into
    // the installation.
    if (!ec && std::mismatch(work.begin(), work.end(), parent.begin(), parent.end()).first == work.end()) {
        LoadJobFile(example.string());
        return;
    }
    const fs::path copy = work / example.filename();
    if (fs::exists(copy, ec)) {
        const std::string question = copy.filename().string()
            + " is already in the work folder.\nReplace it with the example?";
        if (m_prompt.message(question, kProgram, Buttons::YesNo, Icon::Question) != Answer::Yes)
            return;
    }
    const fs::path part = copy.string() + ".part";
    fs::copy_file(example, part, fs::copy_options::overwrite_existing, ec);
    // The copy is the user's: writable, whatever the installation's modes.
    if (!ec)
        fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    if (!ec)
        fs::rename(part, copy, ec);
    if (ec) {
        fs::remove(part, ec);
        m_prompt.message("Cannot write file '" + copy.string() + "'!", kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    LoadJobFile(copy.string());
}

} // namespace nosk
