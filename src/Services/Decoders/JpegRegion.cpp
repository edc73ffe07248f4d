#include "JpegRegion.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <unistd.h>

#include <jpeglib.h>

namespace JpegRegion {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// the setjmp of the step that was running. Each step below keeps only plain values on its
// frame, so the jump skips no destructor.
struct Failure
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<Failure *>(info->err)->jump, 1);
}

void ignoreWarning(j_common_ptr, int)
{
}

struct Decoder
{
    jpeg_decompress_struct info{};
    Failure failure{};
    std::FILE *stream = nullptr;

    ~Decoder()
    {
        jpeg_destroy_decompress(&info);
        if (stream) {
            std::fclose(stream);
        }
    }
};

// Reads the header and sets decompression to eighths / 8 of full size; false on any error.
bool readHeader(Decoder &decoder, int descriptor, int eighths, bool grey)
{
    decoder.info.err = jpeg_std_error(&decoder.failure.manager);
    decoder.failure.manager.error_exit = jumpBack;
    decoder.failure.manager.emit_message = ignoreWarning;
    if (setjmp(decoder.failure.jump)) {
        return false;
    }
    jpeg_create_decompress(&decoder.info);
    const int own = ::dup(descriptor);
    if (own < 0) {
        return false;
    }
    decoder.stream = ::fdopen(own, "rb");
    if (!decoder.stream) {
        ::close(own);
        return false;
    }
    std::rewind(decoder.stream);
    jpeg_stdio_src(&decoder.info, decoder.stream);
    if (jpeg_read_header(&decoder.info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    const J_COLOR_SPACE space = decoder.info.jpeg_color_space;
    if (space == JCS_CMYK || space == JCS_YCCK) {
        return false;
    }
    // Grey skips the colour planes' inverse DCT, upsampling and conversion altogether.
    decoder.info.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGRX; // as QImage lays out
    decoder.info.scale_num = unsigned(eighths);
    decoder.info.scale_denom = 8;
    decoder.info.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&decoder.info);
    return true;
}

bool start(Decoder &decoder)
{
    if (setjmp(decoder.failure.jump)) {
        return false;
    }
    jpeg_start_decompress(&decoder.info);
    return true;
}

// Decodes rows [top, top + height) of the columns libjpeg kept after cropping into `bits`.
bool readRows(Decoder &decoder, JDIMENSION top, JDIMENSION height, uchar *bits, qsizetype stride)
{
    if (setjmp(decoder.failure.jump)) {
        return false;
    }
    if (top > 0 && jpeg_skip_scanlines(&decoder.info, top) != top) {
        return false;
    }
    for (JDIMENSION row = 0; row < height; ++row) {
        JSAMPROW line = bits + qsizetype(row) * stride;
        if (jpeg_read_scanlines(&decoder.info, &line, 1) != 1) {
            return false;
        }
    }
    jpeg_abort_decompress(&decoder.info); // the rows below are not wanted
    return true;
}

bool crop(Decoder &decoder, JDIMENSION *left, JDIMENSION *width)
{
    if (setjmp(decoder.failure.jump)) {
        return false;
    }
    jpeg_crop_scanline(&decoder.info, left, width);
    return true;
}

} // namespace

QImage decode(const ImageSource &file, QRect region, int eighths, DecodeBudget &budget, bool grey)
{
    eighths = std::clamp(eighths, 1, 16);
    Decoder decoder;
    if (region.isEmpty() || !readHeader(decoder, file.descriptor(), eighths, grey)) {
        return {};
    }
    const qint64 storedPixels = qint64(decoder.info.image_width) * decoder.info.image_height;
    if (storedPixels > maximumSourcePixels) {
        return {};
    }
    // A progressive JPEG keeps every coefficient of the picture until its last scan: it
    // holds about the whole picture's pixels, a baseline one only the rows being read.
    const qint64 held = jpeg_has_multiple_scans(&decoder.info)
                            ? storedPixels
                            : qint64(region.width()) * region.height();
    const DecodeBudget::Reservation reservation = budget.reserve(held);
    if (!start(decoder)) {
        return {};
    }
    // The part in the scaled picture's pixels, within it.
    const QRect scaled =
        QRect(region.x() * eighths / 8, region.y() * eighths / 8,
              (region.width() * eighths + 7) / 8, (region.height() * eighths + 7) / 8)
            .intersected(
                QRect(0, 0, int(decoder.info.output_width), int(decoder.info.output_height)));
    if (scaled.isEmpty()) {
        return {};
    }
    // libjpeg widens the columns to whole blocks; the extra ones are cut off afterwards.
    auto left = JDIMENSION(scaled.x());
    auto width = JDIMENSION(scaled.width());
    if (!crop(decoder, &left, &width)) {
        return {};
    }
    QImage rows(int(width), scaled.height(),
                grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (rows.isNull() || !readRows(decoder, JDIMENSION(scaled.y()), JDIMENSION(scaled.height()),
                                   rows.bits(), rows.bytesPerLine())) {
        return {};
    }
    return rows.copy(scaled.x() - int(left), 0, scaled.width(), scaled.height());
}

} // namespace JpegRegion
