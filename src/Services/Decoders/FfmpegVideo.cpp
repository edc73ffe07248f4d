// The video module: everything that touches FFmpeg, loaded by the program with the first video
// it reads (see VideoModule.h). Hostile files stay harmless: FFmpeg reads only the opened file's
// bytes through our own reader (no protocol, no other file, never the network), only the
// containers cameras and phones write are probed, every open and decode is bounded in time,
// and a claimed size above the decode cap is refused before anything is allocated.

#include "Services/Decoders/VideoModule.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

namespace {

// No side of a frame may exceed this, and no frame may hold more pixels: larger claims are
// damage or an attack, refused before a decoder allocates anything.
constexpr int maximumSide = 16384;
constexpr qint64 maximumPixels = qint64(8192) * 8192;
// Only these demuxers are ever asked to read a file: the containers cameras and phones write.
constexpr const char *formatWhitelist = "mov,matroska,webm,avi,mpegts";
// Packets read in search of a picture before the file counts as unreadable.
constexpr int maximumPackets = 600;
// What a stream whose header names no size may read to find it (an MPEG transport stream).
constexpr int64_t probeBytes = 2 * 1024 * 1024;

// The file's bytes from `start` on, `length` of them, read through the opened descriptor: the
// only bytes FFmpeg ever sees.
struct ByteRange
{
    int fd = -1;
    qint64 start = 0;
    qint64 length = 0;
    qint64 position = 0;
    QDeadlineTimer deadline;
};

int readRange(void *opaque, uint8_t *buffer, int size)
{
    auto *range = static_cast<ByteRange *>(opaque);
    const qint64 wanted = std::min<qint64>(size, range->length - range->position);
    if (wanted <= 0) {
        return AVERROR_EOF;
    }
    for (;;) {
        const ssize_t got =
            ::pread(range->fd, buffer, size_t(wanted), range->start + range->position);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0 ? AVERROR_EOF : AVERROR(EIO);
        }
        range->position += got;
        return int(got);
    }
}

int64_t seekRange(void *opaque, int64_t offset, int whence)
{
    auto *range = static_cast<ByteRange *>(opaque);
    qint64 target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return range->length;
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = range->position + offset;
        break;
    case SEEK_END:
        target = range->length + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0 || target > range->length) {
        return AVERROR(EINVAL);
    }
    range->position = target;
    return target;
}

int pastDeadline(void *opaque)
{
    return static_cast<ByteRange *>(opaque)->deadline.hasExpired() ? 1 : 0;
}

// A container may point at other files (a QuickTime reference, a playlist's entries): none is
// ever opened.
int refuseOtherFiles(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **)
{
    return AVERROR(EPERM);
}

struct FormatCloser
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
struct IoCloser
{
    void operator()(AVIOContext *io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct CodecCloser
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct PacketCloser
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct FrameCloser
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct ScaleCloser
{
    void operator()(SwsContext *context) const { sws_freeContext(context); }
};

// One opened video: the reader, the demuxer over it and its best video stream.
class OpenedVideo
{
public:
    OpenedVideo(int descriptor, qint64 offset, qint64 length, int timeLimitMs)
    {
        // Damaged files are expected here; what FFmpeg would say of them helps nobody.
        static const bool quiet = [] {
            av_log_set_level(AV_LOG_QUIET);
            return true;
        }();
        Q_UNUSED(quiet);
        m_range.fd = descriptor;
        m_range.start = offset;
        m_range.length = length;
        m_range.deadline = QDeadlineTimer(timeLimitMs);
        if (offset < 0 || m_range.length <= 0) {
            return;
        }
        constexpr int bufferSize = 64 * 1024;
        auto *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
        if (!buffer) {
            return;
        }
        m_io.reset(
            avio_alloc_context(buffer, bufferSize, 0, &m_range, readRange, nullptr, seekRange));
        if (!m_io) {
            av_free(buffer);
            return;
        }
        AVFormatContext *context = avformat_alloc_context();
        if (!context) {
            return;
        }
        context->pb = m_io.get();
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
        context->interrupt_callback = {pastDeadline, &m_range};
        context->io_open = refuseOtherFiles;
        AVDictionary *options = nullptr;
        av_dict_set(&options, "format_whitelist", formatWhitelist, 0);
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        // avformat_open_input frees the context when it fails.
        const int opened = avformat_open_input(&context, nullptr, nullptr, &options);
        av_dict_free(&options);
        if (opened < 0) {
            return;
        }
        m_format.reset(context);
        m_streamIndex = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (m_streamIndex < 0) {
            return;
        }
        // A transport stream's header names no size: a bounded look at its first packets does.
        if (codecpar()->width <= 0 || codecpar()->height <= 0) {
            context->probesize = probeBytes;
            context->max_analyze_duration = 2 * AV_TIME_BASE;
            if (avformat_find_stream_info(context, nullptr) < 0) {
                m_streamIndex = -1;
            }
        }
    }

    // FFmpeg keeps the address of the byte range: an opened video stays where it was made.
    OpenedVideo(const OpenedVideo &) = delete;
    OpenedVideo &operator=(const OpenedVideo &) = delete;

    bool isValid() const
    {
        return m_streamIndex >= 0 && codecpar()->width > 0 && codecpar()->height > 0 &&
               codecpar()->width <= maximumSide && codecpar()->height <= maximumSide &&
               qint64(codecpar()->width) * codecpar()->height <= maximumPixels;
    }
    AVStream *stream() const { return m_format->streams[m_streamIndex]; }
    AVCodecParameters *codecpar() const { return stream()->codecpar; }
    AVFormatContext *format() const { return m_format.get(); }
    int streamIndex() const { return m_streamIndex; }
    void restartClock(int timeLimitMs) { m_range.deadline = QDeadlineTimer(timeLimitMs); }

    int clockwiseDegrees() const
    {
        size_t size = 0;
        const uint8_t *matrix = av_stream_get_side_data(stream(), AV_PKT_DATA_DISPLAYMATRIX, &size);
        if (!matrix || size < 9 * sizeof(int32_t)) {
            return 0;
        }
        const double counterClockwise =
            av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
        if (std::isnan(counterClockwise)) {
            return 0;
        }
        const int quarter = int(std::lround(-counterClockwise / 90.0));
        return ((quarter % 4) + 4) % 4 * 90;
    }

    // The frame's size as shown before any turn: square pixels.
    QSize displaySize() const
    {
        const AVRational shape = av_guess_sample_aspect_ratio(m_format.get(), stream(), nullptr);
        qint64 width = codecpar()->width;
        if (shape.num > 0 && shape.den > 0 && shape.num != shape.den) {
            width = std::clamp<qint64>(qint64(std::llround(double(width) * shape.num / shape.den)),
                                       1, maximumSide);
        }
        return {int(width), codecpar()->height};
    }

private:
    ByteRange m_range;
    std::unique_ptr<AVIOContext, IoCloser> m_io;
    std::unique_ptr<AVFormatContext, FormatCloser> m_format;
    int m_streamIndex = -1;
};

QString codecName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264:
        return QStringLiteral("H.264");
    case AV_CODEC_ID_HEVC:
        return QStringLiteral("HEVC");
    case AV_CODEC_ID_AV1:
        return QStringLiteral("AV1");
    case AV_CODEC_ID_VP9:
        return QStringLiteral("VP9");
    case AV_CODEC_ID_VP8:
        return QStringLiteral("VP8");
    case AV_CODEC_ID_MPEG4:
        return QStringLiteral("MPEG-4");
    case AV_CODEC_ID_MPEG2VIDEO:
        return QStringLiteral("MPEG-2");
    case AV_CODEC_ID_MJPEG:
        return QStringLiteral("MJPEG");
    case AV_CODEC_ID_PRORES:
        return QStringLiteral("ProRes");
    default:
        break;
    }
    const AVCodecDescriptor *descriptor = avcodec_descriptor_get(id);
    return descriptor ? QString::fromUtf8(descriptor->name).toUpper() : QString();
}

qint64 durationMsOf(const OpenedVideo &video)
{
    const AVStream *stream = video.stream();
    if (stream->duration > 0 && stream->time_base.num > 0 && stream->time_base.den > 0) {
        return av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
    }
    const int64_t whole = video.format()->duration;
    return whole > 0 ? whole / (AV_TIME_BASE / 1000) : 0;
}

// Decodes from the first key frame on until a picture comes out. The decoder is drained right
// after the key packet: HEVC holds its first picture back for dozens of packets otherwise.
std::unique_ptr<AVFrame, FrameCloser> firstPicture(OpenedVideo &video)
{
    const AVCodec *codec = avcodec_find_decoder(video.codecpar()->codec_id);
    if (!codec) {
        return nullptr;
    }
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), video.codecpar()) < 0) {
        return nullptr;
    }
    decoder->thread_count = 1; // one file per thread: the pool runs several at once
    decoder->max_pixels = maximumPixels;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    if (!packet || !frame) {
        return nullptr;
    }
    bool keySeen = false;
    bool drainedOnce = false;
    const auto received = [&] { return avcodec_receive_frame(decoder.get(), frame.get()) == 0; };
    for (int count = 0; count < maximumPackets; ++count) {
        const int read = av_read_frame(video.format(), packet.get());
        if (read < 0) {
            break;
        }
        const bool ours = packet->stream_index == video.streamIndex();
        keySeen = keySeen || (ours && (packet->flags & AV_PKT_FLAG_KEY));
        if (!ours || !keySeen) {
            av_packet_unref(packet.get());
            continue;
        }
        const int sent = avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            continue; // a damaged packet: the next one may still decode
        }
        if (received()) {
            return frame;
        }
        if (!drainedOnce) {
            drainedOnce = true;
            avcodec_send_packet(decoder.get(), nullptr);
            if (received()) {
                return frame;
            }
            // A damaged key frame: start again from the next one.
            avcodec_flush_buffers(decoder.get());
            keySeen = false;
        }
    }
    avcodec_send_packet(decoder.get(), nullptr);
    return received() ? std::move(frame) : nullptr;
}

// The decoded frame at `target` (its display shape, before the turn), as 32-bit RGB.
QImage scaled(const AVFrame &frame, QSize target)
{
    if (frame.width <= 0 || frame.height <= 0 || target.isEmpty()) {
        return {};
    }
    std::unique_ptr<SwsContext, ScaleCloser> scaler(
        sws_getContext(frame.width, frame.height, AVPixelFormat(frame.format), target.width(),
                       target.height(), AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler) {
        return {};
    }
    QImage image(target, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) <=
        0) {
        return {};
    }
    return image;
}

QString metadata(const AVDictionary *dictionary, const char *key)
{
    const AVDictionaryEntry *entry = av_dict_get(dictionary, key, nullptr, 0);
    return entry && entry->value ? QString::fromUtf8(entry->value) : QString();
}

} // namespace

struct VideoModule::Stream
{
    Stream(int descriptor, qint64 start, qint64 length, int timeLimitMs)
        : video(descriptor, start, length, timeLimitMs)
    {
    }

    OpenedVideo video;
    std::unique_ptr<AVFrame, FrameCloser> picture;
};

namespace {

VideoModule::Stream *openStream(int descriptor, qint64 start, qint64 length, int timeLimitMs)
{
    auto stream = std::make_unique<VideoModule::Stream>(descriptor, start, length, timeLimitMs);
    return stream->video.isValid() ? stream.release() : nullptr;
}

void closeStream(VideoModule::Stream *stream)
{
    delete stream;
}

VideoModule::StreamFacts factsOf(const VideoModule::Stream *stream)
{
    const OpenedVideo &video = stream->video;
    VideoModule::StreamFacts facts;
    facts.codedSize = QSize(video.codecpar()->width, video.codecpar()->height);
    facts.displaySize = video.displaySize();
    facts.clockwiseDegrees = video.clockwiseDegrees();
    facts.durationMs = durationMsOf(video);
    facts.codec = codecName(video.codecpar()->codec_id);
    const AVRational rate = video.stream()->avg_frame_rate.num > 0 ? video.stream()->avg_frame_rate
                                                                   : video.stream()->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        facts.frameRate = av_q2d(rate);
    }
    const AVDictionary *tags = video.format()->metadata;
    facts.phoneCreationDate = metadata(tags, "com.apple.quicktime.creationdate");
    facts.creationTime = metadata(tags, "creation_time");
    return facts;
}

void restartClock(VideoModule::Stream *stream, int timeLimitMs)
{
    stream->video.restartClock(timeLimitMs);
}

QSize decodeFirstPicture(VideoModule::Stream *stream)
{
    stream->picture = firstPicture(stream->video);
    return stream->picture ? QSize(stream->picture->width, stream->picture->height) : QSize();
}

QImage scaledPicture(const VideoModule::Stream *stream, QSize target)
{
    return stream->picture ? scaled(*stream->picture, target) : QImage();
}

} // namespace

extern "C" Q_DECL_EXPORT const VideoModule::Api *calvenor_video_module()
{
    static const VideoModule::Api api{
        VideoModule::apiVersion, openStream,   closeStream, factsOf, restartClock,
        decodeFirstPicture,      scaledPicture};
    return &api;
}
