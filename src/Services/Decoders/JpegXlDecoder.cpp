#include "JpegXlDecoder.h"

#include "ExifThumbnail.h"
#include "ImageScaling.h"
#include "LazyLibrary.h"
#include "Services/DecodeBudget.h"

#include <jxl/decode.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace {

// libjxl is loaded with the first JPEG XL photo (see LazyLibrary.h), with libhwy and Brotli
// behind it.
#define CALVENOR_JXL_FUNCTIONS(F)                                                                  \
    F(JxlDecoderCloseInput)                                                                        \
    F(JxlDecoderCreate)                                                                            \
    F(JxlDecoderDestroy)                                                                           \
    F(JxlDecoderFlushImage)                                                                        \
    F(JxlDecoderGetBasicInfo)                                                                      \
    F(JxlDecoderImageOutBufferSize)                                                                \
    F(JxlDecoderPreviewOutBufferSize)                                                              \
    F(JxlDecoderProcessInput)                                                                      \
    F(JxlDecoderReleaseInput)                                                                      \
    F(JxlDecoderSetImageOutBuffer)                                                                 \
    F(JxlDecoderSetInput)                                                                          \
    F(JxlDecoderSetKeepOrientation)                                                                \
    F(JxlDecoderSetPreferredColorProfile)                                                          \
    F(JxlDecoderSetPreviewOutBuffer)                                                               \
    F(JxlDecoderSetProgressiveDetail)                                                              \
    F(JxlDecoderSetUnpremultiplyAlpha)                                                             \
    F(JxlDecoderSubscribeEvents)

struct JxlLibrary
{
    CALVENOR_JXL_FUNCTIONS(CALVENOR_LAZY_DECLARE)
};

// Null when libjxl cannot be loaded: JPEG XL photos then read as unreadable files.
const JxlLibrary *loadedLibrary()
{
    static const JxlLibrary *const loaded = LazyLibrary::load<JxlLibrary>(
        QStringLiteral("jxl"), QStringLiteral(CALVENOR_LIBJXL_SOVERSION), "JPEG XL photos",
        [](LazyLibrary &library, JxlLibrary &table) {
#define CALVENOR_JXL_RESOLVE(name) CALVENOR_LAZY_RESOLVE(library, table, name);
            CALVENOR_JXL_FUNCTIONS(CALVENOR_JXL_RESOLVE)
#undef CALVENOR_JXL_RESOLVE
        });
    return loaded;
}

// Only called once a decoder was made, so the library is loaded.
const JxlLibrary &jxl()
{
    return *loadedLibrary();
}

struct DecoderRelease
{
    void operator()(JxlDecoderStruct *decoder) const { jxl().JxlDecoderDestroy(decoder); }
};
using Decoder = std::unique_ptr<JxlDecoderStruct, DecoderRelease>;

// The size header lies in the first few dozen bytes, after container boxes when there are any;
// metadata boxes in front of the codestream are read past up to this far.
constexpr qint64 sizeReadLimit = qint64(1) * 1024 * 1024;
// The preview frame follows the headers; one that ends further in is not a cheap preview.
constexpr qint64 previewReadLimit = qint64(4) * 1024 * 1024;
// Small enough for any preview frame the format can describe (at most 4096 on a side).
constexpr int maximumPreviewSide = 4096;

// One byte each of red, green, blue and alpha, in memory order: QImage::Format_RGBA8888.
constexpr JxlPixelFormat rgba8 = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

Decoder createDecoder(int events)
{
    if (!loadedLibrary()) {
        return {};
    }
    Decoder decoder(jxl().JxlDecoderCreate(nullptr));
    if (decoder && jxl().JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS) {
        decoder.reset();
    }
    return decoder;
}

// Feeds a file to a decoder in pieces that at least double what was read each time, so a
// header costs one read of the head already in memory and a whole file a few reads. libjxl
// hands back the bytes it could not use yet; they are given again at the front of the next
// piece.
class ChunkedInput
{
public:
    ChunkedInput(JxlDecoderStruct *decoder, const ImageSource &file, qint64 limit)
        : m_decoder(decoder)
        , m_file(file)
        , m_limit(std::min(limit, file.size()))
        , m_chunk(file.head().left(m_limit))
    {
        giveChunk();
    }

    // The next event; JXL_DEC_ERROR also when libjxl wants bytes past the limit or the end.
    JxlDecoderStatus next()
    {
        for (;;) {
            const JxlDecoderStatus status = jxl().JxlDecoderProcessInput(m_decoder);
            if (status != JXL_DEC_NEED_MORE_INPUT) {
                return status;
            }
            const qint64 unused = qint64(jxl().JxlDecoderReleaseInput(m_decoder));
            const qint64 end = m_offset + m_chunk.size();
            if (end >= m_limit || unused > m_chunk.size()) {
                return JXL_DEC_ERROR;
            }
            m_offset = end - unused;
            const qint64 newEnd =
                std::min(m_limit, std::max(2 * end, end + ImageSource::headLength));
            m_chunk = m_file.readAt(m_offset, newEnd - m_offset);
            if (m_offset + m_chunk.size() <= end) {
                return JXL_DEC_ERROR; // the file ended early, or could not be read
            }
            giveChunk();
        }
    }

private:
    void giveChunk()
    {
        jxl().JxlDecoderSetInput(m_decoder, reinterpret_cast<const uint8_t *>(m_chunk.constData()),
                                 size_t(m_chunk.size()));
        if (m_offset + m_chunk.size() >= m_limit) {
            // A file that ends early is then an error to libjxl, not a wish for more.
            jxl().JxlDecoderCloseInput(m_decoder);
        }
    }

    JxlDecoderStruct *m_decoder;
    const ImageSource &m_file;
    const qint64 m_limit;
    qint64 m_offset = 0; // where m_chunk starts in the file
    QByteArray m_chunk;
};

QSize sizeOf(uint32_t width, uint32_t height)
{
    return {int(std::min<uint32_t>(width, INT_MAX)), int(std::min<uint32_t>(height, INT_MAX))};
}

bool isBelievable(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= JpegXlDecoder::maximumSide &&
           size.height() <= JpegXlDecoder::maximumSide &&
           qint64(size.width()) * size.height() <= JpegXlDecoder::maximumPixels;
}

QImage::Format formatFor(const JxlBasicInfo &info)
{
    // libjxl fills the fourth byte with opaque alpha when the photo has none.
    return info.alpha_bits > 0 ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888;
}

// Whether libjxl can write rgba8 pixels straight into `image`: rows packed, room enough.
bool canTake(const QImage &image, size_t neededBytes)
{
    return !image.isNull() && image.bytesPerLine() == qsizetype(image.width()) * 4 &&
           size_t(image.sizeInBytes()) >= neededBytes;
}

// Pixels of photos stored as XYB are made in whatever space libjxl is asked for, and without
// being asked it picks linear sRGB for those that carry an ICC profile: 8-bit linear light
// shows far too dark and bands in the shadows. Asking for sRGB, what everything else here
// shows, avoids both; pixels stored in their own space stay in it.
void preferSrgb(JxlDecoderStruct *decoder, const JxlBasicInfo &info)
{
    JxlColorEncoding srgb = {};
    srgb.color_space = info.num_color_channels == 1 ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
    srgb.white_point = JXL_WHITE_POINT_D65;
    srgb.primaries = JXL_PRIMARIES_SRGB;
    srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
    jxl().JxlDecoderSetPreferredColorProfile(decoder, &srgb);
}

} // namespace

JpegXlDecoder::JpegXlDecoder(qint64 maximumDecodedPixels)
    : m_maximumDecodedPixels(maximumDecodedPixels)
{
}

QSize JpegXlDecoder::uprightSize(const ImageSource &file) const
{
    const Decoder decoder = createDecoder(JXL_DEC_BASIC_INFO);
    if (!decoder) {
        return {};
    }
    ChunkedInput input(decoder.get(), file, sizeReadLimit);
    JxlBasicInfo info = {};
    if (input.next() != JXL_DEC_BASIC_INFO ||
        jxl().JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
        return {};
    }
    // Unless told to keep the stored orientation, libjxl reports the size upright already
    // (orientations 5 to 8 swap the sides) and the orientation as 1.
    const QSize size = sizeOf(info.xsize, info.ysize);
    return isBelievable(size) ? size : QSize();
}

QImage JpegXlDecoder::decode(const ImageSource &file,
                             int maximumPixelDimension,
                             DecodeBudget &budget) const
{
    if (maximumPixelDimension <= 0) {
        return {};
    }
    const Decoder decoder = createDecoder(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                          JXL_DEC_FRAME_PROGRESSION | JXL_DEC_FULL_IMAGE);
    if (!decoder ||
        jxl().JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        jxl().JxlDecoderSetProgressiveDetail(decoder.get(), kDC) != JXL_DEC_SUCCESS) {
        return {};
    }
    // No parallel runner: the thumbnail service already decodes one photo per core, and
    // threads of libjxl's own would only compete with those.
    ChunkedInput input(decoder.get(), file, maximumFileLength);
    JxlBasicInfo info = {};
    QImage image;
    bool outputSet = false;
    bool eighthIsEnough = false;
    DecodeBudget::Reservation held;
    for (;;) {
        switch (input.next()) {
        case JXL_DEC_BASIC_INFO: {
            if (jxl().JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
                return {};
            }
            // Upright already, as in uprightSize.
            const QSize size = sizeOf(info.xsize, info.ysize);
            if (!isBelievable(size) ||
                qint64(size.width()) * size.height() > m_maximumDecodedPixels) {
                return {};
            }
            eighthIsEnough = qint64(maximumPixelDimension) * 8 <= ImageScaling::longestSide(size);
            held = budget.reserve(qint64(size.width()) * size.height());
            image = QImage(size, formatFor(info));
            if (image.isNull()) {
                return {};
            }
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            preferSrgb(decoder.get(), info);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t needed = 0;
            if (jxl().JxlDecoderImageOutBufferSize(decoder.get(), &rgba8, &needed) !=
                    JXL_DEC_SUCCESS ||
                !canTake(image, needed) ||
                jxl().JxlDecoderSetImageOutBuffer(decoder.get(), &rgba8, image.bits(),
                                                  size_t(image.sizeInBytes())) != JXL_DEC_SUCCESS) {
                return {};
            }
            outputSet = true;
            break;
        }
        case JXL_DEC_FRAME_PROGRESSION:
            // The 1:8 pass is complete; libjxl renders it at full size, smoothly upsampled,
            // which is all a picture of an eighth of the size can show. Layers decoded before
            // the displayed frame report this too, before any output is set: those go on.
            if (eighthIsEnough && outputSet &&
                jxl().JxlDecoderFlushImage(decoder.get()) == JXL_DEC_SUCCESS) {
                return ImageScaling::shrunk(image, maximumPixelDimension);
            }
            break;
        case JXL_DEC_FULL_IMAGE:
            // The first displayed frame: an animation shows its first.
            return outputSet ? ImageScaling::shrunk(image, maximumPixelDimension) : QImage();
        default:
            return {};
        }
    }
}

QImage JpegXlDecoder::embeddedPreview(const ImageSource &file) const
{
    const Decoder decoder = createDecoder(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                          JXL_DEC_PREVIEW_IMAGE | JXL_DEC_FRAME);
    // libjxl turns preview pixels upright but reports the preview's size as stored, which
    // leaves a quarter-turned preview without its true width; kept as stored, the two agree,
    // and the turn is made here.
    if (!decoder ||
        jxl().JxlDecoderSetKeepOrientation(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        jxl().JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS) {
        return {};
    }
    ChunkedInput input(decoder.get(), file, previewReadLimit);
    JxlBasicInfo info = {};
    QImage preview;
    for (;;) {
        switch (input.next()) {
        case JXL_DEC_BASIC_INFO: {
            if (jxl().JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS ||
                !info.have_preview) {
                return {};
            }
            const QSize size = sizeOf(info.preview.xsize, info.preview.ysize);
            if (size.isEmpty() || size.width() > maximumPreviewSide ||
                size.height() > maximumPreviewSide) {
                return {};
            }
            preview = QImage(size, formatFor(info));
            if (preview.isNull()) {
                return {};
            }
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            preferSrgb(decoder.get(), info);
            break;
        case JXL_DEC_NEED_PREVIEW_OUT_BUFFER: {
            size_t needed = 0;
            if (jxl().JxlDecoderPreviewOutBufferSize(decoder.get(), &rgba8, &needed) !=
                    JXL_DEC_SUCCESS ||
                !canTake(preview, needed) ||
                jxl().JxlDecoderSetPreviewOutBuffer(decoder.get(), &rgba8, preview.bits(),
                                                    size_t(preview.sizeInBytes())) !=
                    JXL_DEC_SUCCESS) {
                return {};
            }
            break;
        }
        case JXL_DEC_PREVIEW_IMAGE:
            // JPEG XL numbers its orientations as EXIF does.
            return ExifThumbnail::oriented(preview, int(info.orientation));
        default:
            // Including the first frame: the preview, when there is one, comes before it.
            return {};
        }
    }
}
