#include "Printing.h"

#include <QPainter>
#include <QPrinter>

namespace nosk {

std::string beginPrinting(QPainter& painter, QPrinter& printer)
{
    if (!printer.isValid())
        return kCannotRunPrinter;
    if (!painter.begin(&printer))
        return kPrinterWouldNotStart;
    return {};
}

} // namespace nosk
