#include "job/Immittance.h"

#include <cmath>
#include <vector>

namespace nosk {

namespace {

void polarToRectangular(double& a, double& b)
{
    const double magnitude = a;
    const double angle = b;
    a = magnitude * std::cos(angle);
    b = magnitude * std::sin(angle);
}

void invert(double& x, double& y)
{
    const double s = y * y + x * x;
    x = x / s;
    y = -y / s;
}

void multiplyByJOmegaC(double& x, double& y, double d)
{
    const double oldX = x;
    x = -d * y;
    y = d * oldX;
}

void divideByJOmegaC(double& x, double& y, double d)
{
    const double oldX = x;
    x = y / d;
    y = -oldX / d;
}

bool knownLevel(char level)
{
    return level == 'Z' || level == 'Y' || level == 'M' || level == 'E';
}

} // namespace

void ToRectangular(char format, double& a, double& b)
{
    switch (format) {
    case 'P':
        polarToRectangular(a, b);
        break;
    case 'D':
        b = (kPi * b) * kOneOver180;
        polarToRectangular(a, b);
        break;
    case 'L':
        a = std::exp(a);
        polarToRectangular(a, b);
        break;
    default:
        break;
    }
}

void FromRectangular(char format, double& x, double& y)
{
    if (format != 'P' && format != 'D' && format != 'L')
        return;
    const double magnitude = std::sqrt(x * x + y * y);
    const double angle = std::atan2(y, x);
    x = magnitude;
    y = angle;
    if (format == 'D')
        y = y * (180.0 / kPi);
    else if (format == 'L')
        x = std::log(x);
}

void ChangeLevel(char fromLevel, char toLevel, double& x, double& y, double omega, double C)
{
    if (fromLevel == toLevel || !knownLevel(fromLevel) || !knownLevel(toLevel))
        return;
    const double d = omega * C;
    switch (fromLevel) {
    case 'Z':
        if (toLevel == 'Y') {
            invert(x, y);
        } else if (toLevel == 'M') {
            multiplyByJOmegaC(x, y, d);
        } else {  // E
            multiplyByJOmegaC(x, y, d);
            invert(x, y);
        }
        break;
    case 'Y':
        if (toLevel == 'Z') {
            invert(x, y);
        } else if (toLevel == 'M') {
            invert(x, y);
            multiplyByJOmegaC(x, y, d);
        } else {  // E
            invert(x, y);
            multiplyByJOmegaC(x, y, d);
            invert(x, y);
        }
        break;
    case 'M':
        if (toLevel == 'Z') {
            divideByJOmegaC(x, y, d);
        } else if (toLevel == 'Y') {
            divideByJOmegaC(x, y, d);
            invert(x, y);
        } else {  // E
            invert(x, y);
        }
        break;
    case 'E':
        if (toLevel == 'Z') {
            invert(x, y);
            divideByJOmegaC(x, y, d);
        } else if (toLevel == 'Y') {
            invert(x, y);
            divideByJOmegaC(x, y, d);
            invert(x, y);
        } else {  // M
            invert(x, y);
        }
        break;
    }
}

void TransformArrays(const double* x, double* first, double* second, int count,
                     char fromLevel, char fromFormat, char toLevel, char toFormat, double C)
{
    if (fromLevel == toLevel && fromFormat == toFormat)
        return;
    if ((!first && !second) || count <= 0)
        return;
    if (!x && fromLevel != toLevel)
        return;
    // Real-only or imaginary-only data: the missing part is taken as 0 and
    // what is computed for it is dropped.
    std::vector<double> missing;
    if (!first || !second) {
        missing.assign(static_cast<std::size_t>(count), 0.0);
        (first ? second : first) = missing.data();
    }
    for (int i = 0; i < count; ++i) {
        ToRectangular(fromFormat, first[i], second[i]);
        ChangeLevel(fromLevel, toLevel, first[i], second[i], x ? x[i] : 0.0, C);
        FromRectangular(toFormat, first[i], second[i]);
    }
}

void ToAngular(double* values, int count)
{
    if (!values)
        return;
    for (int i = 0; i < count; ++i)
        values[i] = (kPi * values[i]) * 2;
}

void ToOrdinary(double* values, int count)
{
    if (!values)
        return;
    for (int i = 0; i < count; ++i)
        values[i] = values[i] / (kPi + kPi);
}

void ConvertFrequencies(bool fromAngular, bool toAngular, double* values, int count)
{
    if (fromAngular == toAngular || !values)
        return;
    if (toAngular)
        ToAngular(values, count);
    else
        ToOrdinary(values, count);
}

void ConvertArrays(char format, const double* first, const double* second,
                   double* firstOut, double* secondOut, int count)
{
    for (int i = 0; i < count; ++i) {
        double a = first ? first[i] : 0.0;
        double b = second ? second[i] : 0.0;
        ToRectangular(format, a, b);
        if (firstOut)
            firstOut[i] = a;
        if (secondOut)
            secondOut[i] = b;
    }
}

} // namespace nosk
