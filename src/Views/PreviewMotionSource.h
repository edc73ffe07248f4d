#pragma once

// What the preview plays for a photo of the board: the photo itself when it is a video, the
// video of a Live Photo (a still and a clip of one stem, kept together as companions), or a
// motion photo's clip where its XMP places it inside the file.

#include "Models/Photo.h"
#include "PreviewWindow.h"

namespace PreviewMotionSource {

// The read to run on a worker thread; empty when nothing plays.
PreviewWindow::MotionRead readFor(const Photo &photo);

} // namespace PreviewMotionSource
