#pragma once

// Videos (a phone's MOV and MP4, a camera's MTS, AVI, MKV, WebM) read in process with FFmpeg,
// for the board's cells and the Browse list: the facts in the container's header (size, turn,
// duration, codec, frame rate) without decoding a frame, and the first key frame as the picture.
// FFmpeg is reached through the video module, loaded with the first video (VideoModule.h).
// Hostile files stay harmless: FFmpeg reads only the opened file's bytes through our own reader
// (no protocol, no other file, never the network), only the containers cameras and phones write
// are probed, every open and decode is bounded in time, and a claimed size above the decode cap
// is refused before anything is allocated.

#include "ImageDecoder.h"

#include <QTimeZone>

class VideoDecoder : public ImageDecoder
{
public:
    // The header's facts; everything zero or empty when the file is no video we can read.
    struct Facts
    {
        QSize uprightSize;        // the frame as shown: turned, and stretched by its pixel shape
        int clockwiseDegrees = 0; // 0, 90, 180 or 270: how the frames are turned to show them
        qint64 durationMs = 0;
        QString codec;        // "H.264", "HEVC"
        double frameRate = 0; // frames per second; 0 when the header does not say
        // When it was filmed: a phone's local time and offset where it wrote them, else the
        // container's UTC time read on this machine's clock.
        std::optional<CaptureTime> captureTime;
    };

    // A container's time: "2024-05-03T14:22:07+0200" (the phone's own), or UTC
    // "2024-05-03T12:22:07.000000Z" shown in `local`'s time zone.
    static std::optional<CaptureTime>
    captureTimeOf(const QString &value, const QTimeZone &local = QTimeZone::systemTimeZone());

    // Each open, and each decode, gives up after this long (a file on a dead share, or one made
    // to keep the demuxer busy).
    static constexpr int timeLimitMs = 5000;

    // The facts of the video lying in `file` from `offset` on, `length` bytes (the rest of the
    // file when length is 0): a motion photo's video is read where it lies inside the photo.
    static Facts facts(const ImageSource &file, qint64 offset = 0, qint64 length = 0);
    // Its first key frame, upright, fitting `maximumPixelDimension`; null when unreadable.
    static QImage firstFrame(const ImageSource &file,
                             int maximumPixelDimension,
                             DecodeBudget &budget,
                             qint64 offset = 0,
                             qint64 length = 0);

    QSize uprightSize(const ImageSource &file) const override;
    Header header(const ImageSource &file) const override;
    PhotoInfo photoInfo(const ImageSource &file) const override;
    QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const override;
    using ImageDecoder::decode;
};
