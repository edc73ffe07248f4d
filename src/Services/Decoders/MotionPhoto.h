#pragma once

// Finds the short video a phone appends to a "motion photo": a JPEG or HEIC whose XMP packet
// says that a video (MP4 or QuickTime) follows the picture at the end of the file. Phones say it
// in one of two ways: a container directory of the items laid end to end after the picture
// (Camera:MotionPhoto with Container:Directory), or, in older files, how many bytes at the end
// the video takes (Camera:MicroVideo with MicroVideoOffset). The XMP is read from the JPEG's
// APP1 segment or the HEIF file's XMP item, and nothing is believed until the bytes at the
// declared range start with an `ftyp` box: editors keep the XMP of a photo whose video they cut.
// Bounded: the XMP is at most HeifBoxes::maximumXmpLength bytes, the JPEG walk stops after a
// fixed number of segments, and every offset and sum is checked against the file's length.

#include "HeifBoxes.h"

#include <QByteArrayView>

#include <optional>

namespace MotionPhoto {

// The byte range of the embedded video within the file.
struct Video
{
    qint64 offset = 0;
    qint64 length = 0;

    bool operator==(const Video &) const = default;
};

// The embedded video's range as the XMP packet declares it, for a file of fileLength bytes;
// nothing when the XMP declares none or the range falls outside the file or is absurd.
std::optional<Video> declaredVideo(QByteArrayView xmp, qint64 fileLength);

// The XMP packet of a JPEG held (its start) in memory; empty when there is none, or when the
// head ends before the packet does.
QByteArrayView jpegXmp(QByteArrayView head);

// The video of a JPEG or HEIF motion photo, found and confirmed: the XMP (in the JPEG's head,
// or read on through readAt when the head ends first; or the HEIF's XMP item) declares a video,
// and the declared range starts with an ISO BMFF box of type `ftyp`.
std::optional<Video>
locate(QByteArrayView head, qint64 fileLength, const HeifBoxes::ReadAt &readAt);

} // namespace MotionPhoto
