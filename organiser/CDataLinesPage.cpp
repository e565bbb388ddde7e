#include "CDataLinesPage.h"

#include "DialogUnits.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/FitJob.h"
#include "job/JobFields.h"
#include "grid/CZuGrid.h"
#include "grid/CZuGridModel.h"
#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <cstdlib>
#include <string>

namespace nosk {
namespace {

constexpr const char* kProgram = "NOSKRUN";
constexpr int kMaxRows = 99999;

QString firstTitle(int xVariable, char freeq)
{
    switch (xVariable) {
    case 1: return freeq == 'F' ? QStringLiteral("Frequency, Hz ") : QStringLiteral("Ang. freq, rad/s ");
    case 2: return QStringLiteral("Time, sec ");
    case 3: return QStringLiteral("Temp, K ");
    default: return {};
    }
}

std::pair<QString, QString> dataTitles(char pinp)
{
    switch (pinp) {
    case 'R': return {QStringLiteral("Real "), QStringLiteral("Imag ")};
    case 'P': return {QStringLiteral("Magnitude "), QStringLiteral("Radii ")};
    case 'D': return {QStringLiteral("Magnitude "), QStringLiteral("Degree ")};
    case 'L': return {QStringLiteral("Log of mag "), QStringLiteral("Radii ")};
    default: return {};
    }
}

// The rows with a value other than 0 in any column.
int rowsWithData(const FitJob& j)
{
    if (!j.hasData())
        return 0;
    int count = 0;
    for (int r = 0; r < j.M; ++r) {
        bool data = false;
        for (const FitJob::Column* c : {&j.FREQ, &j.DATA1, &j.DATA2, &j.WEIGHT1, &j.WEIGHT2})
            if (c->has_value() && std::size_t(r) < (*c)->size() && (**c)[std::size_t(r)] != 0.0)
                data = true;
        count += data ? 1 : 0;
    }
    return count;
}

} // namespace

CDataLinesPage::CDataLinesPage(FitJob* job, Prompt& prompt, const QFont& bold, QWidget* parent)
    : CJobPage(job, QStringLiteral("Data lines"), 10012, parent), m_prompt(prompt)
{
    const DialogUnits du = sizeJobPage(*this);
    m_group = addGroup(*this, QStringLiteral("Data and weighting"), bold, du.rect(4, 0, 459, 274));

    auto* mLabel = new QLabel(QStringLiteral("Number of rows ( M )"), this);
    mLabel->setGeometry(du.rect(10, 13, 72, 12));
    m_mBox = new QLineEdit(this);
    m_mBox->setGeometry(du.rect(84, 12, 40, 13));
    m_set = new QPushButton(QStringLiteral("Set"), this);
    m_set->setGeometry(du.rect(128, 11, 30, 15));
    m_set->setAutoDefault(false);
    m_negative = new QCheckBox(QStringLiteral("M is negative"), this);
    m_negative->setGeometry(du.rect(166, 12, 70, 13));

    auto* listLabel = new QLabel(QStringLiteral("Interpret first column as "), this);
    listLabel->setGeometry(du.rect(262, 13, 90, 12));
    listLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_firstColumn = new QComboBox(this);
    m_firstColumn->addItems({QStringLiteral("Frequency, Hz"), QStringLiteral("Time, sec"),
                             QStringLiteral("Temperature T, K")});
    m_firstColumn->setGeometry(du.rect(354, 11, 100, 15));

    m_caption = new QLabel(QStringLiteral("*"), this);
    m_caption->setGeometry(du.rect(10, 30, 200, 12));

    // The list starts at the record's X variable; after that only the user
    // changes it, and each rebuild takes the record's X variable from it.
    int x = job->xVariable;
    m_firstColumn->setCurrentIndex(x >= 1 && x <= 3 ? x - 1 : 0);

    connect(m_set, &QPushButton::clicked, this, &CDataLinesPage::setRowCount);
    connect(m_firstColumn, &QComboBox::activated, this, &CDataLinesPage::firstColumnPicked);
}

CDataLinesPage::~CDataLinesPage()
{
    // The grid refers to the model: it goes first.
    delete m_grid;
    m_grid = nullptr;
}

void CDataLinesPage::createGrid()
{
    FitJob& j = *job();
    QFontMetrics fm(font());
    const int cellWidth = fm.horizontalAdvance(QStringLiteral("-0.000000e+000 ")) + 5;
    const int cellHeight = fm.height() + 1;
    const int headerWidth = fm.horizontalAdvance(QStringLiteral(" 0000 ")) + 5;
    const int headerHeight = fm.height() + 2;

    std::vector<double*> columns = {j.FREQ->data(), j.DATA1->data(), j.DATA2->data()};
    if (j.IRCH == 0 && j.hasWeights()) {
        columns.push_back(j.WEIGHT1->data());
        columns.push_back(j.WEIGHT2->data());
    }
    const int colCount = int(columns.size());
    m_model = std::make_unique<CZuColumnModel>(std::move(columns));

    m_grid = new CZuGrid(this);
    m_grid->setPrompt(&m_prompt);
    m_grid->rowHeaderWidth = headerWidth;
    m_grid->colHeaderHeight = headerHeight;
    m_grid->cellWidth = cellWidth;
    m_grid->cellHeight = cellHeight;
    m_grid->rowCount = j.M;
    m_grid->colCount = colCount;
    m_grid->visibleCols = colCount;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int room = height() - m_caption->geometry().bottom() - scrollBar - headerHeight - 18;
    m_grid->visibleRows = std::max(1, std::min(j.M, room / (cellHeight + 1)));
    m_grid->Create(0, 0, this, 1, m_model.get());
    m_grid->hide();
}

void CDataLinesPage::placeGrid()
{
    if (!m_grid)
        return;
    m_grid->move((width() - m_grid->width()) / 2, m_caption->geometry().bottom() + 2);
    m_grid->show();
}

void CDataLinesPage::applyColumnTitles()
{
    if (!m_grid)
        return;
    for (int c = 0; c < m_titles.size(); ++c)
        m_grid->SetColumnTitle(m_titles[c], c);
}

void CDataLinesPage::rebuild()
{
    FitJob& j = *job();
    delete m_grid;
    m_grid = nullptr;
    m_model.reset();
    m_titles.clear();
    showInt(m_mBox, j.M);
    showCheck(m_negative, j.mNegative);
    if (j.M == 0 || !j.hasData())
        return;
    createGrid();
    showLevelCaption();
    renameColumns();
    placeGrid();
}

void CDataLinesPage::LoadFromJob()
{
    rebuild();
}

bool CDataLinesPage::StoreToJob()
{
    job()->mNegative = m_negative->isChecked() ? 1 : 0;
    return true;
}

void CDataLinesPage::showLevelCaption()
{
    m_caption->setText(QString::fromLatin1(textOf(kLevels, kLevelNames, job()->DINP)));
}

void CDataLinesPage::renameColumns()
{
    if (!m_grid)
        return;
    FitJob& j = *job();
    j.xVariable = static_cast<unsigned char>(m_firstColumn->currentIndex() + 1);
    auto [first, second] = dataTitles(j.PINP);
    m_titles = {firstTitle(j.xVariable, j.FREEQ), first, second};
    if (m_grid->colCount == 5)
        m_titles << QStringLiteral("Weight 1 ") << QStringLiteral("Weight 2 ");
    applyColumnTitles();
}

void CDataLinesPage::firstColumnPicked(int index)
{
    if (!m_grid)
        return;
    job()->xVariable = static_cast<unsigned char>(index + 1);
    if (!m_titles.isEmpty())
        m_titles[0] = firstTitle(job()->xVariable, job()->FREEQ);
    applyColumnTitles();
}

void CDataLinesPage::setRowCount()
{
    FitJob& j = *job();
    const int oldM = j.M;
    int m = 0;
    try {
        m = takeInt(m_mBox);
    } catch (const exception& e) {
        m_prompt.message(e.what(), kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    // The engine's input file holds M in five columns; a larger count would
    // only exhaust the memory.
    if (m > kMaxRows || m < -kMaxRows) {
        m_prompt.message("Wrong number! " + m_mBox->text().left(31).toStdString(), kProgram,
                         Buttons::Ok, Icon::Error);
        return;
    }
    // "Set" makes new, empty rows: rows that hold data are not dropped
    // without asking.
    if (std::abs(m) != oldM) {
        const int withData = rowsWithData(j);
        if (withData > 0
            && m_prompt.message("Drop " + std::to_string(withData) + " data rows?", kProgram, Buttons::YesNo,
                                Icon::Question)
                != Answer::Yes) {
            showInt(m_mBox, oldM);
            return;
        }
    }
    if (m < 0) {
        m = -m;
        showInt(m_mBox, m);
        j.CELCAP = FitJob::kDefaultCelcap;
        emit celcapChanged(j.CELCAP);
        j.mNegative = 1;
    } else {
        j.mNegative = 0;
    }
    j.M = m;
    showCheck(m_negative, j.mNegative);
    if (m == oldM)
        return;
    j.releaseData();
    j.allocateData(m, j.IRCH == 0);
    rebuild();
    emit dataPointsChanged(m);
}

} // namespace nosk
