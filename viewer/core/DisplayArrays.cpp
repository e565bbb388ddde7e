#include "DisplayArrays.h"

#include "GraphSettings.h"
#include "ViewerTexts.h"
#include "job/Immittance.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

RelativeResiduals residualsRelativeToModulus(const DisplayArrays& arrays, bool imagNegated)
{
    RelativeResiduals r;
    const auto* dRe = arrays.get(DisplayArrays::DataRe);
    const auto* dIm = arrays.get(DisplayArrays::DataIm);
    const auto* mRe = arrays.get(DisplayArrays::ModelRe);
    const auto* mIm = arrays.get(DisplayArrays::ModelIm);
    if (!dRe || !dIm || !mRe || !mIm || !arrays.has(DisplayArrays::Residual1))
        return r;
    const std::size_t n = std::min({dRe->size(), dIm->size(), mRe->size(), mIm->size()});
    r.re.resize(n);
    r.im.resize(n);
    const double sign = imagNegated ? -1 : 1;
    for (std::size_t i = 0; i < n; ++i) {
        const double modulus = std::hypot((*mRe)[i], (*mIm)[i]);
        if (modulus == 0 || !std::isfinite(modulus)) {
            r.re[i] = r.im[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        r.re[i] = 100 * ((*dRe)[i] - (*mRe)[i]) / modulus;
        r.im[i] = 100 * sign * ((*dIm)[i] - (*mIm)[i]) / modulus;
    }
    return r;
}

void setLoadScaleFlags(GraphSettings& settings, int xType, const DisplayArrays& arrays, int count)
{
    const bool frequency = xType == kXFrequency;
    // A log axis set at load rounds around the data (auto scale), as the
    // user's manual limits of a linear axis would not suit it.
    for (int g = 0; g < 4; ++g) {
        settings.axes[g].horizontal.logScale = frequency ? 1 : 0;
        if (frequency)
            settings.axes[g].horizontal.autoScale = 1;
    }

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
    if (vlog) {
        settings.axes[0].vertical.autoScale = 1;
        settings.axes[1].vertical.autoScale = 1;
    }
}

} // namespace nosk
