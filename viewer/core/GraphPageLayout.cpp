#include "GraphPageLayout.h"

namespace nosk {

GraphSlots graphPageGroups(const std::array<bool, 4>& built, const LayoutRect& c)
{
    GraphSlots g;
    const int mx = (c.left + c.right) / 2;
    const int my = (c.top + c.bottom) / 2;
    const LayoutRect g3{mx + 2, 3, c.right - 3, my - 2};
    const LayoutRect g4{mx + 2, my + 2, c.right - 3, c.bottom - 4};
    const bool b1 = built[0], b2 = built[1], b3 = built[2], b4 = built[3];
    if (b1 && b2 && b3 && b4) {
        g[0] = LayoutRect{3, 3, mx - 2, my - 2};
        g[1] = LayoutRect{3, my + 2, mx - 2, c.bottom - 4};
        g[2] = g3;
        g[3] = g4;
    } else if ((b1 || b2) && b3 && b4) {
        g[b1 ? 0 : 1] = LayoutRect{3, 3, mx - 2, c.bottom - 4};
        g[2] = g3;
        g[3] = g4;
    } else if (b1 && b2) {
        const int cx = (c.right - mx) / 2;
        g[0] = LayoutRect{cx, 3, mx + cx, my - 2};
        g[1] = LayoutRect{cx, my + 2, mx + cx, c.bottom - 4};
    } else {
        for (int i = 0; i < 4; ++i)
            if (built[i]) {
                g[i] = LayoutRect{50, 3, c.right - 50, c.bottom - 4};
                break;
            }
    }
    return g;
}

LayoutRect graphNormalRect(const LayoutRect& group, int L)
{
    return {group.left + 6, group.top + L + 1, group.right - 6, group.bottom - 6};
}

LayoutRect graphEnlargedRect(const LayoutRect& c, int L)
{
    return {c.left + 9, c.top + L + 3, c.right - 9, c.bottom - 10};
}

LayoutRect enlargedGroupRect(const LayoutRect& c)
{
    return {c.left + 3, c.top + 3, c.right - 3, c.bottom - 4};
}

LayoutRect groupAroundGraph(const LayoutRect& r, int L)
{
    return {r.left - 6, r.top - L - 1, r.right + 6, r.bottom + 6};
}

} // namespace nosk
