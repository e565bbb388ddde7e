#pragma once

#include <string>
#include <vector>

class QImage;
class QPainter;
class QRect;

namespace nosk {

// The engine's output files of a run, deleted before the next one. INFL,
// OUTIN and solartron.fra are kept.
const std::vector<std::string>& engineOutputFiles();

// Deletes the engine's output files from the work folder; a file that is
// missing or cannot be deleted is skipped silently.
void ClearDirectory();

// Where the front page picture goes on a page of W x H device pixels: the
// picture w x h enlarged by the largest whole factor that fits, centred.
QRect frontPageTarget(int W, int H, int w, int h);

// The picture of a page for printing: the colour of its top-left pixel
// becomes white, every other colour black.
QImage monochromePage(const QImage& page);

} // namespace nosk
