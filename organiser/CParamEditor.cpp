#include "CParamEditor.h"

#include "DECatalogue.h"
#include "CSelectDEDlg.h"
#include "DialogUnits.h"
#include "platform/DialogRunner.h"
#include "ui/ControlHelpers.h"

#include "engine/Circuit.h"
#include "core/Exception.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

#include <cstring>

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
    const engine::CircuitLibrary::Definition* builtIn = engine::CircuitLibrary::builtIn().find(fun);
    if (builtIn && builtIn->text == definition)
        return placement(fun, k);
    try {
        const engine::Circuit circuit = engine::Circuit::parse(definition);
        const std::vector<engine::DePlace> places = engine::dePlaces(circuit);
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
        const engine::CircuitLibrary lib = engine::CircuitLibrary::withOverrides("CIRCUITS");
        const engine::CircuitLibrary::Definition* d = lib.find(fun);
        return d ? d->text : std::string();
    } catch (const exception& e) {
        if (error)
            *error = e.what();
        const engine::CircuitLibrary::Definition* d = engine::CircuitLibrary::builtIn().find(fun);
        return d ? d->text : std::string();
    }
}

CParamEditor::CParamEditor(QWidget* parent) : QWidget(parent)
{
    DialogUnits du(font());
    const int margin = 1, gap = 1, columnSpacing = 10;
    m_rowHeight = du.y(13);
    const int h = m_rowHeight;
    const int labelWidth = du.x(20), valueWidth = du.x(64), codeWidth = du.x(28);
    const int valueLeft = labelWidth + gap;
    const int codeLeft = labelWidth + gap + valueWidth + gap;
    const int columnWidth = codeLeft + codeWidth + columnSpacing;
    const int scrollWidth = 15;

    resize(2 * columnWidth + scrollWidth, (h + 2) * kVisibleRows + 4);
    setAttribute(Qt::WA_NoSystemBackground, false);

    // The rows live on a content widget that the bar moves up and down.
    auto* viewport = new QWidget(this);
    viewport->setGeometry(0, 0, 2 * columnWidth, height());
    m_content = new QWidget(viewport);
    m_content->setGeometry(0, 0, 2 * columnWidth, 1 + (h + 2) * 25 + 4);

    for (int k = 1; k <= kRows; ++k) {
        Row& row = m_rows[std::size_t(k - 1)];
        int x = (k % 2 == 1) ? 1 : columnWidth;
        int top = 1 + (h + 2) * ((k - 1) / 2) + margin;
        row.label = new QLabel(QString::asprintf("p[%i]", k), m_content);
        row.label->setGeometry(x, top, labelWidth, h);
        row.value = new QLineEdit(m_content);
        row.value->setGeometry(x + valueLeft, top, valueWidth, h);
        row.value->setEnabled(false);
        row.code = new QComboBox(m_content);
        row.code->addItems({QStringLiteral("fix"), QStringLiteral("pos"), QStringLiteral("any"),
                            QStringLiteral("sub")});
        row.code->setGeometry(x + codeLeft, top, codeWidth, h);
        row.code->setEnabled(false);
        row.link = new CDELink(m_content);
        row.link->setGeometry(x + codeLeft, top, codeWidth, h);
        row.link->hide();
        row.link->tooltipText = [this, k] { return linkTooltip(k); };
        connect(row.link, &CDELink::clicked, this, [this, k] { clickLink(k); });
    }

    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setGeometry(width() - scrollWidth, 0, scrollWidth, height());
    m_scroll->setRange(1, 20);
    m_scroll->setPageStep(kVisibleRows);
    m_scroll->setSingleStep(1);
    m_scroll->setValue(1);
    connect(m_scroll, &QScrollBar::valueChanged, this, &CParamEditor::scrollTo);
}

void CParamEditor::scrollTo(int position)
{
    position = std::clamp(position, 1, 20);
    m_position = position;
    m_content->move(0, -(position - 1) * (m_rowHeight + 2));
    if (m_scroll->value() != position)
        m_scroll->setValue(position);
}

int CParamEditor::firstVisibleParam() const
{
    return (m_position - 1) * 2 + 1;
}

int CParamEditor::lastVisibleParam() const
{
    return std::min(kRows, (m_position - 1 + kVisibleRows) * 2);
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
    }
    placeLinks(fun, NFREE);
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
    for (const Row& row : m_rows)
        text += QLatin1Char('\n') + row.value->text() + QLatin1Char('\t') + QString::number(row.code->currentIndex());
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
