#include "JxlWriter.h"

#include <jxl/encode.h>

#include <memory>

namespace JxlWriter {

namespace {

struct EncoderRelease
{
    void operator()(JxlEncoder *encoder) const { JxlEncoderDestroy(encoder); }
};

} // namespace

QByteArray encoded(const QImage &picture,
                   int orientation,
                   bool lossless,
                   const std::optional<JxlColorEncoding> &space)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const std::unique_ptr<JxlEncoder, EncoderRelease> encoder(JxlEncoderCreate(nullptr));
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(rgb.width());
    info.ysize = uint32_t(rgb.height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.orientation = JxlOrientation(orientation);
    info.uses_original_profile = lossless;
    JxlColorEncoding colours;
    JxlColorEncodingSetToSRGB(&colours, JXL_FALSE);
    if (space) {
        colours = *space;
    }
    JxlEncoderFrameSettings *settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    // Rows of QImage are padded to four bytes.
    const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &colours) != JXL_ENC_SUCCESS ||
        JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 3) !=
            JXL_ENC_SUCCESS ||
        (lossless && JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS) ||
        JxlEncoderAddImageFrame(settings, &format, rgb.constBits(), size_t(rgb.sizeInBytes())) !=
            JXL_ENC_SUCCESS) {
        return {};
    }
    JxlEncoderCloseInput(encoder.get());
    QByteArray out(4096, Qt::Uninitialized);
    size_t written = 0;
    for (;;) {
        auto *next = reinterpret_cast<uint8_t *>(out.data()) + written;
        size_t available = size_t(out.size()) - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        written = size_t(out.size()) - available;
        if (status == JXL_ENC_SUCCESS) {
            break;
        }
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            return {};
        }
        out.resize(out.size() * 2);
    }
    out.resize(qsizetype(written));
    return out;
}

} // namespace JxlWriter
