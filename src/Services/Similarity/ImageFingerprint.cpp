#include "ImageFingerprint.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

namespace ImageFingerprint {

namespace {

constexpr int hashColumns = 9;
constexpr int hashRows = 8;

// The luma of an 8-bit colour, with the weights of television's (and JPEG's) Y.
inline uchar luma(int red, int green, int blue)
{
    return uchar((77 * red + 150 * green + 29 * blue + 128) >> 8);
}

// The picture as 8-bit grey, converted once; shared, not copied, when it already is. The
// common colour formats are read directly: Qt's own conversion to grey goes through its
// colour management and takes longer than both measures together.
QImage grey(const QImage &image)
{
    if (image.format() == QImage::Format_Grayscale8) {
        return image;
    }
    if (image.format() == QImage::Format_Grayscale16) {
        return image.convertToFormat(QImage::Format_Grayscale8);
    }
    // Premultiplied, a transparent pixel reads as black whatever colour it hides, as it does in
    // every format with alpha.
    const bool threeBytes = image.format() == QImage::Format_RGB888;
    const QImage colour =
        threeBytes || image.format() == QImage::Format_RGB32 ||
                image.format() == QImage::Format_ARGB32_Premultiplied
            ? image
            : image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                            : QImage::Format_RGB32);
    if (colour.isNull()) { // out of memory
        return {};
    }
    QImage out(colour.size(), QImage::Format_Grayscale8);
    if (out.isNull()) {
        return {};
    }
    const int width = colour.width();
    for (int y = 0; y < colour.height(); ++y) {
        uchar *to = out.scanLine(y);
        if (threeBytes) {
            const uchar *from = colour.constScanLine(y);
            for (int x = 0; x < width; ++x, from += 3) {
                to[x] = luma(from[0], from[1], from[2]);
            }
        } else {
            const auto *from = reinterpret_cast<const QRgb *>(colour.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                to[x] = luma(qRed(from[x]), qGreen(from[x]), qBlue(from[x]));
            }
        }
    }
    return out;
}

// Calls `visit(pixel, cell, weight)` for each overlap of one of a line's `length` pixels with
// one of the `cells` equal cells it is shrunk to. Measured in units where a pixel is `cells`
// long and a cell `length` long, every boundary falls on a whole number, so the sums stay exact
// integers and two cells of a flat picture come out exactly equal (no rounding to set a bit at
// random). Nothing is stored: a picture one pixel wide and millions tall costs no memory here.
template<typename Visit>
void forEachShare(int length, int cells, Visit visit)
{
    for (int pixel = 0; pixel < length; ++pixel) {
        qint64 from = qint64(pixel) * cells;
        const qint64 to = from + cells;
        while (from < to) {
            const int cell = int(from / length);
            const qint64 end = std::min(to, qint64(cell + 1) * length);
            visit(pixel, cell, int(end - from));
            from = end;
        }
    }
}

// The weight of each position along a line: a bell around `centre` (in pixels) whose width is
// `sigma`. Separable, so the weight of a pixel is the product of its column's and row's.
QVarLengthArray<float, 2048> bell(int length, double centre, double sigma)
{
    QVarLengthArray<float, 2048> weights(length);
    const double scale = -0.5 / (sigma * sigma);
    for (int i = 0; i < length; ++i) {
        const double offset = i + 0.5 - centre;
        weights[i] = float(std::exp(offset * offset * scale));
    }
    return weights;
}

} // namespace

quint64 differenceHash(const QImage &image)
{
    if (image.isNull()) {
        return 0;
    }
    const QImage picture = grey(image);
    if (picture.isNull()) {
        return 0;
    }
    const int width = picture.width();
    const int height = picture.height();
    // An area average, not a sample: a thumbnail's few hundred columns all count, so a shift
    // by a pixel or a little noise moves the averages by little and flips few bits. Rows are
    // added into the eight bands first, a pass the compiler vectorises, then each band's columns
    // into the nine cells.
    std::vector<qint64> bands(size_t(hashRows) * size_t(width), 0);
    forEachShare(height, hashRows, [&](int y, int row, int weight) {
        const uchar *line = picture.constScanLine(y);
        qint64 *band = bands.data() + qsizetype(row) * width;
        for (int x = 0; x < width; ++x) {
            band[x] += weight * line[x];
        }
    });
    std::array<std::array<qint64, hashColumns>, hashRows> grid{};
    forEachShare(width, hashColumns, [&](int x, int column, int weight) {
        for (int row = 0; row < hashRows; ++row) {
            grid[row][column] += weight * bands[size_t(row) * size_t(width) + size_t(x)];
        }
    });
    // Read like text: the top row's leftmost pair is the most significant bit.
    quint64 hash = 0;
    for (int row = 0; row < hashRows; ++row) {
        for (int column = 0; column + 1 < hashColumns; ++column) {
            hash = hash << 1 | (grid[row][column] > grid[row][column + 1] ? 1 : 0);
        }
    }
    return hash;
}

int distance(quint64 a, quint64 b)
{
    return std::popcount(a ^ b);
}

double sharpness(const QImage &image, std::optional<QPointF> focus)
{
    // The Laplacian needs a neighbour on every side.
    if (image.isNull() || image.width() < 3 || image.height() < 3) {
        return 0;
    }
    const QImage picture = grey(image);
    if (picture.isNull()) {
        return 0;
    }
    const int width = picture.width();
    const int height = picture.height();

    // A point that is not a number is no place to weight: the centre instead. One just past the
    // edge (a rounding) weighs the edge.
    QPointF at(0.5, 0.5);
    if (focus && std::isfinite(focus->x()) && std::isfinite(focus->y())) {
        at = QPointF(std::clamp(focus->x(), 0.0, 1.0), std::clamp(focus->y(), 0.0, 1.0));
    }
    // A quarter of the short side: the subject a photographer frames counts fully, a sharp
    // edge at the border of a soft frame hardly at all.
    const double sigma = 0.25 * std::min(width, height);
    const auto across = bell(width, at.x() * width, sigma);
    const auto down = bell(height, at.y() * height, sigma);

    // Weighted by column and row apart, the sums gather down each column first: adding a row
    // into arrays is a pass the compiler vectorises, where a running sum across the row, whose
    // order of additions it may not change, is not.
    QVarLengthArray<float, 2048> columnSums(width, 0.0f);
    QVarLengthArray<float, 2048> columnSquares(width, 0.0f);
    float *const sums = columnSums.data(); // plain pointers: the vectoriser follows them
    float *const squares = columnSquares.data();
    double rowsTotal = 0;
    for (int y = 1; y + 1 < height; ++y) {
        const uchar *above = picture.constScanLine(y - 1);
        const uchar *line = picture.constScanLine(y);
        const uchar *below = picture.constScanLine(y + 1);
        const float weight = down[y];
        rowsTotal += weight;
        for (int x = 1; x + 1 < width; ++x) {
            const float laplacian =
                float(above[x] + below[x] + line[x - 1] + line[x + 1] - 4 * line[x]);
            sums[x] += weight * laplacian;
            squares[x] += weight * laplacian * laplacian;
        }
    }
    double total = 0;
    double sum = 0;
    double sumOfSquares = 0;
    for (int x = 1; x + 1 < width; ++x) {
        total += across[x] * rowsTotal;
        sum += double(across[x]) * columnSums[x];
        sumOfSquares += double(across[x]) * columnSquares[x];
    }
    if (!(total > 0)) {
        return 0;
    }
    const double mean = sum / total;
    return std::max(0.0, sumOfSquares / total - mean * mean);
}

} // namespace ImageFingerprint
