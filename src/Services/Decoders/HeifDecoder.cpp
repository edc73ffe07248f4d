#include "HeifDecoder.h"

#include "HeifBoxes.h"
#include "ImageScaling.h"
#include "LazyLibrary.h"

#include <libheif/heif.h>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace {

// libheif is loaded with the first HEIF photo (see LazyLibrary.h): it links the codecs of every
// format it reads and writes (x265 alone is 16 MB).
#define CALVENOR_HEIF_FUNCTIONS(F)                                                                 \
    F(heif_init)                                                                                   \
    F(heif_context_alloc)                                                                          \
    F(heif_context_free)                                                                           \
    F(heif_context_get_primary_image_handle)                                                       \
    F(heif_context_read_from_memory_without_copy)                                                  \
    F(heif_context_set_max_decoding_threads)                                                       \
    F(heif_context_set_maximum_image_size_limit)                                                   \
    F(heif_decode_image)                                                                           \
    F(heif_decoding_options_alloc)                                                                 \
    F(heif_decoding_options_free)                                                                  \
    F(heif_image_get_bits_per_pixel_range)                                                         \
    F(heif_image_get_height)                                                                       \
    F(heif_image_get_plane_readonly)                                                               \
    F(heif_image_get_width)                                                                        \
    F(heif_image_handle_get_height)                                                                \
    F(heif_image_handle_get_list_of_thumbnail_IDs)                                                 \
    F(heif_image_handle_get_number_of_thumbnails)                                                  \
    F(heif_image_handle_get_thumbnail)                                                             \
    F(heif_image_handle_get_width)                                                                 \
    F(heif_image_handle_has_alpha_channel)                                                         \
    F(heif_image_handle_is_premultiplied_alpha)                                                    \
    F(heif_image_handle_release)                                                                   \
    F(heif_image_release)

struct HeifLibrary
{
    CALVENOR_HEIF_FUNCTIONS(CALVENOR_LAZY_DECLARE)
};

// Loaded, and its built-in codecs registered, once however many threads arrive together. Null
// when it cannot be loaded: HEIF photos then read as unreadable files.
const HeifLibrary *loadedLibrary()
{
    static const HeifLibrary *const loaded = [] {
        const HeifLibrary *functions = LazyLibrary::load<HeifLibrary>(
            QStringLiteral("heif"), QStringLiteral("1"), "HEIF photos",
            [](LazyLibrary &library, HeifLibrary &table) {
#define CALVENOR_HEIF_RESOLVE(name) CALVENOR_LAZY_RESOLVE(library, table, name);
                CALVENOR_HEIF_FUNCTIONS(CALVENOR_HEIF_RESOLVE)
#undef CALVENOR_HEIF_RESOLVE
            });
        if (functions) {
            functions->heif_init(nullptr);
        }
        return functions;
    }();
    return loaded;
}

// Only called once loadedLibrary() has answered.
const HeifLibrary &heif()
{
    return *loadedLibrary();
}

struct HeifRelease
{
    void operator()(heif_context *context) const { heif().heif_context_free(context); }
    void operator()(const heif_image_handle *handle) const
    {
        heif().heif_image_handle_release(handle);
    }
    void operator()(const heif_image *image) const { heif().heif_image_release(image); }
    void operator()(heif_decoding_options *options) const
    {
        heif().heif_decoding_options_free(options);
    }
};

using Context = std::unique_ptr<heif_context, HeifRelease>;
using Handle = std::unique_ptr<const heif_image_handle, HeifRelease>;
using Picture = std::unique_ptr<const heif_image, HeifRelease>;
using DecodingOptions = std::unique_ptr<heif_decoding_options, HeifRelease>;

// More thumbnail items than any camera writes; the rest of a longer list is ignored.
constexpr int maximumThumbnails = 16;

// libheif reads the bytes in place, so `data` is declared first: it must outlive the context
// and the handle.
struct OpenedFile
{
    QByteArray data;
    Context context;
    Handle primary;
};

std::optional<OpenedFile> openPrimary(const ImageSource &file)
{
    std::optional<QByteArray> data = file.readAll(HeifDecoder::maximumFileLength);
    if (!data || data->isEmpty()) {
        return std::nullopt;
    }
    if (!loadedLibrary()) {
        return std::nullopt;
    }
    OpenedFile opened{std::move(*data), Context(heif().heif_context_alloc()), nullptr};
    if (!opened.context) {
        return std::nullopt;
    }
    heif().heif_context_set_maximum_image_size_limit(opened.context.get(),
                                                     HeifDecoder::maximumSide);
    const QByteArray &bytes = opened.data;
    const heif_error read = heif().heif_context_read_from_memory_without_copy(
        opened.context.get(), bytes.constData(), size_t(bytes.size()), nullptr);
    if (read.code != heif_error_Ok) {
        return std::nullopt;
    }
    heif_image_handle *primary = nullptr;
    const heif_error found =
        heif().heif_context_get_primary_image_handle(opened.context.get(), &primary);
    opened.primary.reset(primary);
    if (found.code != heif_error_Ok || !opened.primary) {
        return std::nullopt;
    }
    return opened;
}

// The size libheif reports for an item already has its rotation applied.
QSize sizeOf(const heif_image_handle *handle)
{
    return {heif().heif_image_handle_get_width(handle),
            heif().heif_image_handle_get_height(handle)};
}

// The primary's thumbnail items, smallest first.
std::vector<Handle> thumbnailsOf(const heif_image_handle *primary)
{
    const int count =
        std::min(heif().heif_image_handle_get_number_of_thumbnails(primary), maximumThumbnails);
    if (count <= 0) {
        return {};
    }
    std::vector<heif_item_id> ids(size_t(count), 0);
    const int listed =
        heif().heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    std::vector<Handle> thumbnails;
    for (int i = 0; i < std::min(listed, count); ++i) {
        heif_image_handle *thumbnail = nullptr;
        const heif_error error =
            heif().heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &thumbnail);
        Handle owned(thumbnail);
        if (error.code == heif_error_Ok && owned) {
            thumbnails.push_back(std::move(owned));
        }
    }
    std::ranges::stable_sort(thumbnails, {}, [](const Handle &handle) {
        return ImageScaling::longestSide(sizeOf(handle.get()));
    });
    return thumbnails;
}

// A thumbnail stored without the primary's rotation (or cut to another shape) would show the
// photo turned or cropped, and then jump when the real picture replaces it; only one of the
// primary's shape, give or take its rounding to whole pixels, stands in for it.
bool hasShapeOf(QSize thumbnail, QSize primary)
{
    if (thumbnail.isEmpty() || primary.isEmpty()) {
        return false;
    }
    const double expectedHeight = double(thumbnail.width()) * primary.height() / primary.width();
    return std::abs(thumbnail.height() - expectedHeight) <= 1.0 + 0.02 * thumbnail.height();
}

bool fitsPixelCap(QSize size)
{
    return !size.isEmpty() && qint64(size.width()) * size.height() <= HeifDecoder::maximumPixels;
}

// Counts the items being decoded at once in this process, to share the cores between them.
class DecodesUnderway
{
public:
    DecodesUnderway() { ++s_count; }
    ~DecodesUnderway() { --s_count; }
    DecodesUnderway(const DecodesUnderway &) = delete;
    DecodesUnderway &operator=(const DecodesUnderway &) = delete;

    // The threads libheif may decode a grid's tiles on beside this decode. libheif starts a
    // thread per tile and, with as many running as allowed, waits for the oldest. Allowed one
    // per free core, a slow tile held the next ones back: phone photos' thumbnails came slower,
    // with twice the page faults, than with two per core. With fewer than two cores free, the
    // tiles decode on this thread: more threads would only take turns with the other decodes.
    static int tileThreads()
    {
        static const int cores = std::max(1, QThread::idealThreadCount());
        const int free = cores - (s_count.load() - 1);
        return free >= 2 ? 2 * free : 0;
    }

private:
    static inline std::atomic<int> s_count{0};
};

// The item decoded upright as 8-bit RGB(A); null on any failure or when it is too large.
QImage decodeItem(const heif_image_handle *handle, heif_context *context)
{
    if (!fitsPixelCap(sizeOf(handle))) {
        return {};
    }
    DecodingOptions options(heif().heif_decoding_options_alloc());
    if (!options) {
        return {};
    }
    // The container's irot/imir are the photo's orientation, and libheif applies them; the
    // EXIF orientation a phone also writes repeats them, so it is never applied on top.
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    const bool alpha = heif().heif_image_handle_has_alpha_channel(handle);
    const DecodesUnderway underway;
    heif().heif_context_set_max_decoding_threads(context, DecodesUnderway::tileThreads());
    heif_image *decoded = nullptr;
    const heif_error error = heif().heif_decode_image(
        handle, &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    Picture picture(decoded);
    if (error.code != heif_error_Ok || !picture) {
        return {};
    }
    int stride = 0;
    const uint8_t *plane =
        heif().heif_image_get_plane_readonly(picture.get(), heif_channel_interleaved, &stride);
    const int width = heif().heif_image_get_width(picture.get(), heif_channel_interleaved);
    const int height = heif().heif_image_get_height(picture.get(), heif_channel_interleaved);
    const int bytesPerPixel = alpha ? 4 : 3;
    if (!plane || width <= 0 || height <= 0 || stride < width * bytesPerPixel ||
        heif().heif_image_get_bits_per_pixel_range(picture.get(), heif_channel_interleaved) != 8) {
        return {};
    }
    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                  : heif().heif_image_handle_is_premultiplied_alpha(handle)
                                      ? QImage::Format_RGBA8888_Premultiplied
                                      : QImage::Format_RGBA8888;
    // libheif's rows become the image's, released with its last copy: a 12-megapixel photo
    // is not copied into 36 MB more only to be shrunk.
    QImage image(
        plane, width, height, stride, format,
        [](void *owned) { heif().heif_image_release(static_cast<const heif_image *>(owned)); },
        const_cast<heif_image *>(picture.get()));
    if (!image.isNull()) {
        (void)picture.release(); // the image owns it now
    }
    return image;
}

} // namespace

QSize HeifDecoder::uprightSize(const ImageSource &file) const
{
    return HeifBoxes::uprightSize(file.size(), file.reader());
}

ImageDecoder::Header HeifDecoder::header(const ImageSource &file) const
{
    const HeifBoxes::Header boxes = HeifBoxes::readHeader(file.size(), file.reader());
    return {boxes.uprightSize, ExifInfo::captureTimeFromHeifItem(boxes.exif)};
}

PhotoInfo HeifDecoder::photoInfo(const ImageSource &file) const
{
    return ExifInfo::fromHeifItem(HeifBoxes::readHeader(file.size(), file.reader()).exif);
}

QImage
HeifDecoder::decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const
{
    return decodeOnTheWay(file, maximumPixelDimension, budget, {});
}

QImage HeifDecoder::decodeOnTheWay(const ImageSource &file,
                                   int maximumPixelDimension,
                                   DecodeBudget &budget,
                                   const OnTheWay &onTheWay) const
{
    if (maximumPixelDimension <= 0) {
        return {};
    }
    const std::optional<OpenedFile> opened = openPrimary(file);
    if (!opened) {
        return {};
    }
    const QSize primarySize = sizeOf(opened->primary.get());
    for (const Handle &thumbnail : thumbnailsOf(opened->primary.get())) {
        if (ImageScaling::longestSide(sizeOf(thumbnail.get())) < maximumPixelDimension) {
            continue;
        }
        const QImage image = decodeItem(thumbnail.get(), opened->context.get());
        if (ImageScaling::longestSide(image.size()) >= maximumPixelDimension &&
            hasShapeOf(image.size(), primarySize)) {
            return ImageScaling::shrunk(image, maximumPixelDimension);
        }
    }
    // Refused before the budget is asked: a hostile size would otherwise wait for every other
    // decode to finish and then hold all later ones back, only to be refused anyway.
    if (!fitsPixelCap(primarySize)) {
        return {};
    }
    // libheif decodes the whole image before it can be shrunk.
    const DecodeBudget::Reservation held =
        budget.reserve(qint64(primarySize.width()) * primarySize.height());
    const QImage whole = decodeItem(opened->primary.get(), opened->context.get());
    const int side = onTheWay.side && !whole.isNull() ? onTheWay.side() : 0;
    if (side < maximumPixelDimension) {
        return ImageScaling::shrunk(whole, maximumPixelDimension);
    }
    const QImage picture = ImageScaling::shrunk(whole, side);
    onTheWay.take(picture);
    return ImageScaling::shrunk(picture, maximumPixelDimension);
}

QImage HeifDecoder::embeddedPreview(const ImageSource &file) const
{
    const std::optional<OpenedFile> opened = openPrimary(file);
    if (!opened) {
        return {};
    }
    const QSize primarySize = sizeOf(opened->primary.get());
    for (const Handle &thumbnail : thumbnailsOf(opened->primary.get())) {
        const QImage image = decodeItem(thumbnail.get(), opened->context.get());
        if (hasShapeOf(image.size(), primarySize)) {
            return image;
        }
    }
    return {};
}
