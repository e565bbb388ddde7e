#include "CSeriesPage.h"

#include "core/WorkFolderFiles.h"
#include "ui/SeriesChart.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace nosk {

namespace {

// The parameter the user looked at last, chosen again after a reload.
QString g_lastChoice;

QString number(double v, int digits = 6)
{
    return std::isfinite(v) ? QString::number(v, 'g', digits) : QStringLiteral("-");
}

QString pText(double p)
{
    return p < 1e-15 ? QStringLiteral("p < 1e-15") : QStringLiteral("p = ") + QString::number(p, 'g', 3);
}

// A spectrum named by its covariate, as the verdicts do: "cell_3.txt (150 mV)".
QString spectrumText(const SeriesResultFile& r, const std::string& file)
{
    for (const SeriesSpectrum& s : r.spectra)
        if (s.file == file)
            return QString::fromStdString(file) + QStringLiteral(" (") + number(s.covariate) + QLatin1Char(' ') +
                   QString::fromStdString(r.covariateUnit) + QLatin1Char(')');
    return QString::fromStdString(file);
}

// Whether a spectrum of the series changed after the result was written:
// the first such file, empty when none did (or the times cannot be read).
std::string changedSince(const SeriesResultFile& r, const char* resultFile)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_time_type written = fs::last_write_time(resultFile, ec);
    if (ec)
        return {};
    for (const SeriesSpectrum& s : r.spectra) {
        const fs::file_time_type t = fs::last_write_time(s.file, ec);
        if (!ec && t > written)
            return s.file;
    }
    return {};
}

} // namespace

// The picture of the chosen parameter, or of all in a grid (index -1).
class SeriesChartView : public QWidget {
public:
    explicit SeriesChartView(QWidget* parent) : QWidget(parent) { setMinimumSize(320, 240); }
    void display(const std::vector<SeriesPlotData>* panels, int index)
    {
        m_panels = panels;
        m_index = index;
        update();
    }
    static void draw(QPainter& p, const QRect& area, const std::vector<SeriesPlotData>& panels, int index)
    {
        p.setRenderHint(QPainter::Antialiasing);
        if (index >= 0 && index < int(panels.size())) {
            drawSeriesPanel(p, area, panels[std::size_t(index)]);
            return;
        }
        const int count = int(panels.size());
        const int columns = count <= 1 ? 1 : count <= 4 ? 2 : 3;
        const int lines = std::max((count + columns - 1) / columns, 1);
        const int w = area.width() / columns, h = area.height() / lines;
        for (int i = 0; i < count; ++i)
            drawSeriesPanel(p, QRect(area.left() + (i % columns) * w + 4, area.top() + (i / columns) * h + 4, w - 8, h - 8),
                            panels[std::size_t(i)]);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        if (m_panels)
            draw(p, rect().adjusted(4, 4, -4, -4), *m_panels, m_index);
    }

private:
    const std::vector<SeriesPlotData>* m_panels = nullptr;
    int m_index = 0;
};

CSeriesPage::CSeriesPage(QWidget* parent) : CViewerPage(QString::fromLatin1(kTitle), kHelpContext, parent)
{
    auto* layout = new QVBoxLayout(this);
    m_banner = new QLabel(this);
    m_banner->setWordWrap(true);
    m_banner->setStyleSheet(QStringLiteral("QLabel { color: white; background: #B00000; font-weight: bold; padding: 3px; }"));
    m_banner->hide();
    layout->addWidget(m_banner);
    try {
        m_result = readSeriesResult(workfiles::kSeriesResult);
        for (const std::string& name : m_result->parameters)
            m_panels.push_back(seriesPlotData(*m_result, name));
    } catch (const std::exception& e) {
        // Nothing of a file read half is shown.
        m_result.reset();
        m_panels.clear();
        m_error = e.what();
    }
    if (!m_result) {
        m_banner->setText(QStringLiteral("The series result cannot be shown: ") + QString::fromStdString(m_error));
        m_banner->show();
        layout->addStretch(1);
        return;
    }
    if (const std::string changed = changedSince(*m_result, workfiles::kSeriesResult); !changed.empty()) {
        m_stale = true;
        m_banner->setText(QStringLiteral("OUT OF DATE: ") + QString::fromStdString(changed) +
                          QStringLiteral(" changed after the series was fitted; fit the series again."));
        m_banner->show();
    }

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Parameter:"), this));
    m_choice = new QComboBox(this);
    for (const SeriesPlotData& d : m_panels)
        m_choice->addItem(QString::fromStdString(d.title));
    m_choice->addItem(QStringLiteral("All parameters"));
    row->addWidget(m_choice);
    row->addStretch(1);
    layout->addLayout(row);

    auto* body = new QHBoxLayout;
    m_chart = new SeriesChartView(this);
    body->addWidget(m_chart, 1);
    m_text = new QTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setHtml(reportHtml(*m_result));
    body->addWidget(m_text, 1);
    layout->addLayout(body, 1);

    // The parameter looked at before, else the first that follows a
    // function, else the first shared, else the first.
    int first = -1;
    for (const char* kind : {"function", "shared"})
        for (std::size_t j = 0; j < m_result->roles.size() && first < 0; ++j) {
            const std::string& role = m_result->roles[j];
            if (kind == std::string("shared") ? role == "shared" : role != "local" && role != "shared")
                first = int(j);
        }
    const int remembered = m_choice->findText(g_lastChoice);
    m_choice->setCurrentIndex(remembered >= 0 ? remembered : std::max(first, 0));
    choose(m_choice->currentIndex());
    connect(m_choice, &QComboBox::currentIndexChanged, this, [this](int i) {
        g_lastChoice = m_choice->itemText(i);
        choose(i);
    });
}

CSeriesPage::~CSeriesPage() = default;

void CSeriesPage::choose(int index)
{
    m_chart->display(&m_panels, index < int(m_panels.size()) ? index : -1);
}

const SeriesPlotData* CSeriesPage::shownData() const
{
    if (!m_choice)
        return nullptr;
    const int i = m_choice->currentIndex();
    return i >= 0 && i < int(m_panels.size()) ? &m_panels[std::size_t(i)] : nullptr;
}

QString CSeriesPage::bannerText() const
{
    return m_banner->isHidden() ? QString() : m_banner->text();
}

QStringList CSeriesPage::verdictLines(const SeriesResultFile& r)
{
    QStringList lines;
    const SeriesTests& t = r.tests;
    if (!t.available) {
        lines << QStringLiteral("The roles were not tested: ") + QString::fromStdString(t.why);
        return lines;
    }
    lines << QStringLiteral("Verdict: ") + QString::fromStdString(t.verdict);
    lines << QStringLiteral("Joint fit against the spectra fitted alone: S %1 against %2, F = %3, %4")
                 .arg(number(t.Sjoint), number(t.Sindependent), number(t.F, 4), pText(t.pValue));
    auto prefers = [](double joint, double alone) {
        return joint <= alone ? QStringLiteral("prefers the joint fit") : QStringLiteral("prefers the fits alone");
    };
    lines << QStringLiteral("AIC %1 (joint) against %2 (alone): %3; BIC %4 against %5: %6")
                 .arg(number(t.aicJoint), number(t.aicIndependent), prefers(t.aicJoint, t.aicIndependent),
                      number(t.bicJoint), number(t.bicIndependent), prefers(t.bicJoint, t.bicIndependent));
    for (const SeriesParameterTest& p : t.parameters) {
        QString line = QString::fromStdString(p.verdict) + QStringLiteral(" (F = %1)").arg(number(p.F, 4));
        if (!p.disagree.empty()) {
            QStringList names;
            for (const std::string& f : p.disagree)
                names << spectrumText(r, f);
            line += QStringLiteral("; disagree most: ") + names.join(QStringLiteral(", "));
        }
        lines << line;
    }
    return lines;
}

QString CSeriesPage::reportHtml(const SeriesResultFile& r)
{
    auto esc = [](const QString& s) { return s.toHtmlEscaped(); };
    QString h;
    const QStringList lines = verdictLines(r);
    h += QStringLiteral("<h3>Tests of the roles</h3>");
    for (int i = 0; i < lines.size(); ++i)
        h += (i == 0 ? QStringLiteral("<p><b>") + esc(lines[i]) + QStringLiteral("</b></p>")
                     : QStringLiteral("<p>") + esc(lines[i]) + QStringLiteral("</p>"));
    h += QStringLiteral("<h3>Shared values and coefficients</h3>");
    if (r.coefficients.empty()) {
        h += QStringLiteral("<p>Every parameter is local.</p>");
    } else {
        h += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" style=\"white-space: pre\"><tr><th>coefficient</th>"
                            "<th>role</th><th>value</th><th>std dev</th><th>95 % interval</th><th>status</th></tr>");
        for (const SeriesCoefficient& c : r.coefficients)
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5 to %6</td><td>%7</td></tr>")
                     .arg(esc(QString::fromStdString(c.name)), esc(QString::fromStdString(c.role)), number(c.value),
                          number(c.stdDev, 3), number(c.low), number(c.high), esc(QString::fromStdString(c.status)));
        h += QStringLiteral("</table>");
    }
    h += QStringLiteral("<h3>The fit</h3><p>%1 spectra over %2, %3 values, %4 variables: %5<br>S = %6, sigma = %7</p>")
             .arg(r.spectra.size())
             .arg(esc(QString::fromStdString(r.covariateName + (r.covariateUnit.empty() ? "" : "/" + r.covariateUnit))))
             .arg(r.K)
             .arg(r.variables)
             .arg(esc(QString::fromStdString(r.fitEnd)), number(r.S), number(r.sigma));
    for (const std::string& note : r.notes)
        h += QStringLiteral("<p>Note: ") + esc(QString::fromStdString(note)) + QStringLiteral("</p>");
    return h;
}

QString CSeriesPage::reportText() const
{
    if (!m_result)
        return {};
    QTextDocument doc;
    doc.setHtml(reportHtml(*m_result));
    return doc.toPlainText();
}

QSize CSeriesPage::ownPictureSize() const
{
    if (!m_result)
        return {};
    return QSize(900, 600 + 20 * int(verdictLines(*m_result).size() + 2));
}

void CSeriesPage::drawOwnPicture(QPainter& p, const QRect& area) const
{
    if (!m_result)
        return;
    p.save();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    p.setFont(font);
    const QFontMetrics fm(font);
    QStringList lines = verdictLines(*m_result);
    if (m_stale)
        lines.prepend(bannerText());
    const int textHeight = (fm.height() + 4) * int(lines.size()) + 10;
    const QRect chart(area.left(), area.top(), area.width(), std::max(area.height() - textHeight, 100));
    SeriesChartView::draw(p, chart, m_panels, shownData() ? m_choice->currentIndex() : -1);
    p.setPen(Qt::black);
    int y = chart.bottom() + 6;
    for (int i = 0; i < lines.size(); ++i) {
        QFont f = font;
        f.setBold(i == (m_stale ? 1 : 0));
        p.setFont(f);
        if (m_stale && i == 0)
            p.setPen(QColor(176, 0, 0));
        p.drawText(QRect(area.left() + 10, y, area.width() - 20, fm.height() + 2), Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetrics(f).elidedText(lines[i], Qt::ElideRight, area.width() - 20));
        p.setPen(Qt::black);
        y += fm.height() + 4;
    }
    p.restore();
}

} // namespace nosk
