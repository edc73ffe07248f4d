#pragma once

// What assistive technologies see of a photo view: its viewport is a list whose elements are
// the cells on screen, each read as its file name with the value "Selected" or "Not selected".
// Installed once, for every PhotoCanvas.

namespace PhotoCanvasAccessible {

void install();

} // namespace PhotoCanvasAccessible
