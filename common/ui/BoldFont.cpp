#include "BoldFont.h"

namespace nosk {

QFont boldFont(const QFont& base)
{
    QFont f(base);
    f.setWeight(QFont::DemiBold);  // 600
    return f;
}

} // namespace nosk
