#include "CSuggestDlg.h"

#include "platform/Help.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <exception>

namespace nosk {

namespace {

constexpr int kHelpTopic = 10310;

QString number(double v, int digits = 4)
{
    return std::isfinite(v) ? QString::number(v, 'g', digits) : QStringLiteral("-");
}

QTableWidget* table(const QStringList& headers)
{
    auto* t = new QTableWidget(0, int(headers.size()));
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    // One line a row; a cell's whole text is its tooltip.
    t->setWordWrap(false);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        t->setItem(row, c, item);
    }
}

} // namespace

// What the thread fills in; shared, so that it outlives a dialog that is
// closed first.
struct CSuggestDlg::Work {
    std::vector<double> frequencyHz;
    std::vector<std::complex<double>> z;
    suggest::Result result;
    std::string error;
};

CSuggestDlg::CSuggestDlg(std::vector<double> frequencyHz, std::vector<std::complex<double>> z,
                         const QString& spectrum, QWidget* parent)
    : QDialog(parent), m_work(std::make_shared<Work>())
{
    setWindowTitle(QStringLiteral("Suggest circuits"));
    m_work->frequencyHz = std::move(frequencyHz);
    m_work->z = std::move(z);

    m_summary = new QLabel(QStringLiteral("Fitting candidate circuits to %1 (%2 points)...")
                               .arg(spectrum)
                               .arg(m_work->frequencyHz.size()));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_busy = new QProgressBar;
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);

    m_candidates = table({QStringLiteral("Rank"), QStringLiteral("Circuit"), QStringLiteral("Definition"),
                          QStringLiteral("S"), QString::fromUtf8("\u03c3f"), QStringLiteral("BIC"), QStringLiteral("AIC"),
                          QStringLiteral("Undet."), QStringLiteral("Reason")});
    m_parameters = table({QStringLiteral("Parameter"), QStringLiteral("Value"), QStringLiteral("Std dev"),
                          QStringLiteral("Status")});
    // The selected circuit's definition and reason in full.
    m_detail = new QLabel;
    m_detail->setWordWrap(true);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* lower = new QWidget;
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_detail);
    lowerLayout->addWidget(m_parameters, 1);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_candidates);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    m_use = new QPushButton(QStringLiteral("Use this circuit"));
    m_use->setEnabled(false);
    m_use->setDefault(true);
    auto* help = new QPushButton(QStringLiteral("Help"));
    help->setAutoDefault(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_use);
    buttons->addWidget(help);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_busy);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    resize(1000, 600);

    connect(m_use, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CSuggestDlg::reject);
    connect(help, &QPushButton::clicked, this, [] { openHelpTopic(kHelpTopic); });
    connect(m_candidates, &QTableWidget::itemSelectionChanged, this, &CSuggestDlg::showParameters);
    connect(m_candidates, &QTableWidget::itemDoubleClicked, this, [this] {
        if (chosen())
            accept();
    });

    std::shared_ptr<Work> work = m_work;
    m_thread = QThread::create([work] {
        try {
            work->result = suggest::suggestCircuits(work->frequencyHz, work->z);
        } catch (const std::exception& e) {
            work->error = e.what();
        }
    });
    connect(m_thread, &QThread::finished, this, &CSuggestDlg::showResult);
    m_thread->start();
}

CSuggestDlg::~CSuggestDlg()
{
    // The thread holds its own share of the work; the dialog waits for it
    // only when it is destroyed while the fits still run.
    m_thread->wait();
    delete m_thread;
}

void CSuggestDlg::reject()
{
    if (m_finished) {
        QDialog::reject();
        return;
    }
    // The fits under way cannot be stopped midway: the dialog closes when
    // they end, without their result.
    m_cancelled = true;
    m_cancel->setEnabled(false);
    m_summary->setText(QStringLiteral("Cancelling: the suggestion cannot be interrupted once it has begun; "
                                      "the dialog closes as soon as the fits under way end, without their result."));
}

void CSuggestDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelpTopic(kHelpTopic);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CSuggestDlg::showResult()
{
    m_finished = true;
    m_busy->hide();
    m_cancel->setEnabled(true);
    m_cancel->setText(QStringLiteral("Close"));
    if (m_cancelled) {
        QDialog::reject();
        return;
    }
    m_error = m_work->error;
    m_result = m_work->result;
    if (!m_error.empty()) {
        // The window that opened the dialog says why.
        QDialog::reject();
        return;
    }
    const suggest::Result& r = m_result;
    m_summary->setText(QStringLiteral("%1 points; noise %2 % of |Z| (Kramers-Kronig test); %3 process(es) in the DRT; "
                                      "%4 circuits fitted%5. Ranked by BIC; select one to see its parameters.")
                           .arg(r.points)
                           .arg(number(100 * r.noise, 3))
                           .arg(r.peaks)
                           .arg(r.tried)
                           .arg(r.failed > 0 ? QStringLiteral(" (%1 could not be fitted)").arg(r.failed) : QString()));
    m_candidates->setRowCount(int(r.ranked.size()));
    for (int k = 0; k < int(r.ranked.size()); ++k) {
        const suggest::Ranked& c = r.ranked[std::size_t(k)];
        QString rank = QString::number(k + 1);
        if (c.tieWith >= 0)
            rank += QStringLiteral(" = #%1").arg(c.tieWith + 1);
        setRow(m_candidates, k,
               {rank, QString::fromStdString(c.candidate.label), QString::fromStdString(c.candidate.circuit),
                number(c.S), number(c.sigmaF), QString::number(c.bic, 'f', 1), QString::number(c.aic, 'f', 1),
                QString::number(c.undetermined), QString::fromStdString(c.reason)});
    }
    m_candidates->resizeColumnsToContents();
    m_candidates->setColumnWidth(2, std::min(m_candidates->columnWidth(2), 300));
    if (!r.ranked.empty())
        selectRank(0);
}

const suggest::Ranked* CSuggestDlg::chosen() const
{
    const QModelIndexList rows = m_candidates->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.front().row();
    if (!m_finished || row < 0 || row >= int(m_result.ranked.size()))
        return nullptr;
    return &m_result.ranked[std::size_t(row)];
}

void CSuggestDlg::selectRank(int rank)
{
    m_candidates->setCurrentCell(rank, 0);
    m_candidates->selectRow(rank);
}

void CSuggestDlg::showParameters()
{
    const suggest::Ranked* c = chosen();
    m_use->setEnabled(c != nullptr);
    m_parameters->setRowCount(0);
    m_detail->clear();
    if (!c)
        return;
    m_detail->setText(QString::fromStdString(c->candidate.label + " = " + c->candidate.circuit + "\n" + c->reason));
    m_parameters->setRowCount(int(c->parameters.size()));
    for (int j = 0; j < int(c->parameters.size()); ++j) {
        const suggest::FittedParameter& p = c->parameters[std::size_t(j)];
        setRow(m_parameters, j,
               {QStringLiteral("p%1 %2").arg(j + 1).arg(QString::fromStdString(p.name)), number(p.value, 6),
                number(p.stdDev, 3), QString::fromLatin1(parameterStatusLabel(p.status))});
    }
    m_parameters->resizeColumnsToContents();
}

} // namespace nosk
