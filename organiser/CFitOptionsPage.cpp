#include "CFitOptionsPage.h"

#include "CParamEditor.h"
#include "DialogUnits.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/FitJob.h"
#include "core/WorkFolderFiles.h"
#include "job/JobFields.h"
#include "model/Circuit.h"
#include "platform/Help.h"
#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QStyledItemDelegate>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include <algorithm>
#include <iterator>
#include <cstring>

namespace nosk {

namespace {

// The FUN list's entries as the open list draws them: the letter, then the
// circuit's name (its tooltip).
class CircuitNames : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString name = index.data(Qt::ToolTipRole).toString();
        if (!name.isEmpty())
            option->text += QStringLiteral("  ") + name;
    }
};

} // namespace
namespace {

constexpr const char* kProgram = "NOSKRUN";

// A read-only box with red text on white: values the engine reports back.
class CColorEdit : public QLineEdit {
public:
    explicit CColorEdit(QWidget* parent) : QLineEdit(parent)
    {
        setReadOnly(true);
        QPalette p = palette();
        p.setColor(QPalette::Text, QColor(255, 0, 0));
        p.setColor(QPalette::Base, QColor(255, 255, 255));
        setPalette(p);
    }
};

struct CircuitTopic {
    char fun;
    int topic;
};
const CircuitTopic kCircuitTopics[] = {
    {'A', 10051}, {'B', 10052}, {'C', 10053}, {'D', 10054}, {'E', 10055},
    {'F', 10056}, {'G', 10057}, {'H', 10058}, {'I', 10059}, {'J', 10060},
    {'K', 10061}, {'O', 10062}, {'R', 10063}, {'S', 10064}, {'T', 10064},
};

// Where a field's label and box stand on the page (dialog units), in the
// page's tab order. An engine value is shown read-only in red and still
// taken back; a shown value is only shown.
enum class Box { Edit, EngineValue, Shown };
struct Place {
    const char* field;
    double labelX, labelWidth, boxX, boxWidth, y;
    Box box = Box::Edit;
};
constexpr double kRow[5] = {41, 60, 79, 98, 117};
constexpr double kSpecRow[6] = {151, 170, 189, 208, 227, 246};
const Place kPlaces[] = {
    {"IOPT", 9, 63, 73, 80, kRow[0]},       {"DINP", 9, 63, 73, 80, kRow[1]},
    {"DFIT", 9, 63, 73, 80, kRow[2]},       {"PINP", 9, 63, 73, 80, kRow[3]},
    {"PFIT", 9, 63, 73, 80, kRow[4]},       {"FREEQ", 160, 77, 238, 80, kRow[0]},
    {"NEG", 160, 77, 238, 80, kRow[1]},     {"DATTYP", 160, 77, 238, 80, kRow[2]},
    {"CELCAP", 160, 77, 238, 80, kRow[3]},  {"ROE", 160, 77, 238, 80, kRow[4]},
    {"FUN", 325, 76, 402, 28, kRow[0]},     {"IPAR", 325, 76, 402, 57, kRow[1]},
    {"IFP", 325, 76, 402, 57, kRow[2]},     {"IRE", 325, 76, 402, 57, kRow[3]},
    {"MAXFEV", 9, 51, 61, 56, kSpecRow[0]}, {"IRCH", 9, 51, 61, 56, kSpecRow[1]},
    {"IPRINT", 9, 51, 61, 56, kSpecRow[2]}, {"ATEMP", 9, 51, 61, 56, kSpecRow[3]},
    {"SDWC", 9, 51, 61, 56, kSpecRow[4], Box::EngineValue},
    {"SDRC", 9, 51, 61, 56, kSpecRow[5], Box::EngineValue},
    {"IGACC", 121, 45, 167, 33, kSpecRow[0]}, {"NPRINT", 121, 45, 167, 33, kSpecRow[1]},
    {"MODE", 121, 45, 167, 33, kSpecRow[2]},  {"ICP", 121, 45, 167, 33, kSpecRow[3]},
    {"M", 121, 45, 167, 33, kSpecRow[4], Box::Shown},
    {"N", 213, 118, 332, 30, 152},
};

std::size_t indexOf(const JobField& field)
{
    return static_cast<std::size_t>(&field - std::begin(kJobFields));
}

} // namespace

CFitOptionsPage::CFitOptionsPage(FitJob* job, Prompt& prompt, const QFont& bold, QWidget* parent)
    : CJobPage(job, QStringLiteral("Fitting options"), 10014, parent), m_prompt(prompt)
{
    const DialogUnits du = sizeJobPage(*this);
    auto group = [&](const char* title, double x, double y, double w, double h) {
        addGroup(*this, QString::fromLatin1(title), bold, du.rect(x, y, w, h));
    };
    group("Description of run", 4, 0, 459, 30);
    m_description = new QLineEdit(this);
    m_description->setGeometry(du.rect(8, 12, 451, 13));
    m_description->setMaxLength(81);
    group("Data and fit types", 4, 31, 459, 108);
    group("Data, weighting, and fitting specifications", 4, 140, 200, 134);
    group("Model parameters", 207, 140, 256, 134);

    m_boxes.assign(std::size(kJobFields), nullptr);
    for (const Place& place : kPlaces) {
        const JobField& f = *findJobField(place.field);
        auto* label = new QLabel(QString::fromLatin1(f.label), this);
        label->setGeometry(du.rect(place.labelX, place.y, place.labelWidth, 16));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QWidget* box = nullptr;
        if (f.kind == FieldKind::Code) {
            auto* c = new QComboBox(this);
            for (const char* entry : f.codes->entries)
                c->addItem(QString::fromLatin1(entry));
            c->setGeometry(du.rect(place.boxX, place.y + 1, place.boxWidth, 14));
            box = c;
        } else {
            auto* e = place.box == Box::EngineValue ? new CColorEdit(this) : new QLineEdit(this);
            e->setGeometry(du.rect(place.boxX, place.y + 2, place.boxWidth, 12));
            e->setReadOnly(place.box != Box::Edit);
            if (place.box == Box::EngineValue)
                e->setToolTip(QStringLiteral("%1: a value the job file may carry for its engine (the third line's "
                                             "optional pair). Shown in red because it cannot be edited here; it is "
                                             "saved back unchanged. The bundled engine only prints it in its report.")
                                  .arg(QString::fromLatin1(f.label)));
            box = e;
        }
        m_boxes[indexOf(f)] = box;
    }

    m_help = new QPushButton(QStringLiteral("Help"), this);
    m_help->setGeometry(du.rect(432, kRow[0] + 1, 27, 14));
    m_help->setAutoDefault(false);
    setTabOrder(list("FUN"), m_help);
    // The circuit of the chosen letter, in the engine's circuit language.
    m_definition = new QLabel(this);
    m_definition->setGeometry(du.rect(325, kRow[4], 134, 18));
    m_definition->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    QLineEdit* count = edit("N");
    count->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), count));
    m_set = new QPushButton(QStringLiteral("Set"), this);
    m_set->setGeometry(du.rect(367, 153, 30, 14));
    m_set->setAutoDefault(false);

    m_params = new CParamEditor(this);
    m_params->move(du.x(209), du.y(181));
    // Two more columns in the editor: each parameter's lower and upper limit.
    m_limits = new QCheckBox(QStringLiteral("Limits"), this);
    m_limits->setGeometry(du.rect(403, 153, 56, 14));
    m_limits->setToolTip(QStringLiteral("Show each parameter's lower and upper limit for the fit"));
    setTabOrder(m_set, m_limits);
    connect(m_limits, &QCheckBox::toggled, m_params, &CParamEditor::showLimits);

    QComboBox* level = list("DINP");
    connect(level, &QComboBox::activated, this, [this, level] {
        this->job()->DINP = takeCode(level, kLevels.codes);
        emit levelChanged();
    });
    QComboBox* format = list("PINP");
    connect(format, &QComboBox::activated, this, [this, format] {
        this->job()->PINP = takeCode(format, kFormats.codes);
        emit formatChanged();
    });
    QComboBox* circuit = list("FUN");
    circuit->setItemDelegate(new CircuitNames(circuit));
    connect(circuit, &QComboBox::activated, this,
            [this, circuit] { showCircuit(takeCode(circuit, kCircuits.codes)); });
    connect(edit("IRCH"), &QLineEdit::textChanged, this, &CFitOptionsPage::irchEdited);
    connect(m_set, &QPushButton::clicked, this, &CFitOptionsPage::setParameterCount);
    connect(m_help, &QPushButton::clicked, this, &CFitOptionsPage::circuitHelp);
}

QLineEdit* CFitOptionsPage::edit(const char* field) const
{
    if (std::strcmp(field, "description") == 0)
        return m_description;
    const JobField* f = findJobField(field);
    return f ? qobject_cast<QLineEdit*>(m_boxes[indexOf(*f)]) : nullptr;
}

QComboBox* CFitOptionsPage::list(const char* field) const
{
    const JobField* f = findJobField(field);
    return f ? qobject_cast<QComboBox*>(m_boxes[indexOf(*f)]) : nullptr;
}

void CFitOptionsPage::LoadFromJob()
{
    FitJob& j = *job();
    m_description->setText(QString::fromStdString(j.description));
    // Showing the record's IRCH is no edit of it.
    const QSignalBlocker quiet(edit("IRCH"));
    for (const JobField& f : kJobFields) {
        QWidget* box = m_boxes[indexOf(f)];
        if (!box)
            continue;
        switch (f.kind) {
        case FieldKind::Int: showInt(static_cast<QLineEdit*>(box), f.intIn(j)); break;
        case FieldKind::Double: showDouble(static_cast<QLineEdit*>(box), f.doubleIn(j)); break;
        case FieldKind::Code: showCode(static_cast<QComboBox*>(box), f.codes->codes, f.codeIn(j)); break;
        }
    }
    m_params->set(j.P, j.NFREE, j.N, j.FUN);
    m_params->setLimits(j.LOWER, j.UPPER);
    showCircuit(j.FUN);
}

void CFitOptionsPage::showCircuit(char fun)
{
    std::string error;
    const std::string definition = CParamEditor::definitionInForce(fun, &error);
    QString full;
    if (!definition.empty())
        full = QString(QLatin1Char(fun)) + QStringLiteral(" = ") + QString::fromStdString(definition);
    if (!error.empty())
        full += QStringLiteral("\n(CIRCUITS not used: %1)").arg(QString::fromStdString(error));
    // One line on the page; the whole text is the tooltip. A CIRCUITS that
    // does not parse is said on the line itself, in red.
    const QFontMetrics metrics(m_definition->font());
    const QString line = error.empty() ? full.section(QLatin1Char('\n'), 0, 0)
                                       : QStringLiteral("CIRCUITS not used: %1").arg(QString::fromStdString(error));
    m_definition->setText(metrics.elidedText(line, Qt::ElideRight, m_definition->width()));
    m_definition->setStyleSheet(error.empty() ? QString() : QStringLiteral("color: #c00000"));
    m_definition->setToolTip(full);
    list("FUN")->setToolTip(full);
    nameCircuits();
    m_params->setCircuit(fun);
}

void CFitOptionsPage::nameCircuits()
{
    model::CircuitLibrary library = model::CircuitLibrary::builtIn();
    try {
        library = model::CircuitLibrary::withOverrides(workfiles::kCircuits);
    } catch (const std::exception&) {
        // The definition line says why CIRCUITS is not used.
    }
    // The box keeps the letter; the open list shows each letter with its
    // name (the items' tooltips, which CircuitNames draws beside them).
    QComboBox* circuits = list("FUN");
    const std::string_view codes = kCircuits.codes;
    const QFontMetrics metrics(circuits->view()->font());
    int widest = 0;
    for (int i = 0; i < circuits->count() && std::size_t(i) < codes.size(); ++i) {
        const model::CircuitLibrary::Definition* d = library.find(codes[std::size_t(i)]);
        const QString name = d ? QString::fromStdString(d->name) : QString();
        circuits->setItemData(i, name.isEmpty() ? QVariant() : QVariant(name), Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(circuits->itemText(i) + QStringLiteral("  ") + name));
    }
    circuits->view()->setMinimumWidth(widest + 32);
}

void CFitOptionsPage::circuitsChanged()
{
    showCircuit(takeCode(list("FUN"), kCircuits.codes));
}

bool CFitOptionsPage::StoreToJob()
{
    FitJob& j = *job();
    bool countTaken = true;
    try {
        j.description = m_description->text().left(81).toStdString();
        for (const JobField& f : kJobFields) {
            QWidget* box = m_boxes[indexOf(f)];
            if (!box || f.intMember == &FitJob::M)
                continue;  // M is set on the "Data lines" page
            if (f.intMember == &FitJob::N) {
                const int n = takeInt(static_cast<QLineEdit*>(box));
                if (n >= 0 && n <= FitJob::kMaxParams) {
                    j.N = n;
                } else {
                    m_prompt.message("Wrong parameters number!", kProgram, Buttons::Ok, Icon::Error);
                    countTaken = false;
                }
                continue;
            }
            switch (f.kind) {
            case FieldKind::Int: f.intIn(j) = takeInt(static_cast<QLineEdit*>(box)); break;
            case FieldKind::Double: f.doubleIn(j) = takeDouble(static_cast<QLineEdit*>(box)); break;
            case FieldKind::Code: f.codeIn(j) = takeCode(static_cast<QComboBox*>(box), f.codes->codes); break;
            }
        }
        // The parameters keep their values when a box above was refused.
        double P[FitJob::kMaxParams];
        int NFREE[FitJob::kMaxParams];
        std::copy(std::begin(j.P), std::end(j.P), P);
        std::copy(std::begin(j.NFREE), std::end(j.NFREE), NFREE);
        m_params->read(P, NFREE);
        std::copy(std::begin(P), std::end(P), j.P);
        std::copy(std::begin(NFREE), std::end(NFREE), j.NFREE);
        m_params->readLimits(j.LOWER, j.UPPER);
    } catch (const exception& e) {
        m_prompt.message(e.what(), kProgram, Buttons::Ok, Icon::Error);
        return false;
    }
    return countTaken;
}

QString CFitOptionsPage::stateText() const
{
    QString text = m_description->text();
    for (QWidget* box : m_boxes) {
        text += QLatin1Char('\n');
        if (auto* e = qobject_cast<QLineEdit*>(box))
            text += e->text();
        else if (auto* c = qobject_cast<QComboBox*>(box))
            text += QString::number(c->currentIndex());
    }
    return text + QLatin1Char('\n') + m_params->stateText();
}

void CFitOptionsPage::showDataPoints(int m)
{
    showInt(edit("M"), m);
}

void CFitOptionsPage::showCelcap(double celcap)
{
    showDouble(edit("CELCAP"), celcap);
}

void CFitOptionsPage::irchEdited(const QString& text)
{
    int value = 0;
    try {
        value = parseIntText(text.toStdString());
    } catch (const exception&) {
        return;  // an incomplete number while typing changes nothing
    }
    FitJob& j = *job();
    if (value == j.IRCH)
        return;
    j.IRCH = value;
    if (value != 0)
        j.releaseWeights();
    else
        j.weightsFromData();
    emit weightingChanged();
}

void CFitOptionsPage::setParameterCount()
{
    char fun = takeCode(list("FUN"), kCircuits.codes);
    int n = 0;
    try {
        n = takeInt(edit("N"));
    } catch (const exception&) {
        n = 0;
    }
    if (n > FitJob::kMaxParams || n < 0) {
        m_prompt.message("Wrong parameters number!", kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    FitJob& j = *job();
    j.N = n;
    m_params->set(j.P, j.NFREE, n, fun);
    m_params->setLimits(j.LOWER, j.UPPER);
}

void CFitOptionsPage::circuitHelp()
{
    char fun = takeCode(list("FUN"), kCircuits.codes);
    for (const CircuitTopic& t : kCircuitTopics)
        if (t.fun == fun) {
            openHelpTopic(t.topic, Help::Window::Circ);
            return;
        }
}

} // namespace nosk
