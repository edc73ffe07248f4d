// Writes a folder of camera JPEGs in which some runs of frames are bursts, and a table of which,
// for the burst benchmark (burst-bench.sh):
//   calvenor-make-bursts OUT [--count N] [--bursts B] [--seed S] [--size WIDTHxHEIGHT]
// OUT/photos holds N photos (default 10000) of 2000 × 1500 (JPEG quality 88), named
// IMG_00001.JPG … in the order they were taken, so the board's natural name order is the
// order in time. B of them (default 300 for 10000, in proportion otherwise) are bursts of 3 to
// 12 frames; the rest are unrelated photos. OUT/truth.tsv has one line a photo:
//   file name <TAB> burst number (1 …, in order of the first frame) or - <TAB> 1 for the one
//   unblurred frame of a burst, else 0 <TAB> the blur's σ in pixels (0: none) <TAB> the
//   brightness factor <TAB> the camera (an index into the list below)
// Everything follows from the seed: the same arguments always give the same bytes. A run whose
// arguments match OUT/corpus.txt only writes what is missing (an interrupted run is simply
// started again); other arguments remove the old photos first.
//
// A burst is one scene drawn several times: every frame is moved by up to ±1.5 % of the picture
// either way (3 % between two frames), zoomed by up to 5 %, made 15 % brighter or darker and
// given mild sensor noise (σ ≈ 2.5 levels). Exactly one frame is sharp; the others are blurred
// as camera shake or missed focus blurs them: a Gaussian of σ 1.5 to 4 pixels (three box
// blurs). Frames of a burst are 0.1 to 0.6 s apart and share one camera (Make, Model and
// BodySerialNumber). Scenes are landscapes of random sky, ground, textures, shapes, lines and
// words; unrelated photos each have a scene of their own.
// Times between events are 3 to 45 s, except that about one event in fifteen follows the one
// before it within 0.3 to 1.9 s: mostly with the same camera, so that only the pictures tell
// them apart, sometimes with another one. Four percent of the bursts are shot in pairs by two
// cameras at once, their frames interleaved in time (and so in name order).

#include "BenchFiles.h"
#include "Samples/SamplePhotos.h"
#include "Samples/TiffBuilder.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimeZone>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Changes whenever the pictures or the table would come out differently.
constexpr int generatorVersion = 1;

struct Camera
{
    const char *make;
    const char *model;
    const char *serial;
};

// Two bodies of one model: only the serial number tells them apart.
constexpr Camera cameras[] = {
    {"Canon", "Canon EOS R6", "032021001234"},
    {"Canon", "Canon EOS R6", "032021005678"},
    {"NIKON CORPORATION", "NIKON Z 6_2", "6012345"},
    {"SONY", "ILCE-7M4", "4820193"},
    {"FUJIFILM", "X-T4", "1BA12345"},
};
constexpr int cameraCount = int(std::size(cameras));

struct Shot
{
    qint64 ms = 0; // since the shoot's start
    int camera = 0;
    quint64 scene = 0;
    int burst = -1; // index into the bursts, in the order they were planned
    bool sharp = true;
    double blurSigma = 0;
    double gain = 1;
    double dx = 0; // shift, as a fraction of the picture's width and height
    double dy = 0;
    double zoom = 1;
    quint64 noise = 0;
};

struct Options
{
    QString out;
    int count = 10000;
    int bursts = -1;
    quint64 seed = 1;
    int width = 2000;
    int height = 1500;
};

double uniform(std::mt19937_64 &random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

int between(std::mt19937_64 &random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

// ---- The plan: who shot what, when -------------------------------------------------------

struct Event
{
    enum Kind { single, burst, pair } kind = single;
    int frames[2] = {1, 0};
};

Shot frameOf(std::mt19937_64 &random, quint64 scene, int camera, int burst)
{
    Shot shot;
    shot.camera = camera;
    shot.scene = scene;
    shot.burst = burst;
    shot.dx = uniform(random, -0.015, 0.015);
    shot.dy = uniform(random, -0.015, 0.015);
    shot.zoom = uniform(random, 1.0, 1.05);
    shot.gain = uniform(random, 0.85, 1.15);
    shot.noise = random();
    return shot;
}

std::vector<Shot> plan(const Options &options)
{
    std::mt19937_64 random(options.seed * 0x9E3779B97F4A7C15ull + 12345);
    std::vector<int> lengths;
    int burstFrames = 0;
    for (int b = 0; b < options.bursts; ++b) {
        const int length = between(random, 3, 12);
        if (burstFrames + length > options.count) {
            break;
        }
        lengths.push_back(length);
        burstFrames += length;
    }
    std::vector<Event> events;
    const int pairs = int(lengths.size()) / 50; // 4 % of the bursts, two at a time
    qsizetype next = 0;
    for (int p = 0; p < pairs; ++p, next += 2) {
        Event event;
        event.kind = Event::pair;
        event.frames[0] = lengths[size_t(next)];
        event.frames[1] = lengths[size_t(next + 1)];
        events.push_back(event);
    }
    for (; next < qsizetype(lengths.size()); ++next) {
        Event event;
        event.kind = Event::burst;
        event.frames[0] = lengths[size_t(next)];
        events.push_back(event);
    }
    for (int s = burstFrames; s < options.count; ++s) {
        events.push_back(Event{});
    }
    std::shuffle(events.begin(), events.end(), random);

    std::vector<Shot> shots;
    shots.reserve(size_t(options.count));
    qint64 clock = 0;
    int camera = 0;
    int burstIndex = 0;
    bool first = true;
    for (const Event &event : events) {
        // Another photographer's turn now and then; most of the time the same camera goes on.
        const bool close = !first && uniform(random, 0, 1) < 1.0 / 15;
        if (close) {
            clock += between(random, 300, 1900);
            if (uniform(random, 0, 1) < 0.25) {
                camera = (camera + between(random, 1, cameraCount - 1)) % cameraCount;
            }
        } else {
            clock += first ? 0 : between(random, 3000, 45000);
            if (uniform(random, 0, 1) < 0.15) {
                camera = (camera + between(random, 1, cameraCount - 1)) % cameraCount;
            }
        }
        first = false;
        const int runs = event.kind == Event::pair ? 2 : 1;
        qint64 end = clock;
        for (int run = 0; run < runs; ++run) {
            const int runCamera =
                run == 0 ? camera : (camera + between(random, 1, cameraCount - 1)) % cameraCount;
            const quint64 scene = random();
            qint64 at = clock + (run == 0 ? 0 : between(random, 50, 300));
            if (event.kind == Event::single) {
                Shot shot = frameOf(random, scene, runCamera, -1);
                shot.dx = shot.dy = 0;
                shot.zoom = 1;
                shot.gain = 1;
                // Some unrelated photos are soft too, so softness alone marks no burst.
                if (uniform(random, 0, 1) < 0.2) {
                    shot.sharp = false;
                    shot.blurSigma = uniform(random, 1.5, 4);
                }
                shot.ms = at;
                shots.push_back(shot);
                end = std::max(end, at);
                continue;
            }
            const int frames = event.frames[run];
            const int sharpFrame = between(random, 0, frames - 1);
            for (int f = 0; f < frames; ++f) {
                Shot shot = frameOf(random, scene, runCamera, burstIndex);
                shot.sharp = f == sharpFrame;
                shot.blurSigma = shot.sharp ? 0 : uniform(random, 1.5, 4);
                shot.ms = at;
                shots.push_back(shot);
                end = std::max(end, at);
                at += between(random, 100, 600);
            }
            ++burstIndex;
        }
        clock = end;
    }
    // Two cameras at once: their frames in the order they were taken. Equal times keep the
    // plan's order, and no two photos share a millisecond, so the order is the same anywhere.
    std::stable_sort(shots.begin(), shots.end(),
                     [](const Shot &a, const Shot &b) { return a.ms < b.ms; });
    for (size_t i = 1; i < shots.size(); ++i) {
        shots[i].ms = std::max(shots[i].ms, shots[i - 1].ms + 1);
    }
    return shots;
}

// ---- The pictures ------------------------------------------------------------------------

QColor randomColour(std::mt19937_64 &random, double saturation = 0.6)
{
    return QColor::fromHsvF(float(uniform(random, 0, 1)), float(uniform(random, 0, saturation)),
                            float(uniform(random, 0.15, 0.95)));
}

// A grey noise tile, `size` pixels a side: drawn enlarged it is soft mottling, drawn as a
// pattern it is fine texture (grass, gravel, fabric).
QImage noiseTile(std::mt19937_64 &random, int width, int height)
{
    QImage tile(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(tile.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int v = between(random, 0, 255);
            const int a = 90;
            line[x] = qRgba(v * a / 255, v * a / 255, v * a / 255, a);
        }
    }
    return tile;
}

const char *const words[] = {"HARBOUR", "Café",     "Station", "NORD",   "Platz",      "Market",
                             "OPEN",    "Bäckerei", "Hotel",   "Museum", "EXIT",       "Rue",
                             "Strand",  "Pharmacy", "BUS 42",  "Garage", "Bibliothek", "Fish",
                             "Kiosk",   "PIER 7",   "Theatre", "Bakery", "SALE",       "Gate B"};

// Draws scene `seed` into a picture of `size`, seen through `view` (scene coordinates are the
// picture's own when the view is the identity).
void drawScene(QPainter &painter, QSize size, quint64 seed, const QTransform &view)
{
    std::mt19937_64 random(seed);
    const double w = size.width();
    const double h = size.height();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(view);
    const QRectF whole(-0.2 * w, -0.2 * h, 1.4 * w, 1.4 * h);

    // Sky and ground, the horizon somewhere across the middle and a little tilted.
    const double horizon = uniform(random, 0.3, 0.7) * h;
    const double tilt = uniform(random, -0.08, 0.08) * h;
    QLinearGradient sky(0, whole.top(), 0, horizon);
    sky.setColorAt(0, randomColour(random, 0.5));
    sky.setColorAt(1, randomColour(random, 0.4));
    painter.fillRect(whole, sky);
    QPainterPath ground;
    ground.moveTo(whole.left(), horizon - tilt);
    const int hills = between(random, 2, 6);
    for (int i = 1; i <= hills; ++i) {
        const double x = whole.left() + whole.width() * i / hills;
        ground.quadTo(x - whole.width() / hills / 2, horizon + uniform(random, -0.15, 0.1) * h, x,
                      horizon + tilt * (2.0 * i / hills - 1));
    }
    ground.lineTo(whole.bottomRight());
    ground.lineTo(whole.bottomLeft());
    ground.closeSubpath();
    QLinearGradient soil(0, horizon, 0, whole.bottom());
    soil.setColorAt(0, randomColour(random, 0.7));
    soil.setColorAt(1, randomColour(random, 0.7));
    painter.fillPath(ground, soil);

    // Soft mottling over everything, then fine texture on the ground.
    const QImage blotches = noiseTile(random, between(random, 8, 24), between(random, 6, 18));
    painter.setOpacity(uniform(random, 0.4, 0.9));
    painter.drawImage(whole, blotches);
    painter.setOpacity(1);
    QBrush grain(noiseTile(random, 96, 96));
    grain.setTransform(QTransform::fromScale(uniform(random, 1, 3), uniform(random, 1, 3)));
    painter.fillPath(ground, grain);

    // Things standing about: buildings, trees, stones, signs.
    const int shapes = between(random, 6, 16);
    for (int i = 0; i < shapes; ++i) {
        const double cx = uniform(random, -0.05, 1.05) * w;
        const double cy = uniform(random, 0.1, 1.0) * h;
        const double sw = uniform(random, 0.04, 0.35) * w;
        const double sh = uniform(random, 0.04, 0.45) * h;
        const QRectF box(cx - sw / 2, cy - sh / 2, sw, sh);
        QLinearGradient fill(box.topLeft(), box.bottomRight());
        fill.setColorAt(0, randomColour(random, 0.9));
        fill.setColorAt(1, randomColour(random, 0.9));
        painter.setBrush(fill);
        if (uniform(random, 0, 1) < 0.5) {
            painter.setPen(QPen(randomColour(random), uniform(random, 1, 4)));
        } else {
            painter.setPen(Qt::NoPen);
        }
        switch (between(random, 0, 3)) {
        case 0:
            painter.drawEllipse(box);
            break;
        case 1:
            painter.drawRoundedRect(box, uniform(random, 0, 30), uniform(random, 0, 30));
            break;
        case 2: {
            QPolygonF polygon;
            const int corners = between(random, 3, 7);
            for (int c = 0; c < corners; ++c) {
                const double angle = 2 * M_PI * (c + uniform(random, 0, 0.6)) / corners;
                polygon << QPointF(cx + std::cos(angle) * sw / 2, cy + std::sin(angle) * sh / 2);
            }
            painter.drawPolygon(polygon);
            break;
        }
        default: { // a building with rows of windows
            painter.drawRect(box);
            painter.setPen(Qt::NoPen);
            painter.setBrush(randomColour(random, 0.3));
            const double step = uniform(random, 18, 45);
            for (double y = box.top() + step / 2; y + step / 2 < box.bottom(); y += step) {
                for (double x = box.left() + step / 2; x + step / 2 < box.right(); x += step) {
                    painter.drawRect(QRectF(x, y, step / 2, step / 2));
                }
            }
            break;
        }
        }
        if (uniform(random, 0, 1) < 0.3) { // textured surface
            QBrush surface(noiseTile(random, 64, 64));
            painter.setBrush(surface);
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(box.adjusted(sw / 5, sh / 5, -sw / 5, -sh / 5));
        }
    }

    // Wires, fences and poles: thin lines are what blur takes away first.
    const int lines = between(random, 3, 12);
    for (int i = 0; i < lines; ++i) {
        painter.setPen(QPen(randomColour(random, 0.3), uniform(random, 1, 3)));
        const QPointF from(uniform(random, -0.1, 1.1) * w, uniform(random, 0, 1) * h);
        const QPointF to(uniform(random, -0.1, 1.1) * w, uniform(random, 0, 1) * h);
        painter.drawLine(from, to);
    }

    // Signs.
    const int signs = between(random, 1, 3);
    for (int i = 0; i < signs; ++i) {
        QFont font(uniform(random, 0, 1) < 0.5 ? QStringLiteral("DejaVu Sans")
                                               : QStringLiteral("DejaVu Serif"));
        font.setPixelSize(between(random, 28, 110));
        font.setBold(uniform(random, 0, 1) < 0.5);
        painter.setFont(font);
        QString text = QString::fromUtf8(words[between(random, 0, int(std::size(words)) - 1)]);
        if (uniform(random, 0, 1) < 0.5) {
            text += QLatin1Char(' ') + QString::number(between(random, 1, 999));
        }
        const QPointF at(uniform(random, 0, 0.8) * w, uniform(random, 0.15, 0.95) * h);
        const QRectF plate =
            QFontMetricsF(font).boundingRect(text).translated(at).adjusted(-12, -8, 12, 8);
        painter.setPen(Qt::NoPen);
        painter.setBrush(randomColour(random, 0.8));
        painter.drawRect(plate);
        painter.setPen(randomColour(random, 0.2));
        painter.drawText(at, text);
    }
}

// The radii of three box blurs that together blur as a Gaussian of `sigma`.
std::array<int, 3> boxRadii(double sigma)
{
    constexpr int passes = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) {
        --lower;
    }
    const int upper = lower + 2;
    const double m =
        std::round((12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) /
                   (-4 * lower - 4));
    std::array<int, 3> radii{};
    for (int i = 0; i < passes; ++i) {
        radii[size_t(i)] = ((i < m ? lower : upper) - 1) / 2;
    }
    return radii;
}

// One box blur of `radius` across the rows and one down the columns; edges repeat.
void boxBlur(QImage &image, int radius)
{
    if (radius <= 0) {
        return;
    }
    const int w = image.width();
    const int h = image.height();
    // Sums are divided by the span as a multiplication and a shift: a division per channel and
    // pixel would cost more than the rest of the blur.
    const quint32 reciprocal = (1u << 16) / quint32(2 * radius + 1) + 1;
    const auto mean = [reciprocal](int sum) { return int((quint32(sum) * reciprocal) >> 16); };
    std::vector<QRgb> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::copy(line, line + w, row.begin());
        int r = 0, g = 0, b = 0;
        for (int i = -radius; i <= radius; ++i) {
            const QRgb p = row[size_t(std::clamp(i, 0, w - 1))];
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
        for (int x = 0; x < w; ++x) {
            line[x] = qRgb(mean(r), mean(g), mean(b));
            const QRgb in = row[size_t(std::min(x + radius + 1, w - 1))];
            const QRgb out = row[size_t(std::max(x - radius, 0))];
            r += qRed(in) - qRed(out), g += qGreen(in) - qGreen(out), b += qBlue(in) - qBlue(out);
        }
    }
    std::vector<int> sums(size_t(w) * 3, 0);
    const auto at = [&image, h](int y) {
        return reinterpret_cast<const QRgb *>(image.constScanLine(std::clamp(y, 0, h - 1)));
    };
    for (int i = -radius; i <= radius; ++i) {
        const QRgb *line = at(i);
        for (int x = 0; x < w; ++x) {
            sums[size_t(3 * x)] += qRed(line[x]);
            sums[size_t(3 * x + 1)] += qGreen(line[x]);
            sums[size_t(3 * x + 2)] += qBlue(line[x]);
        }
    }
    // Rows still needed as they were are kept aside: the window reaches `radius` rows back.
    std::vector<std::vector<QRgb>> original(size_t(radius + 1), std::vector<QRgb>(size_t(w)));
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::copy(line, line + w, original[size_t(y % (radius + 1))].begin());
        const QRgb *in = at(y + radius + 1);
        const QRgb *out = y - radius >= 0 ? original[size_t((y - radius) % (radius + 1))].data()
                                          : original[0].data(); // row 0, repeated
        for (int x = 0; x < w; ++x) {
            line[x] = qRgb(mean(sums[size_t(3 * x)]), mean(sums[size_t(3 * x + 1)]),
                           mean(sums[size_t(3 * x + 2)]));
        }
        for (int x = 0; x < w; ++x) {
            sums[size_t(3 * x)] += qRed(in[x]) - qRed(out[x]);
            sums[size_t(3 * x + 1)] += qGreen(in[x]) - qGreen(out[x]);
            sums[size_t(3 * x + 2)] += qBlue(in[x]) - qBlue(out[x]);
        }
    }
}

// Exposure and sensor noise: every channel times `gain`, plus grain of σ ≈ 2.5 levels.
void expose(QImage &image, double gain, quint64 seed)
{
    quint64 state = seed | 1;
    const auto next = [&state] { // xorshift64
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const int scaled = int(std::lround(gain * 256));
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint64 bits = next();
            // Three uniform bytes summed and scaled: σ ≈ 2.5, cheaper than a true Gaussian.
            const int grain =
                (int(bits & 0xff) + int((bits >> 8) & 0xff) + int((bits >> 16) & 0xff) - 382) * 5 /
                256;
            const auto channel = [&](int c) {
                return std::clamp(((c * scaled) >> 8) + grain, 0, 255);
            };
            line[x] =
                qRgb(channel(qRed(line[x])), channel(qGreen(line[x])), channel(qBlue(line[x])));
        }
    }
}

QImage render(const Shot &shot, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        const QPointF centre(size.width() / 2.0, size.height() / 2.0);
        QTransform view;
        view.translate(centre.x() + shot.dx * size.width(), centre.y() + shot.dy * size.height());
        view.scale(shot.zoom, shot.zoom);
        view.translate(-centre.x(), -centre.y());
        drawScene(painter, size, shot.scene, view);
    }
    if (shot.blurSigma > 0) {
        for (const int radius : boxRadii(shot.blurSigma)) {
            boxBlur(image, radius);
        }
    }
    expose(image, shot.gain, shot.noise);
    return image;
}

QByteArray exifOf(const Shot &shot, const QDateTime &taken, QSize size)
{
    const Camera &camera = cameras[shot.camera];
    TiffBuilder tiff;
    const int ifd0 = tiff.addIfd();
    const int exif = tiff.addIfd();
    const QByteArray date = taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1();
    tiff.addAscii(ifd0, 0x010F, camera.make);
    tiff.addAscii(ifd0, 0x0110, camera.model);
    tiff.addShort(ifd0, 0x0112, 1);
    tiff.addRational(ifd0, 0x011A, 300, 1);
    tiff.addRational(ifd0, 0x011B, 300, 1);
    tiff.addShort(ifd0, 0x0128, 2);
    tiff.addAscii(ifd0, 0x0132, date);
    tiff.addPointer(ifd0, 0x8769, exif);
    tiff.addRational(exif, 0x829A, 1, 500);
    tiff.addRational(exif, 0x829D, 40, 10);
    tiff.addShort(exif, 0x8827, 200);
    tiff.addRaw(exif, 0x9000, TiffBuilder::undefined, 4, "0232");
    tiff.addAscii(exif, 0x9003, date);
    tiff.addAscii(exif, 0x9004, date);
    tiff.addAscii(exif, 0x9011, "+02:00");
    const QByteArray subSeconds = QByteArray::number(taken.time().msec()).rightJustified(3, '0');
    tiff.addAscii(exif, 0x9290, subSeconds);
    tiff.addAscii(exif, 0x9291, subSeconds);
    tiff.addAscii(exif, 0x9292, subSeconds);
    tiff.addShort(exif, 0xA001, 1);
    tiff.addLong(exif, 0xA002, quint32(size.width()));
    tiff.addLong(exif, 0xA003, quint32(size.height()));
    tiff.addAscii(exif, 0xA431, camera.serial);
    return tiff.bytes();
}

QString fileName(int index)
{
    return QStringLiteral("IMG_%1.JPG").arg(index + 1, 5, 10, QLatin1Char('0'));
}

std::optional<Options> parse(const QStringList &arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (argument == QLatin1String("--count") && hasValue) {
            options.count = arguments[++i].toInt(&ok);
            ok = ok && options.count > 0 && options.count <= 99999;
        } else if (argument == QLatin1String("--bursts") && hasValue) {
            options.bursts = arguments[++i].toInt(&ok);
            ok = ok && options.bursts >= 0;
        } else if (argument == QLatin1String("--seed") && hasValue) {
            options.seed = arguments[++i].toULongLong(&ok);
        } else if (argument == QLatin1String("--size") && hasValue) {
            const QStringList sides = arguments[++i].split(QLatin1Char('x'));
            bool heightOk = false;
            ok = sides.size() == 2;
            options.width = ok ? sides[0].toInt(&ok) : 0;
            options.height = ok ? sides[1].toInt(&heightOk) : 0;
            ok = ok && heightOk && options.width >= 64 && options.height >= 64;
        } else if (options.out.isEmpty() && !argument.startsWith(QLatin1Char('-'))) {
            options.out = QDir(argument).absolutePath();
        } else {
            ok = false;
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    if (options.out.isEmpty()) {
        return std::nullopt;
    }
    if (options.bursts < 0) {
        options.bursts = std::max(1, int(std::lround(300.0 * options.count / 10000)));
    }
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const std::optional<Options> options = parse(app.arguments());
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s OUT [--count N] [--bursts B] [--seed S] [--size WIDTHxHEIGHT]\n",
                     argv[0]);
        return 2;
    }
    const QSize size(options->width, options->height);
    const QString photos = options->out + QStringLiteral("/photos");
    const QString stampPath = options->out + QStringLiteral("/corpus.txt");
    const QByteArray stamp = QStringLiteral("version=%1 count=%2 bursts=%3 seed=%4 size=%5x%6\n")
                                 .arg(generatorVersion)
                                 .arg(options->count)
                                 .arg(options->bursts)
                                 .arg(options->seed)
                                 .arg(size.width())
                                 .arg(size.height())
                                 .toUtf8();
    QFile stampFile(stampPath);
    const bool sameCorpus = stampFile.open(QIODevice::ReadOnly) && stampFile.readAll() == stamp;
    stampFile.close();
    if (!sameCorpus) {
        QDir(photos).removeRecursively();
        QFile::remove(options->out + QStringLiteral("/truth.tsv"));
    }
    if (!QDir().mkpath(photos)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(photos));
        return 1;
    }

    const std::vector<Shot> shots = plan(*options);
    // Bursts are numbered in name order of their first frame.
    std::vector<int> number(size_t(options->bursts), 0);
    int bursts = 0;
    QByteArray truth;
    for (size_t i = 0; i < shots.size(); ++i) {
        const Shot &shot = shots[i];
        if (shot.burst >= 0 && number[size_t(shot.burst)] == 0) {
            number[size_t(shot.burst)] = ++bursts;
        }
        truth += fileName(int(i)).toUtf8() + '\t' +
                 (shot.burst >= 0 ? QByteArray::number(number[size_t(shot.burst)]) : "-") + '\t' +
                 (shot.burst >= 0 && shot.sharp ? "1" : "0") + '\t' +
                 QByteArray::number(shot.blurSigma, 'f', 2) + '\t' +
                 QByteArray::number(shot.gain, 'f', 3) + '\t' + QByteArray::number(shot.camera) +
                 '\n';
    }
    if (!BenchFiles::writeAtomically(options->out + QStringLiteral("/truth.tsv"), truth, true) ||
        !BenchFiles::writeAtomically(stampPath, stamp, true)) {
        std::fprintf(stderr, "cannot write into %s\n", qPrintable(options->out));
        return 1;
    }

    // Neighbours in name order that only the pictures can tell apart (same camera, within two
    // seconds, not one burst), and those whose cameras differ.
    int lookAlikeTimes = 0, otherCamera = 0;
    for (size_t i = 1; i < shots.size(); ++i) {
        const Shot &a = shots[i - 1];
        const Shot &b = shots[i];
        if (b.ms - a.ms <= 2000 && (a.burst < 0 || a.burst != b.burst)) {
            ++(a.camera == b.camera ? lookAlikeTimes : otherCamera);
        }
    }
    std::printf("%d neighbours of one camera within 2 s but not of one burst, %d of two cameras\n",
                lookAlikeTimes, otherCamera);
    std::fflush(stdout);

    const QDateTime start(QDate(2025, 6, 14), QTime(9, 0), QTimeZone(2 * 3600));
    std::vector<int> indices(shots.size());
    std::iota(indices.begin(), indices.end(), 0);
    std::atomic<int> done{0}, written{0}, failed{0};
    const int step = std::max(1, options->count / 20);
    QElapsedTimer clock;
    clock.start();
    QtConcurrent::blockingMap(indices, [&](int i) {
        const Shot &shot = shots[size_t(i)];
        const QString path = photos + QLatin1Char('/') + fileName(i);
        if (!QFileInfo::exists(path)) {
            const QDateTime taken = start.addMSecs(shot.ms);
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(88);
            const bool encoded = writer.write(render(shot, size));
            const QByteArray bytes =
                encoded ? SamplePhotos::withExifBlock(jpeg, exifOf(shot, taken, size))
                        : QByteArray();
            if (BenchFiles::writeAtomically(path, bytes, true)) {
                // The file's time is the shot's too, for readers that fall back on it.
                QFile file(path);
                if (file.open(QIODevice::ReadWrite)) {
                    file.setFileTime(taken, QFileDevice::FileModificationTime);
                }
                ++written;
            } else {
                ++failed;
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            }
        }
        if (const int n = ++done; n % step == 0 || n == options->count) {
            std::printf("%d/%d %.0f s\n", n, options->count, double(clock.elapsed()) / 1e3);
            std::fflush(stdout);
        }
    });
    std::printf("%d photos written, %d already present, %d failed in %s (%d bursts); %.1f s\n",
                written.load(), int(shots.size()) - written.load() - failed.load(), failed.load(),
                qPrintable(photos), bursts, double(clock.elapsed()) / 1e3);
    return failed.load() == 0 ? 0 : 1;
}
