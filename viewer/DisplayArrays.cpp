#include "DisplayArrays.h"

#include "GraphSettings.h"
#include "ViewerTexts.h"
#include "job/Immittance.h"

#include <algorithm>

namespace nosk {

void DisplayArrays::release()
{
    for (auto& a : arrays)
        a.reset();
}

namespace {

void copyInto(std::optional<std::vector<double>>& to, const std::vector<double>* from)
{
    if (from)
        to = *from;
    else
        to.reset();
}

void negate(std::optional<std::vector<double>>& a)
{
    if (a)
        for (double& v : *a)
            v = -v;
}

} // namespace

bool BuildDisplayArrays(const DisplaySource& s, char dfit, char pfit, char dattyp, DisplayArrays& out)
{
    out.release();
    auto& a = out.arrays;
    copyInto(a[DisplayArrays::Data1], s.obs1);
    copyInto(a[DisplayArrays::Data2], s.obs2);
    copyInto(a[DisplayArrays::Model1], s.model1);
    copyInto(a[DisplayArrays::Model2], s.model2);
    if (s.fit) {
        copyInto(a[DisplayArrays::Residual1], s.extra1a);
        copyInto(a[DisplayArrays::Residual2], s.extra2a);
        copyInto(a[DisplayArrays::Relative1], s.extra1b);
        copyInto(a[DisplayArrays::Relative2], s.extra2b);
    }

    bool imagNegated = false;
    if ((dfit == 'Z' || dfit == 'E') && dattyp != 'R' && a[DisplayArrays::Data2]) {
        negate(a[DisplayArrays::Model2]);
        negate(a[DisplayArrays::Data2]);
        if (s.fit) {
            negate(a[DisplayArrays::Residual2]);
            negate(a[DisplayArrays::Relative2]);
        }
        imagNegated = true;
    }

    if (dattyp == 'C' && a[DisplayArrays::Data1] && a[DisplayArrays::Data2] && a[DisplayArrays::Model1]
        && a[DisplayArrays::Model2]) {
        auto rect = [&](int first, int second, int re, int im) {
            const auto& x = *a[first];
            const auto& y = *a[second];
            int n = static_cast<int>(std::min(x.size(), y.size()));
            a[re] = std::vector<double>(n);
            a[im] = std::vector<double>(n);
            ConvertArrays(pfit, x.data(), y.data(), a[re]->data(), a[im]->data(), n);
        };
        rect(DisplayArrays::Data1, DisplayArrays::Data2, DisplayArrays::DataRe, DisplayArrays::DataIm);
        rect(DisplayArrays::Model1, DisplayArrays::Model2, DisplayArrays::ModelRe, DisplayArrays::ModelIm);
    }
    return imagNegated;
}

void setLoadScaleFlags(GraphSettings& settings, int xType, const DisplayArrays& arrays, int count)
{
    const bool frequency = xType == kXFrequency;
    for (int g = 0; g < 4; ++g)
        settings.axes[g].horizontal.logScale = frequency ? 1 : 0;

    bool anyNegative = false;
    for (int i = DisplayArrays::Data1; i <= DisplayArrays::Model2 && !anyNegative; ++i) {
        const auto* v = arrays.get(i);
        if (!v)
            continue;
        int n = std::min<int>(count, static_cast<int>(v->size()));
        for (int k = 0; k < n; ++k)
            if ((*v)[k] < 0) {
                anyNegative = true;
                break;
            }
    }
    const int vlog = frequency && !anyNegative ? 1 : 0;
    settings.axes[0].vertical.logScale = vlog;
    settings.axes[1].vertical.logScale = vlog;
}

} // namespace nosk
