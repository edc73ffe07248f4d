#pragma once

// A sample collection for a first look without photos of one's own: a few dozen generated
// photos in Unsorted and three categories, some of them portrait through an EXIF orientation.

#include <QString>

namespace DemoCollection {

// The folder under the user's data directory where the demo lives.
QString defaultLocation();

// Creates the collection at `root` unless it is already there; returns false with `error`
// set when it cannot be written. Never touches files that already exist.
bool ensure(const QString &root, QString *error);

} // namespace DemoCollection
