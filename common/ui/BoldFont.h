#pragma once

#include <QFont>

namespace nosk {

// The window's own font with weight 600: the tab captions and the group box
// captions of every page use it.
QFont boldFont(const QFont& base);

} // namespace nosk
