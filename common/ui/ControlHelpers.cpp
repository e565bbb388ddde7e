#include "ControlHelpers.h"

#include "core/Exception.h"
#include "core/NumberText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace nosk {
namespace {

constexpr std::size_t kMaxText = 31;

std::string boxText(const QLineEdit* edit)
{
    std::string text = edit->text().toStdString();
    if (text.size() > kMaxText)
        text.resize(kMaxText);
    return text;
}

std::string trimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

void showCode(QComboBox* box, std::string_view codes, char code)
{
    std::size_t pos = codes.find(code);
    int index = pos == std::string_view::npos ? 0 : static_cast<int>(pos);
    if (index >= box->count())
        index = 0;
    box->setCurrentIndex(index);
}

char takeCode(const QComboBox* box, std::string_view codes)
{
    int index = box->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= codes.size())
        return '\0';
    return codes[static_cast<std::size_t>(index)];
}

void showInt(QLineEdit* edit, int value)
{
    edit->setText(QString::number(value));
}

int parseIntText(const std::string& raw)
{
    std::string text = raw.size() > kMaxText ? raw.substr(0, kMaxText) : raw;
    std::string t = trimRight(text);
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
        ++i;
    std::size_t start = i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    std::size_t digits = i;
    while (i < t.size() && isDigit(t[i]))
        ++i;
    if (i == digits || i != t.size())
        throw exception("Wrong number! %s", text.c_str());
    errno = 0;
    long v = std::strtol(t.c_str() + start, nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX)
        throw exception("Wrong number! %s", text.c_str());
    return static_cast<int>(v);
}

int takeInt(const QLineEdit* edit)
{
    return parseIntText(boxText(edit));
}

std::string doubleText(double value, int digits)
{
    char format[16];
    std::snprintf(format, sizeof format, "%%.%iE", digits);
    return formatNumber(format, value);
}

void showDouble(QLineEdit* edit, double value, int digits)
{
    edit->setText(QString::fromStdString(doubleText(value, digits)));
}

double parseLeadingDouble(const std::string& raw)
{
    std::string t = trimRight(raw.size() > kMaxText ? raw.substr(0, kMaxText) : raw);
    return readNumber(t, kTypedNumber).value_or(0.0);
}

double parseDoubleText(const std::string& raw)
{
    auto value = readNumber(raw, kEditBox);
    if (!value)
        throw exception("Wrong number! %s", raw.c_str());
    return *value;
}

double takeDouble(const QLineEdit* edit)
{
    return parseDoubleText(edit->text().toStdString());
}

void showCheck(QCheckBox* box, int value)
{
    box->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
}

int takeCheck(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return -1;
    default: return 0;
    }
}

} // namespace nosk
