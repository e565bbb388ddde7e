#include "ImageLayout.h"

#include <algorithm>
#include <vector>

namespace nosk {

namespace {

// The largest whole factor that fits the graph into the box; 0 when it does not fit.
LayoutRect fit(const LayoutRect& size, int bw, int bh)
{
    const int w = size.width(), h = size.height();
    if (w <= 0 || h <= 0)
        return {};
    const int k = std::min(bw / w, bh / h);
    return {0, 0, k * w, k * h};
}

LayoutRect fitAtCorner(const LayoutRect& size, int bw, int bh, int x, int y)
{
    LayoutRect r = fit(size, bw, bh);
    r.moveTo(x - r.width(), y - r.height());
    return r;
}

std::vector<int> filled(const std::array<std::optional<LayoutRect>, 4>& sizes)
{
    std::vector<int> f;
    for (int i = 0; i < 4; ++i)
        if (sizes[i])
            f.push_back(i);
    return f;
}

} // namespace

GraphSlots printerLayout(const std::array<std::optional<LayoutRect>, 4>& sizes, int W, int H)
{
    GraphSlots out;
    const auto f = filled(sizes);
    switch (f.size()) {
    case 1:
        out[f[0]] = fitAtCorner(*sizes[f[0]], W, H, W, H);
        break;
    case 2: {
        LayoutRect a = fit(*sizes[f[0]], W, H / 2);
        LayoutRect b = fit(*sizes[f[1]], W, H / 2);
        const int m = std::max(a.height() / 12, 24);
        a.moveBy(0, m);
        b.moveTo(b.left, a.bottom + m);
        const int dx = (W - a.width()) / 2;
        a.moveBy(dx, 0);
        b.moveBy(dx, 0);
        out[f[0]] = a;
        out[f[1]] = b;
        break;
    }
    case 3: {
        LayoutRect a = fitAtCorner(*sizes[f[0]], W / 2, H, W / 2, H);
        a.moveTo(a.left, 0);
        LayoutRect c = fitAtCorner(*sizes[f[1]], W / 2, H / 2, W, H / 2);
        c.moveTo(c.left, 0);
        LayoutRect d = fitAtCorner(*sizes[f[2]], W / 2, H / 2, W, H);
        d.moveTo(d.left, a.bottom - d.height());
        out[f[0]] = a;
        out[f[1]] = c;
        out[f[2]] = d;
        break;
    }
    case 4: {
        LayoutRect r[4];
        for (int i = 0; i < 4; ++i)
            r[i] = fit(*sizes[i], W / 2, H / 2);
        const int m = std::max(r[0].height() / 12, 24);
        r[0].moveBy(0, m);
        r[1].moveTo(r[1].left, r[0].bottom + m);
        r[2].moveTo(W - r[2].width(), r[0].top);
        r[3].moveTo(r[2].left, r[1].top);
        for (int i = 0; i < 4; ++i)
            out[i] = r[i];
        break;
    }
    default:
        break;
    }
    return out;
}

ImageLayout imageLayout(const std::array<std::optional<LayoutRect>, 4>& sizes)
{
    ImageLayout out;
    const auto f = filled(sizes);
    auto at = [&](int slot, int x, int y) {
        LayoutRect r{0, 0, sizes[slot]->width(), sizes[slot]->height()};
        r.moveTo(x, y);
        out.rects[slot] = r;
        return r;
    };
    switch (f.size()) {
    case 1: {
        const LayoutRect& s = *sizes[f[0]];
        out.rects[f[0]] = LayoutRect{0, 0, 2 * s.width(), 2 * s.height()};
        out.width = 2 * s.width();
        out.height = 2 * s.height();
        break;
    }
    case 2: {
        LayoutRect a = at(f[0], 0, 24);
        LayoutRect b = at(f[1], 0, a.bottom + 24);
        out.width = b.right;
        out.height = b.bottom;
        break;
    }
    case 3: {
        LayoutRect a = at(f[0], 0, 24);
        LayoutRect c = at(f[1], a.right + 16, 24);
        LayoutRect d = at(f[2], c.left, a.bottom - sizes[f[2]]->height());
        out.width = d.right;
        out.height = d.bottom;
        break;
    }
    case 4: {
        LayoutRect a = at(0, 0, 24);
        LayoutRect b = at(1, 0, a.bottom + 24);
        at(2, a.right + 16, 24);
        LayoutRect d = at(3, b.right + 16, b.top);
        out.width = d.right;
        out.height = d.bottom;
        break;
    }
    default:
        break;
    }
    return out;
}

} // namespace nosk
