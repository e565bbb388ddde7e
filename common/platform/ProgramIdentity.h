#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

namespace nosk {

// What both programs carry besides their windows: the icon and the licence.

// The icon of "noskrun" or "noskview": the installed theme icon when the
// desktop has one, else the picture built into the program. Every window of
// the program gets it.
QIcon programIcon(const QString& name);
void setProgramIcon(const QString& name);

// The licence of the programs followed by the notices of the files that came
// from elsewhere, as the About boxes show them.
QString licenceText();
// A read-only text view of licenceText() for an About box.
QWidget* licenceView(QWidget* parent);

} // namespace nosk
