#include "CParamEditor.h"

#include "DECatalogue.h"
#include "CSelectDEDlg.h"
#include "DialogUnits.h"
#include "core/WorkFolderFiles.h"
#include "platform/DialogRunner.h"
#include "ui/ControlHelpers.h"

#include "model/Circuit.h"
#include "core/Exception.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <QSignalBlocker>

#include <charconv>
#include <cmath>
#include <cstring>

#include "job/FitJob.h"

namespace nosk {

CDELink::CDELink(QWidget* parent) : QLabel(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
}

void CDELink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mousePressEvent(event);
}

bool CDELink::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && tooltipText) {
        auto* help = static_cast<QHelpEvent*>(event);
        QString tip = tooltipText();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QLabel::event(event);
}

namespace {

struct Placement {
    char fun;
    int param;
    const char* label;
};

// Later entries for the same parameter replace earlier ones (circuit D).
const Placement kPlacements[] = {
    {'A', 10, "DE1"}, {'A', 15, "DE2"}, {'A', 20, "DE3"},
    {'B', 10, "DE1"}, {'B', 15, "DE2"}, {'B', 20, "DE3"}, {'B', 25, "DE4"},
    {'C', 10, "DE1"}, {'C', 15, "DE2"}, {'C', 20, "DE3"},
    {'D', 20, "DE4"}, {'D', 20, "DE5"},
    {'E', 5, "DE1"}, {'E', 10, "DE2"}, {'E', 15, "DE3"}, {'E', 20, "DE4"}, {'E', 25, "DE5"},
    {'F', 10, "DE1"}, {'F', 15, "DE2"},
    {'H', 5, "DE2"}, {'H', 10, "DE3"},
    {'J', 10, "DE1"}, {'J', 15, "DE2"}, {'J', 20, "DE3"}, {'J', 25, "DE4"},
    {'K', 27, "DE1"},
    {'O', 10, "DEC"}, {'O', 20, "DED"}, {'O', 25, "DE3"},
};

} // namespace

std::string CParamEditor::placement(char fun, int k)
{
    std::string label;
    for (const Placement& p : kPlacements)
        if (p.fun == fun && p.param == k)
            label = p.label;
    return label;
}

std::string CParamEditor::placement(char fun, int k, const std::string& definition)
{
    const model::CircuitLibrary::Definition* builtIn = model::CircuitLibrary::builtIn().find(fun);
    if (builtIn && builtIn->text == definition)
        return placement(fun, k);
    try {
        const model::Circuit circuit = model::Circuit::parse(definition);
        const std::vector<model::DePlace> places = model::dePlaces(circuit);
        std::string label;
        for (std::size_t i = 0; i < places.size(); ++i)
            if (places[i].selector == k)
                label = "DE" + std::to_string(i + 1);
        return label;
    } catch (const exception&) {
        return {};
    }
}

std::string CParamEditor::definitionInForce(char fun, std::string* error)
{
    try {
        const model::CircuitLibrary lib = model::CircuitLibrary::withOverrides(workfiles::kCircuits);
        const model::CircuitLibrary::Definition* d = lib.find(fun);
        return d ? d->text : std::string();
    } catch (const exception& e) {
        if (error)
            *error = e.what();
        const model::CircuitLibrary::Definition* d = model::CircuitLibrary::builtIn().find(fun);
        return d ? d->text : std::string();
    }
}

CParamEditor::CParamEditor(QWidget* parent) : QWidget(parent)
{
    DialogUnits du(font());
    const int gap = 1, columnSpacing = 2;
    m_rowHeight = du.y(13);
    const int h = m_rowHeight;
    m_labelWidth = du.x(28);
    m_valueWidth = du.x(64);
    m_codeWidth = du.x(27);
    const int codeLeft = m_labelWidth + gap + m_valueWidth + gap;
    m_columnWidth = codeLeft + m_codeWidth + columnSpacing;
    const int scrollWidth = 15;

    resize(2 * m_columnWidth + scrollWidth, (h + 2) * kVisibleRows + 4);
    setAttribute(Qt::WA_NoSystemBackground, false);

    // The rows live on a content widget that the bar moves up and down.
    auto* viewport = new QWidget(this);
    viewport->setGeometry(0, 0, 2 * m_columnWidth, height());
    m_content = new QWidget(viewport);

    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        row.label = new QLabel(QString::asprintf("p%i", k), m_content);
        row.value = new QLineEdit(m_content);
        row.value->setEnabled(false);
        row.code = new QComboBox(m_content);
        row.code->addItems({QStringLiteral("fix"), QStringLiteral("pos"), QStringLiteral("any"),
                            QStringLiteral("sub")});
        row.code->setEnabled(false);
        row.link = new CDELink(m_content);
        row.link->hide();
        row.link->tooltipText = [this, k] { return linkTooltip(k); };
        connect(row.link, &CDELink::clicked, this, [this, k] { clickLink(k); });
        row.lower = new QLineEdit(m_content);
        row.lower->setPlaceholderText(QStringLiteral("no lower"));
        row.upper = new QLineEdit(m_content);
        row.upper->setPlaceholderText(QStringLiteral("no upper"));
        for (QLineEdit* limit : {row.lower, row.upper}) {
            limit->setEnabled(false);
            limit->hide();
            connect(limit, &QLineEdit::editingFinished, this, &CParamEditor::markLimitedRows);
        }
    }
    // The wheel over any part of a row scrolls the rows.
    for (Row& row : m_rows)
        for (QWidget* part : {static_cast<QWidget*>(row.label), static_cast<QWidget*>(row.value),
                              static_cast<QWidget*>(row.code), static_cast<QWidget*>(row.link),
                              static_cast<QWidget*>(row.lower), static_cast<QWidget*>(row.upper)})
            part->installEventFilter(this);
    m_used.fill(true);
    placeRows();

    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setGeometry(width() - scrollWidth, 0, scrollWidth, height());
    m_scroll->setRange(1, lastPosition());
    m_scroll->setPageStep(kVisibleRows);
    m_scroll->setSingleStep(1);
    m_scroll->setValue(1);
    connect(m_scroll, &QScrollBar::valueChanged, this, &CParamEditor::scrollTo);
}

void CParamEditor::placeRows()
{
    const int margin = 1, gap = 1, h = m_rowHeight;
    const int valueLeft = m_labelWidth + gap;
    const int codeLeft = valueLeft + m_valueWidth + gap;
    // One parameter a display row: the limits take what the right column held.
    const int limitLeft = codeLeft + m_codeWidth + gap;
    const int limitWidth = (2 * m_columnWidth - limitLeft - 2 * gap - 2) / 2;
    const int displayRows = m_limitsShown ? kRows : (kRows + 1) / 2;
    m_content->setGeometry(0, 0, 2 * m_columnWidth, 1 + (h + 2) * displayRows + 4);
    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        const int x = m_limitsShown || k % 2 == 1 ? 1 : m_columnWidth;
        const int displayRow = m_limitsShown ? k - 1 : (k - 1) / 2;
        const int top = 1 + (h + 2) * displayRow + margin;
        row.label->setGeometry(x, top, m_labelWidth, h);
        row.value->setGeometry(x + valueLeft, top, m_valueWidth, h);
        row.code->setGeometry(x + codeLeft, top, m_codeWidth, h);
        row.link->setGeometry(x + codeLeft, top, m_codeWidth, h);
        row.lower->setGeometry(x + limitLeft, top, limitWidth, h);
        row.upper->setGeometry(x + limitLeft + limitWidth + gap, top, limitWidth, h);
        row.lower->setVisible(m_limitsShown);
        row.upper->setVisible(m_limitsShown);
    }
}

void CParamEditor::showLimits(bool shown)
{
    if (shown == m_limitsShown)
        return;
    const int first = firstVisibleParam();
    m_limitsShown = shown;
    placeRows();
    markLimitedRows();
    {
        const QSignalBlocker quiet(m_scroll);
        m_scroll->setRange(1, lastPosition());
    }
    scrollTo(shown ? first : (first - 1) / 2 + 1);
}

void CParamEditor::scrollTo(int position)
{
    position = std::clamp(position, 1, lastPosition());
    m_position = position;
    m_content->move(0, -(position - 1) * (m_rowHeight + 2));
    if (m_scroll->value() != position)
        m_scroll->setValue(position);
}

int CParamEditor::firstVisibleParam() const
{
    return m_limitsShown ? m_position : (m_position - 1) * 2 + 1;
}

int CParamEditor::lastVisibleParam() const
{
    return std::min(kRows, m_limitsShown ? m_position - 1 + kVisibleRows : (m_position - 1 + kVisibleRows) * 2);
}

void CParamEditor::set(const double* P, const int* NFREE, int rowsInUse, char fun)
{
    m_rowsInUse = std::clamp(rowsInUse, 0, kRows);
    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        const int i = k - 1;
        bool inUse = k <= m_rowsInUse;
        if (inUse) {
            row.value->setText(QString::fromStdString(doubleText(P[i], 7)));
            row.code->setCurrentIndex(NFREE[i] >= 0 && NFREE[i] <= 3 ? NFREE[i] : -1);
        } else {
            // Rows beyond N count as 0: no value of an earlier job stays.
            row.value->clear();
            row.code->setCurrentIndex(-1);
        }
        row.value->setEnabled(inUse);
        row.code->setEnabled(inUse);
        row.lower->setEnabled(inUse);
        row.upper->setEnabled(inUse);
    }
    placeLinks(fun, NFREE);
}

namespace {

// A limit as its box shows it: the shortest text that reads back as the
// same number; empty for none.
QString limitText(double limit)
{
    if (std::isinf(limit))
        return {};
    char text[32];
    const char* end = std::to_chars(text, text + sizeof text, limit).ptr;
    return QString::fromLatin1(text, int(end - text));
}

} // namespace

void CParamEditor::setLimits(const double* LOWER, const double* UPPER)
{
    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        row.lower->setText(limitText(LOWER[k - 1]));
        row.upper->setText(limitText(UPPER[k - 1]));
    }
    markLimitedRows();
}

void CParamEditor::readLimits(double* LOWER, double* UPPER) const
{
    double lower[kRows], upper[kRows];
    for (int k = 1; k <= m_rowsInUse; ++k) {
        const Row& row = m_rows[std::size_t(k - 1)];
        const std::string l = row.lower->text().trimmed().toStdString();
        const std::string u = row.upper->text().trimmed().toStdString();
        lower[k - 1] = l.empty() ? FitJob::kNoLower : parseDoubleText(l);
        upper[k - 1] = u.empty() ? FitJob::kNoUpper : parseDoubleText(u);
    }
    std::copy(lower, lower + m_rowsInUse, LOWER);
    std::copy(upper, upper + m_rowsInUse, UPPER);
}

void CParamEditor::markLimitedRows()
{
    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        const std::size_t i = std::size_t(k - 1);
        const QString l = row.lower->text().trimmed(), u = row.upper->text().trimmed();
        const bool limited = !l.isEmpty() || !u.isEmpty();
        const QString none = QStringLiteral("none");
        const QString limits = limited ? QStringLiteral("Limits: %1 to %2").arg(l.isEmpty() ? none : l,
                                                                                u.isEmpty() ? none : u)
                                       : QString();
        QString name = QStringLiteral("p%1").arg(k);
        if (!m_roles[i].empty())
            name += QStringLiteral(": ") + QString::fromStdString(m_roles[i]);
        else if (!m_used[i])
            name += QStringLiteral(": not used by the circuit");
        row.label->setToolTip(limited ? name + QLatin1Char('\n') + limits : name);
        row.value->setToolTip(limits);
        // In the two-to-a-row view the label's colour tells which rows have
        // limits; grey ones are not used by the circuit.
        const QString grey = QStringLiteral("color: #909090");
        row.label->setStyleSheet(limited && !m_limitsShown ? QStringLiteral("color: #0000c0")
                                 : m_used[i]                ? QString()
                                                            : grey);
        row.value->setStyleSheet(m_used[i] ? QString() : grey);
    }
}

QString CParamEditor::shortRole(const std::string& role)
{
    static const std::pair<const char*, const char*> kShort[] = {
        {"Q (Q)", "Q"}, {"Q (alpha)", "Q\u03b1"}, {"E (dielectric constant)", "E"}, {"W (sigma)", "W\u03c3"},
        {"Ws (R)", "Ws R"}, {"Ws (tau)", "Ws \u03c4"}, {"Wo (R)", "Wo R"}, {"Wo (tau)", "Wo \u03c4"},
        {"G (Z0)", "G Z0"}, {"G (k)", "G k"}, {"TLM (r)", "TLM r"}, {"DE selector", "DE"},
        {"DE (R)", "DE R"}, {"DE (T)", "DE T"}, {"DE (U)", "DE U"}, {"DE (PHI)", "DE \u03c6"},
    };
    const std::size_t more = role.find("; ");
    const std::string first = role.substr(0, more);
    QString text = QString::fromStdString(first);
    for (const auto& [full, brief] : kShort)
        if (first == full)
            text = QString::fromUtf8(brief);
    return more == std::string::npos ? text : text + QLatin1Char('+');
}

void CParamEditor::nameRows(const std::string& definition)
{
    m_roles.fill(std::string());
    bool known = false;
    try {
        for (const model::ParameterRole& r : model::parameterRoles(definition))
            if (r.number >= 1 && r.number <= kRows) {
                m_roles[std::size_t(r.number - 1)] = r.role;
                known = true;
            }
    } catch (const exception&) {
        // A definition the engine refuses: the rows keep their numbers alone.
    }
    for (int k = 1; k <= kRows; ++k) {
        const std::size_t i = std::size_t(k - 1);
        m_used[i] = !known || !m_roles[i].empty();
        QString text = QStringLiteral("p%1").arg(k);
        if (!m_roles[i].empty())
            text += QLatin1Char(' ') + shortRole(m_roles[i]);
        m_rows[i].label->setText(text);
    }
    markLimitedRows();
}

void CParamEditor::wheelEvent(QWheelEvent* event)
{
    m_wheelAngle += event->angleDelta().y();
    const int steps = m_wheelAngle / 120;  // one row a notch
    m_wheelAngle -= steps * 120;
    if (steps != 0)
        scrollTo(m_position - steps);
    event->accept();
}

bool CParamEditor::eventFilter(QObject* watched, QEvent* event)
{
    // The wheel over a row scrolls the rows; over a code list it never
    // changes the code.
    if (event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}


void CParamEditor::setCircuit(char fun)
{
    int codes[kRows];
    for (int k = 1; k <= kRows; ++k)
        codes[k - 1] = m_rows[std::size_t(k - 1)].code->currentIndex();
    placeLinks(fun, codes);
}

void CParamEditor::placeLinks(char fun, const int* NFREE)
{
    const std::string definition = definitionInForce(fun);
    nameRows(definition);
    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        const int i = k - 1;
        m_placement[std::size_t(i)] = placement(fun, k, definition);
        const std::string& label = m_placement[std::size_t(i)];
        if (!label.empty()) {
            row.code->hide();
            QString text = QString::fromStdString(label);
            if (NFREE[i] == 3)
                text.prepend(QLatin1Char('-'));
            row.link->setText(text);
            row.link->show();
        } else {
            row.code->show();
            row.link->hide();
            row.link->clear();
        }
    }
}

QString CParamEditor::stateText() const
{
    QString text = QString::number(m_rowsInUse);
    for (const Row& row : m_rows) {
        text += QLatin1Char('\n') + row.value->text() + QLatin1Char('\t') + QString::number(row.code->currentIndex());
        for (const QLineEdit* limit : {row.lower, row.upper})
            if (limit)
                text += QLatin1Char('\t') + limit->text();
    }
    return text;
}

void CParamEditor::read(double* P, int* NFREE) const
{
    for (int k = 1; k <= m_rowsInUse; ++k) {
        const Row& row = m_rows[std::size_t(k - 1)];
        P[k - 1] = parseDoubleText(row.value->text().toStdString());
        NFREE[k - 1] = row.code->currentIndex();
    }
}

QString CParamEditor::linkTooltip(int k) const
{
    const Row& row = m_rows[std::size_t(k - 1)];
    if (!row.value->isEnabled())
        return {};
    int de = de::numberFromText(row.value->text().toStdString());
    return QString::fromStdString(de::tooltip(de));
}

void CParamEditor::clickLink(int k)
{
    Row& row = m_rows[std::size_t(k - 1)];
    if (!row.value->isEnabled() || row.link->isHidden())
        return;
    const int current = de::numberFromText(row.value->text().toStdString());
    CSelectDEDlg dlg(row.link->text(), current, k, this);
    const int r = runModal(dlg);
    const int chosen = dlg.selectedDE();
    // A dialog left with nothing selected would put no DE number at all into
    // the selector; the row keeps what it had.
    if ((r != QDialog::Accepted && r != CSelectDEDlg::Subtract) || chosen < 0)
        return;
    const QString label = QString::fromStdString(m_placement[std::size_t(k - 1)]);
    row.value->setText(QString::fromStdString(doubleText(chosen, 7)));
    if (r == QDialog::Accepted) {
        row.link->setText(label);
        row.code->setCurrentIndex(0);
    } else {
        row.link->setText(QLatin1Char('-') + label);
        row.code->setCurrentIndex(3);
    }
}

} // namespace nosk
