#include "CSeriesDlg.h"

#include "RunOptions.h"
#include "SeriesCommand.h"
#include "core/Prompt.h"
#include "core/WorkFolderFiles.h"
#include "core/WorkFolderLock.h"
#include "engine/series/ParameterRoles.h"
#include "model/ParameterNames.h"
#include "platform/Help.h"
#include "platform/Timer.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <optional>
#include <sstream>

namespace nosk {

namespace {

constexpr const char* kTitle = "Fit series";
constexpr const char* kProgram = "NOSKRUN";
constexpr int kHelpTopic = 10082;
// The command's own number of starts for each spectrum alone.
constexpr int kStarts = 4;

const series::Role kRoles[] = {series::Role::Local, series::Role::Shared, series::Role::Arrhenius,
    series::Role::Vft, series::Role::Linear, series::Role::Quadratic, series::Role::Exponential};

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

const char* const CSeriesDlg::kFromNames = "the number in each file name";

// What the fit's thread hands back: the report, or why there is none.
struct CSeriesDlg::Work {
    std::atomic<bool> done{false};
    seriescmd::SeriesReport report;
    std::string error;
    std::vector<std::string> passedOver;
};

CSeriesDlg::CSeriesDlg(const FitJob& templ, Prompt& prompt, RunOptions& options, QWidget* parent)
    : QDialog(parent), m_template(templ), m_prompt(prompt), m_options(options),
      m_timer(std::make_unique<QtTimer>())
{
    setWindowTitle(QString::fromLatin1(kTitle));

    m_inputs = new QListWidget;
    m_inputs->setToolTip(QStringLiteral("The spectra: job files, instrument or data files (fitted with the job of "
                                        "the window as their model), folders of them, or one list file "
                                        "(CSV: a column \"file\" and a column per covariate such as T/K)."));
    auto* addFile = new QPushButton(QStringLiteral("Add &file..."));
    auto* addFolder = new QPushButton(QStringLiteral("Add f&older..."));
    auto* remove = new QPushButton(QStringLiteral("&Remove"));
    connect(addFile, &QPushButton::clicked, this, &CSeriesDlg::onAddFile);
    connect(addFolder, &QPushButton::clicked, this, &CSeriesDlg::onAddFolder);
    connect(remove, &QPushButton::clicked, this, &CSeriesDlg::onRemove);

    m_covariate = new QComboBox;
    m_covariate->setEditable(true);
    m_covariate->addItem(QString::fromLatin1(kFromNames));
    for (const char* q : {"T/K", "T/\u00b0C", "E/V", "E/mV", "t/s", "t/h"})
        m_covariate->addItem(QString::fromUtf8(q));
    m_covariate->setToolTip(QStringLiteral(
        "NAME/UNIT: a list file's column of that name; else each file's own value where the instrument wrote one "
        "(temperature, potential, current, time), else the number in the file's name. Without any value and "
        "with no parameter following a function, the spectra are numbered 1, 2, ... in their order."));

    // The parameters of the template: a role for each free one.
    const std::vector<std::string> names = model::parameterNames(m_template.FUN);
    m_grid = new QTableWidget(m_template.N, 4);
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("Parameter"), QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Role")});
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_roles.assign(static_cast<std::size_t>(m_template.N), nullptr);
    for (int i = 0; i < m_template.N; ++i) {
        char value[32];
        std::snprintf(value, sizeof value, "%.6g", m_template.P[i]);
        m_grid->setItem(i, 0, new QTableWidgetItem(QStringLiteral("P%1").arg(i + 1)));
        m_grid->setItem(i, 1,
            new QTableWidgetItem(static_cast<std::size_t>(i) < names.size() ? qs(names[i]) : QString()));
        m_grid->setItem(i, 2, new QTableWidgetItem(QString::fromLatin1(value)));
        if (m_template.NFREE[i] == 0) {
            auto* fixed = new QTableWidgetItem(QStringLiteral("fixed"));
            fixed->setForeground(Qt::gray);
            m_grid->setItem(i, 3, fixed);
            continue;
        }
        auto* role = new QComboBox;
        for (series::Role r : kRoles)
            role->addItem(QString::fromLatin1(series::roleName(r)));
        role->setToolTip(QStringLiteral("local: a value per spectrum; shared: one value for all; or a function "
                                        "of the covariate whose coefficients are fitted (arrhenius and vft "
                                        "need a temperature in K or \u00b0C)."));
        m_grid->setCellWidget(i, 3, role);
        m_roles[static_cast<std::size_t>(i)] = role;
    }
    m_grid->resizeColumnsToContents();

    m_status = new QLabel(QStringLiteral("The job of the window is the model: every spectrum is fitted with its "
                                         "circuit, start values, codes, limits and weighting."));
    m_status->setWordWrap(true);
    m_run = new QPushButton(QStringLiteral("Run"));
    m_run->setDefault(true);
    m_close = new QPushButton(QStringLiteral("Close"));
    connect(m_run, &QPushButton::clicked, this, &CSeriesDlg::onRun);
    connect(m_close, &QPushButton::clicked, this, &CSeriesDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("&Spectra:")));
    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(m_inputs, 1);
    auto* inputButtons = new QVBoxLayout;
    for (QPushButton* b : {addFile, addFolder, remove})
        inputButtons->addWidget(b);
    inputButtons->addStretch();
    inputRow->addLayout(inputButtons);
    layout->addLayout(inputRow);
    auto* covariateRow = new QHBoxLayout;
    auto* covariateLabel = new QLabel(QStringLiteral("&Covariate:"));
    covariateLabel->setBuddy(m_covariate);
    covariateRow->addWidget(covariateLabel);
    covariateRow->addWidget(m_covariate, 1);
    layout->addLayout(covariateRow);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_status);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_run);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);
    resize(620, 520);

    m_timer->setCallback([this] { poll(); });
    restoreChoices();
}

CSeriesDlg::~CSeriesDlg()
{
    // The fit cannot be stopped: a dialog destroyed while it runs waits.
    if (m_thread.joinable())
        m_thread.join();
}

QComboBox* CSeriesDlg::roleBox(int param) const
{
    return param >= 0 && static_cast<std::size_t>(param) < m_roles.size() ? m_roles[static_cast<std::size_t>(param)]
                                                                          : nullptr;
}

void CSeriesDlg::onAddFile()
{
    FileRequest r;
    r.title = "Add a spectrum or a list file";
    r.filters = {{"All files (*)", "*"}};
    if (const std::optional<std::string> path = m_prompt.openFile(r))
        m_inputs->addItem(qs(*path));
}

void CSeriesDlg::onAddFolder()
{
    FileRequest r;
    r.title = "Add a folder of spectra";
    if (const std::optional<std::string> path = m_prompt.chooseFolder(r))
        m_inputs->addItem(qs(*path));
}

void CSeriesDlg::onRemove()
{
    delete m_inputs->currentItem();
}

std::string CSeriesDlg::covariateText() const
{
    const QString text = m_covariate->currentText().trimmed();
    return text == QString::fromLatin1(kFromNames) ? std::string() : text.toStdString();
}

void CSeriesDlg::onRun()
{
    if (running())
        return;
    if (m_inputs->count() == 0) {
        m_prompt.message("Add the spectra of the series first: files, folders or a list file.", kProgram,
            Buttons::Ok, Icon::Error);
        return;
    }
    seriescmd::SeriesInput in;
    for (int i = 0; i < m_inputs->count(); ++i)
        in.inputs.push_back(m_inputs->item(i)->text().toStdString());
    in.covariate = covariateText();
    for (std::size_t k = 0; k < m_roles.size(); ++k) {
        if (!m_roles[k])
            continue;
        const series::Role role = kRoles[m_roles[k]->currentIndex()];
        const std::string p = "P" + std::to_string(k + 1);
        if (role == series::Role::Shared)
            in.shared.push_back(p);
        else if (series::isFunction(role))
            in.vary.push_back(p + "=" + series::roleName(role));
    }
    in.starts = kStarts;
    storeChoices();

    // One run at a time in the folder, the engine's and the analyses' too.
    auto lock = std::make_unique<WorkFolderLock>();
    try {
        if (!lock->tryLock("noskrun, Fit series")) {
            m_prompt.message(lock->busyMessage(), kProgram, Buttons::Ok, Icon::Error);
            return;
        }
    } catch (const std::exception& e) {
        m_prompt.message(e.what(), kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    m_lock = std::move(lock);
    m_work = std::make_shared<Work>();
    setBusy(true);
    // The thread has its own copies of the template and the choices.
    m_thread = std::thread([work = m_work, templ = m_template, in]() mutable {
        in.templ = &templ;
        try {
            work->report = seriescmd::fitSeriesInput(in, work->passedOver);
        } catch (const std::exception& e) {
            work->error = e.what();
        } catch (...) {
            work->error = "The series cannot be fitted";
        }
        work->done = true;
    });
    m_timer->start(200);
}

void CSeriesDlg::poll()
{
    if (m_work && m_work->done)
        finish();
}

void CSeriesDlg::waitForEnd()
{
    if (m_thread.joinable())
        finish();
}

void CSeriesDlg::finish()
{
    m_timer->stop();
    if (m_thread.joinable())
        m_thread.join();
    const std::shared_ptr<Work> work = std::move(m_work);
    setBusy(false);
    if (!work)
        return;
    std::string error = work->error;
    if (error.empty()) {
        // Both files or neither: a fit whose files cannot be written leaves
        // the earlier ones whole.
        try {
            seriescmd::writeSeriesFiles(work->report, "series.csv", workfiles::kSeriesResult,
                AtomicFileWriter::Links::Replace, AtomicFileWriter::Links::Replace);
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    m_lock.reset();
    if (!error.empty()) {
        m_status->setText(QStringLiteral("Nothing was written: %1").arg(qs(error)));
        m_prompt.message(error, kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    const series::SeriesResult& r = work->report.result;
    std::ostringstream o;
    o << "Series of " << work->report.files.size() << " spectra " << (r.fit.converged ? "fitted" : "ended early")
      << " (" << r.fit.end << "): "
      << (r.tests.available ? r.tests.verdict : "roles not tested: " + r.tests.why) << ".";
    for (const std::string& note : r.notes)
        o << " Note: " << note << ".";
    for (const std::string& p : work->passedOver)
        o << " Passed over " << p << ".";
    o << " Written to " << workfiles::kSeriesResult << " and series.csv.";
    m_outcome = o.str();
    accept();
}

void CSeriesDlg::setBusy(bool busy)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_inputs, m_covariate, m_grid, m_run, m_close})
        w->setEnabled(!busy);
    if (busy) {
        m_status->setText(QStringLiteral("Fitting the series... A series fit cannot be stopped; the dialog closes "
                                         "when it has ended and its files are written."));
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

void CSeriesDlg::reject()
{
    if (running()) {
        m_prompt.message("The series is being fitted, and a series fit cannot be stopped. The dialog closes when "
                         "it has ended.", kProgram, Buttons::Ok, Icon::Information);
        return;
    }
    QDialog::reject();
}

void CSeriesDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(kHelpTopic);
        return;
    }
    QDialog::keyPressEvent(event);
}

// The choices as lines NAME=VALUE: an input per line, the covariate, and
// the role of each free parameter that is not local.
void CSeriesDlg::storeChoices()
{
    std::string text;
    auto line = [&text](const std::string& name, const QString& value) {
        // A name with a line break in it cannot be kept in a line.
        if (!value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
            text += name + "=" + value.toStdString() + "\n";
    };
    for (int i = 0; i < m_inputs->count(); ++i)
        line("input", m_inputs->item(i)->text());
    line("covariate", m_covariate->currentText());
    for (std::size_t k = 0; k < m_roles.size(); ++k)
        if (m_roles[k] && m_roles[k]->currentIndex() > 0)
            text += "role=P" + std::to_string(k + 1) + " " + m_roles[k]->currentText().toStdString() + "\n";
    if (text.size() <= RunOptions::kMaxSeriesChoices)
        m_options.seriesChoices = text;
}

void CSeriesDlg::restoreChoices()
{
    std::istringstream in(m_options.seriesChoices);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "input" && !value.empty()) {
            m_inputs->addItem(qs(value));
        } else if (name == "covariate") {
            m_covariate->setCurrentText(qs(value));
        } else if (name == "role") {
            // "P4 arrhenius"; a parameter fixed or gone since keeps no role.
            int param = 0;
            char role[32] = {};
            if (std::sscanf(value.c_str(), "P%d %31s", &param, role) != 2)
                continue;
            QComboBox* box = roleBox(param - 1);
            const int index = box ? box->findText(QString::fromLatin1(role)) : -1;
            if (index >= 0)
                box->setCurrentIndex(index);
        }
    }
}

} // namespace nosk
