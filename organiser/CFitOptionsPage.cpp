#include "CFitOptionsPage.h"

#include "CParamEditor.h"
#include "DialogUnits.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/FitJob.h"
#include "platform/Help.h"
#include "ui/ControlHelpers.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <iterator>
#include <cstring>

namespace nosk {
namespace {

constexpr const char* kProgram = "NOSKRUN";
constexpr std::string_view kLevels = "ZYME";
constexpr std::string_view kFormats = "PDLR";
constexpr std::string_view kFrequency = " F";
constexpr std::string_view kSign = " N";
constexpr std::string_view kCircuits = "ABCDEFGHIJKORST";
constexpr std::string_view kDataTypes = "CRI";

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

} // namespace

CFitOptionsPage::CFitOptionsPage(FitJob* job, Prompt& prompt, const QFont& bold, QWidget* parent)
    : CJobPage(job, QStringLiteral("Fitting options"), 10014, parent), m_prompt(prompt)
{
    DialogUnits du(font());
    setMinimumSize(du.x(467), du.y(276));
    resize(minimumSize());

    auto group = [&](const char* title, double x, double y, double w, double h) {
        auto* g = new QGroupBox(QString::fromLatin1(title), this);
        g->setFont(bold);
        g->setGeometry(du.rect(x, y, w, h));
        return g;
    };
    // Children of the page, not of the group boxes, so that the group's bold
    // font stays on its caption.
    auto label = [&](const char* text, double x, double y, double w, double h = 16) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(du.rect(x, y, w, h));
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return l;
    };
    auto number = [&](double x, double y, double w) {
        auto* e = new QLineEdit(this);
        e->setGeometry(du.rect(x, y + 2, w, 12));
        return e;
    };
    auto combo = [&](std::initializer_list<const char*> entries, double x, double y, double w) {
        auto* c = new QComboBox(this);
        for (const char* e : entries)
            c->addItem(QString::fromLatin1(e));
        c->setGeometry(du.rect(x, y + 1, w, 14));
        return c;
    };

    group("Description of run", 4, 0, 459, 30);
    m_description = new QLineEdit(this);
    m_description->setGeometry(du.rect(8, 12, 451, 13));
    m_description->setMaxLength(81);

    group("Data and fit types", 4, 31, 459, 108);
    const double rowY[5] = {41, 60, 79, 98, 117};
    const std::initializer_list<const char*> levels = {"Z, Impedance", "Y, Admittance", "M, Modulus",
                                                       "E, Epsilon"};
    const std::initializer_list<const char*> formats = {"P, polar (radian)", "D, polar (degree)",
                                                        "L, log polar", "R, rectangular"};
    label("CNLS optimization\noperation ( IOPT )", 9, rowY[0], 63);
    m_IOPT = number(73, rowY[0], 80);
    label("Input data system\n( DINP )", 9, rowY[1], 63);
    m_DINP = combo(levels, 73, rowY[1], 80);
    label("Fitting system\n( DFIT )", 9, rowY[2], 63);
    m_DFIT = combo(levels, 73, rowY[2], 80);
    label("Complex input\nformat ( PINP )", 9, rowY[3], 63);
    m_PINP = combo(formats, 73, rowY[3], 80);
    label("Complex fit format\n( PFIT )", 9, rowY[4], 63);
    m_PFIT = combo(formats, 73, rowY[4], 80);

    label("Input frequency\nformat ( FREEQ )", 160, rowY[0], 77);
    m_FREEQ = combo({"Angular, rad/s", "F, Ordinary, Hz"}, 238, rowY[0], 80);
    label("Sign change of\n2nd col ( NEG )", 160, rowY[1], 77);
    m_NEG = combo({"No action taken", "N, multiply by -1"}, 238, rowY[1], 80);
    label("Type of data fit \n( DATTYP )", 160, rowY[2], 77);
    m_DATTYP = combo({"C, Complex", "R, Real (2nd col)", "I, Real (3rd col)"}, 238, rowY[2], 80);
    label("Capacitance of\ncell ( CELCAP )", 160, rowY[3], 77);
    m_CELCAP = number(238, rowY[3], 80);
    label("Robust regression\n( ROE ) or -A/L", 160, rowY[4], 77);
    m_ROE = number(238, rowY[4], 80);

    label("Model fitting\nfunction ( FUN )", 325, rowY[0], 76);
    m_FUN = combo({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "O", "R", "S", "T"}, 402,
                  rowY[0], 28);
    m_help = new QPushButton(QStringLiteral("Help"), this);
    m_help->setGeometry(du.rect(432, rowY[0] + 1, 27, 14));
    m_help->setAutoDefault(false);
    label("Residuals output\ntype ( IPAR )", 325, rowY[1], 76);
    m_IPAR = number(402, rowY[1], 57);
    label("Function weighting\n( IFP )", 325, rowY[2], 76);
    m_IFP = number(402, rowY[2], 57);
    label("Residual weighting\n( IRE )", 325, rowY[3], 76);
    m_IRE = number(402, rowY[3], 57);
    // The circuit of the chosen letter, in the engine's circuit language.
    m_definition = new QLabel(this);
    m_definition->setGeometry(du.rect(325, rowY[4], 134, 18));
    m_definition->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    group("Data, weighting, and fitting specifications", 4, 140, 200, 134);
    const double specY[6] = {151, 170, 189, 208, 227, 246};
    label("Evaluations\n( MAXFEV )", 9, specY[0], 51);
    m_MAXFEV = number(61, specY[0], 56);
    label("Data weighting\n( IRCH )", 9, specY[1], 51);
    m_IRCH = number(61, specY[1], 56);
    label("Output level\n( IPRINT )", 9, specY[2], 51);
    m_IPRINT = number(61, specY[2], 56);
    label("ATEMP", 9, specY[3], 51);
    m_ATEMP = number(61, specY[3], 56);
    label("SD WC", 9, specY[4], 51);
    m_SDWC = new CColorEdit(this);
    m_SDWC->setGeometry(du.rect(61, specY[4] + 2, 56, 12));
    label("SD RC", 9, specY[5], 51);
    m_SDRC = new CColorEdit(this);
    m_SDRC->setGeometry(du.rect(61, specY[5] + 2, 56, 12));

    label("IGACC", 121, specY[0], 45);
    m_IGACC = number(167, specY[0], 33);
    label("NPRINT", 121, specY[1], 45);
    m_NPRINT = number(167, specY[1], 33);
    label("MODE", 121, specY[2], 45);
    m_MODE = number(167, specY[2], 33);
    label("ICP", 121, specY[3], 45);
    m_ICP = number(167, specY[3], 33);
    label("# Data points", 121, specY[4], 45);
    m_points = number(167, specY[4], 33);
    m_points->setReadOnly(true);

    group("Model parameters", 207, 140, 256, 134);
    label("Number of model parameters ( N )", 213, 152, 118);
    m_N = number(332, 152, 30);
    m_N->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_N));
    m_set = new QPushButton(QStringLiteral("Set"), this);
    m_set->setGeometry(du.rect(367, 153, 30, 14));
    m_set->setAutoDefault(false);

    m_params = new CParamEditor(this);
    m_params->move(du.x(209), du.y(181));

    connect(m_DINP, &QComboBox::activated, this, [this] {
        this->job()->DINP = takeCode(m_DINP, kLevels);
        emit levelChanged();
    });
    connect(m_PINP, &QComboBox::activated, this, [this] {
        this->job()->PINP = takeCode(m_PINP, kFormats);
        emit formatChanged();
    });
    connect(m_FUN, &QComboBox::activated, this, [this] { showCircuit(takeCode(m_FUN, kCircuits)); });
    connect(m_IRCH, &QLineEdit::textChanged, this, &CFitOptionsPage::irchEdited);
    connect(m_set, &QPushButton::clicked, this, &CFitOptionsPage::setParameterCount);
    connect(m_help, &QPushButton::clicked, this, &CFitOptionsPage::circuitHelp);
}

QLineEdit* CFitOptionsPage::edit(const char* field) const
{
    const std::pair<const char*, QLineEdit*> boxes[] = {
        {"description", m_description}, {"IOPT", m_IOPT}, {"CELCAP", m_CELCAP}, {"IPAR", m_IPAR},
        {"ROE", m_ROE}, {"IFP", m_IFP}, {"IRE", m_IRE}, {"N", m_N}, {"MAXFEV", m_MAXFEV},
        {"NPRINT", m_NPRINT}, {"IRCH", m_IRCH}, {"MODE", m_MODE}, {"ICP", m_ICP},
        {"IPRINT", m_IPRINT}, {"IGACC", m_IGACC}, {"ATEMP", m_ATEMP}, {"SDWC", m_SDWC},
        {"SDRC", m_SDRC}, {"M", m_points},
    };
    for (const auto& [name, box] : boxes)
        if (std::strcmp(name, field) == 0)
            return box;
    return nullptr;
}

QComboBox* CFitOptionsPage::list(const char* field) const
{
    const std::pair<const char*, QComboBox*> lists[] = {
        {"DINP", m_DINP}, {"DFIT", m_DFIT}, {"PINP", m_PINP}, {"PFIT", m_PFIT},
        {"FREEQ", m_FREEQ}, {"NEG", m_NEG}, {"FUN", m_FUN}, {"DATTYP", m_DATTYP},
    };
    for (const auto& [name, box] : lists)
        if (std::strcmp(name, field) == 0)
            return box;
    return nullptr;
}

void CFitOptionsPage::LoadFromJob()
{
    FitJob& j = *job();
    m_description->setText(QString::fromStdString(j.description));
    showInt(m_IOPT, j.IOPT);
    showCode(m_DINP, kLevels, j.DINP);
    showCode(m_DFIT, kLevels, j.DFIT);
    showCode(m_PINP, kFormats, j.PINP);
    showCode(m_PFIT, kFormats, j.PFIT);
    showCode(m_FREEQ, kFrequency, j.FREEQ);
    showCode(m_NEG, kSign, j.NEG);
    showCode(m_FUN, kCircuits, j.FUN);
    showDouble(m_CELCAP, j.CELCAP);
    showCode(m_DATTYP, kDataTypes, j.DATTYP);
    showInt(m_IPAR, j.IPAR);
    showDouble(m_ROE, j.ROE);
    showInt(m_IFP, j.IFP);
    showInt(m_IRE, j.IRE);
    showInt(m_N, j.N);
    showInt(m_MAXFEV, j.MAXFEV);
    showInt(m_NPRINT, j.NPRINT);
    {
        // Showing the record's IRCH is no edit of it.
        const bool blocked = m_IRCH->blockSignals(true);
        showInt(m_IRCH, j.IRCH);
        m_IRCH->blockSignals(blocked);
    }
    showInt(m_MODE, j.MODE);
    showInt(m_ICP, j.ICP);
    showInt(m_IPRINT, j.IPRINT);
    showInt(m_IGACC, j.IGACC);
    showDouble(m_ATEMP, j.ATEMP);
    showDouble(m_SDWC, j.SDWC);
    showDouble(m_SDRC, j.SDRC);
    showInt(m_points, j.M);
    m_params->set(j.P, j.NFREE, j.N, j.FUN);
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
    // One line on the page; the whole text is the tooltip.
    const QFontMetrics metrics(m_definition->font());
    const QString firstLine = full.section(QLatin1Char('\n'), 0, 0);
    m_definition->setText(metrics.elidedText(firstLine, Qt::ElideRight, m_definition->width()));
    m_definition->setToolTip(full);
    m_FUN->setToolTip(full);
    m_params->setCircuit(fun);
}

void CFitOptionsPage::StoreToJob()
{
    m_lastStoreSucceeded = false;
    FitJob& j = *job();
    bool countTaken = true;
    try {
        j.description = m_description->text().left(81).toStdString();
        j.IOPT = takeInt(m_IOPT);
        j.DINP = takeCode(m_DINP, kLevels);
        j.DFIT = takeCode(m_DFIT, kLevels);
        j.PINP = takeCode(m_PINP, kFormats);
        j.PFIT = takeCode(m_PFIT, kFormats);
        j.FREEQ = takeCode(m_FREEQ, kFrequency);
        j.NEG = takeCode(m_NEG, kSign);
        j.FUN = takeCode(m_FUN, kCircuits);
        j.CELCAP = takeDouble(m_CELCAP);
        j.DATTYP = takeCode(m_DATTYP, kDataTypes);
        j.IPAR = takeInt(m_IPAR);
        j.ROE = takeDouble(m_ROE);
        j.IFP = takeInt(m_IFP);
        j.IRE = takeInt(m_IRE);
        int n = takeInt(m_N);
        if (n >= 0 && n <= FitJob::kMaxParams) {
            j.N = n;
        } else {
            m_prompt.message("Wrong parameters number!", kProgram, Buttons::Ok, Icon::Error);
            countTaken = false;
        }
        j.MAXFEV = takeInt(m_MAXFEV);
        j.NPRINT = takeInt(m_NPRINT);
        j.IRCH = takeInt(m_IRCH);
        j.MODE = takeInt(m_MODE);
        j.ICP = takeInt(m_ICP);
        j.IPRINT = takeInt(m_IPRINT);
        j.IGACC = takeInt(m_IGACC);
        j.ATEMP = takeDouble(m_ATEMP);
        j.SDWC = takeDouble(m_SDWC);
        j.SDRC = takeDouble(m_SDRC);
        // The parameters keep their values when a box above was refused.
        double P[FitJob::kMaxParams];
        int NFREE[FitJob::kMaxParams];
        std::copy(std::begin(j.P), std::end(j.P), P);
        std::copy(std::begin(j.NFREE), std::end(j.NFREE), NFREE);
        m_params->read(P, NFREE);
        std::copy(std::begin(P), std::end(P), j.P);
        std::copy(std::begin(NFREE), std::end(NFREE), j.NFREE);
    } catch (const exception& e) {
        m_prompt.message(e.what(), kProgram, Buttons::Ok, Icon::Error);
        return;
    }
    m_lastStoreSucceeded = countTaken;
}

void CFitOptionsPage::showDataPoints(int m)
{
    showInt(m_points, m);
}

void CFitOptionsPage::showCelcap(double celcap)
{
    showDouble(m_CELCAP, celcap);
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
    char fun = takeCode(m_FUN, kCircuits);
    int n = 0;
    try {
        n = takeInt(m_N);
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
}

void CFitOptionsPage::circuitHelp()
{
    char fun = takeCode(m_FUN, kCircuits);
    for (const CircuitTopic& t : kCircuitTopics)
        if (t.fun == fun) {
            openHelpTopic(t.topic, Help::Window::Circ);
            return;
        }
}

} // namespace nosk
