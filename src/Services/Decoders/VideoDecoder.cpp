#include "VideoDecoder.h"

#include "ImageScaling.h"
#include "VideoModule.h"

#include <QRegularExpression>
#include <QTransform>

#include <algorithm>

namespace {

// A video opened through the module, closed with its last use.
class ModuleStream
{
public:
    ModuleStream(const ImageSource &file, qint64 offset, qint64 length)
        : m_api(VideoModule::api())
    {
        const qint64 available = file.size() - offset;
        length = length > 0 ? std::min(length, available) : available;
        if (m_api && offset >= 0 && length > 0) {
            m_stream = m_api->open(file.descriptor(), offset, length, VideoDecoder::timeLimitMs);
        }
    }
    ~ModuleStream()
    {
        if (m_stream) {
            m_api->close(m_stream);
        }
    }
    ModuleStream(const ModuleStream &) = delete;
    ModuleStream &operator=(const ModuleStream &) = delete;

    explicit operator bool() const { return m_stream != nullptr; }
    const VideoModule::Api &api() const { return *m_api; }
    VideoModule::Stream *get() const { return m_stream; }

private:
    const VideoModule::Api *m_api;
    VideoModule::Stream *m_stream = nullptr;
};

} // namespace

std::optional<CaptureTime> VideoDecoder::captureTimeOf(const QString &value, const QTimeZone &local)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,9}))?(Z|[+-]\d{2}:?\d{2})?$)"));
    const QRegularExpressionMatch match = form.match(value.trimmed());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const auto number = [&match](int group) { return match.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    const qint32 nanoseconds = match.captured(7).leftJustified(9, QLatin1Char('0')).toInt();
    const QString zone = match.captured(8);
    if (!date.isValid() || !time.isValid() || date.year() <= 1970) {
        return std::nullopt; // 1904-01-01 or 1970-01-01: what a camera writes for "unset"
    }
    if (zone.isEmpty() || zone == QLatin1String("Z")) {
        // UTC, as the container's clock keeps it: shown as this machine's clock would read.
        const QDateTime utc(date, time, QTimeZone::utc());
        const QDateTime here = utc.toTimeZone(local);
        return CaptureTime::make(here.date(), here.time(), nanoseconds,
                                 qint16(here.offsetFromUtc() / 60));
    }
    const QString digits = QString(zone).remove(QLatin1Char(':'));
    const int minutes = digits.mid(1, 2).toInt() * 60 + digits.mid(3, 2).toInt();
    return CaptureTime::make(date, time, nanoseconds,
                             qint16(zone.startsWith(QLatin1Char('-')) ? -minutes : minutes));
}

VideoDecoder::Facts VideoDecoder::facts(const ImageSource &file, qint64 offset, qint64 length)
{
    const ModuleStream video(file, offset, length);
    if (!video) {
        return {};
    }
    const VideoModule::StreamFacts read = video.api().facts(video.get());
    Facts facts;
    facts.clockwiseDegrees = read.clockwiseDegrees;
    facts.uprightSize =
        read.clockwiseDegrees % 180 == 0 ? read.displaySize : read.displaySize.transposed();
    facts.durationMs = read.durationMs;
    facts.codec = read.codec;
    facts.frameRate = read.frameRate;
    facts.captureTime = captureTimeOf(read.phoneCreationDate);
    if (!facts.captureTime) {
        facts.captureTime = captureTimeOf(read.creationTime);
    }
    return facts;
}

QImage VideoDecoder::firstFrame(const ImageSource &file,
                                int maximumPixelDimension,
                                DecodeBudget &budget,
                                qint64 offset,
                                qint64 length)
{
    if (maximumPixelDimension <= 0) {
        return {};
    }
    const ModuleStream video(file, offset, length);
    if (!video) {
        return {};
    }
    const VideoModule::StreamFacts read = video.api().facts(video.get());
    const DecodeBudget::Reservation held =
        budget.reserve(qint64(read.codedSize.width()) * read.codedSize.height());
    video.api().restartClock(video.get(), timeLimitMs);
    const QSize decoded = video.api().decodeFirstPicture(video.get());
    if (decoded.isEmpty()) {
        return {};
    }
    const int degrees = read.clockwiseDegrees;
    // The decoded size rules (a stream may differ from its header); the header's pixel shape
    // stretches it.
    const QSize shown = decoded == read.codedSize ? read.displaySize : decoded;
    const QSize upright = degrees % 180 == 0 ? shown : shown.transposed();
    const QSize fitted = ImageScaling::bounded(upright, maximumPixelDimension);
    QImage image =
        video.api().scaledPicture(video.get(), degrees % 180 == 0 ? fitted : fitted.transposed());
    if (degrees != 0 && !image.isNull()) {
        image = image.transformed(QTransform().rotate(degrees));
    }
    return image;
}

QSize VideoDecoder::uprightSize(const ImageSource &file) const
{
    return facts(file).uprightSize;
}

ImageDecoder::Header VideoDecoder::header(const ImageSource &file) const
{
    const Facts read = facts(file);
    Header header;
    header.uprightSize = read.uprightSize;
    header.durationMs = read.durationMs;
    header.captureTime = read.captureTime;
    return header;
}

PhotoInfo VideoDecoder::photoInfo(const ImageSource &file) const
{
    const Facts read = facts(file);
    PhotoInfo info;
    info.captureTime = read.captureTime;
    info.durationMs = read.durationMs;
    info.videoCodec = read.codec;
    if (read.frameRate > 0) {
        info.frameRate = read.frameRate;
    }
    return info;
}

QImage
VideoDecoder::decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const
{
    return firstFrame(file, maximumPixelDimension, budget);
}
