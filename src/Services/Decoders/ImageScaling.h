#pragma once

// Size arithmetic and shrinking shared by the decoders: every decoder promises a picture whose
// longest side is at most what was asked, with the photo's aspect kept.

#include <QImage>
#include <QImageIOHandler>
#include <QSize>

namespace ImageScaling {

int longestSide(QSize size);
// `size` shrunk to fit `bound` on its longest side (at least 1 × 1); unchanged when it fits.
QSize bounded(QSize size, int bound);
// `image` shrunk to fit `bound`: fast steps down to four times the target, then one smooth step,
// which looks as good as a smooth scale of the whole image at a fraction of its cost. The fast
// step's picture is drawn into this thread's ScratchBuffer, so shrinking one photo after another
// faults in no fresh pages for it.
QImage shrunk(const QImage &image, int bound);

// Where the part `upright` of a turned photo lies in the picture as stored (`stored` large),
// for Qt's reading of the orientation: mirror and flip first, then a quarter turn clockwise.
QRect storedRect(QRect upright, QSize stored, QImageIOHandler::Transformations turn);
// A picture as stored, turned upright the same way.
QImage turned(const QImage &image, QImageIOHandler::Transformations turn);

} // namespace ImageScaling
