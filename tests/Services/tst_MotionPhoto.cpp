#include "Samples/SamplePhotos.h"
#include "Services/Decoders/MotionPhoto.h"
#include "support/Bytes.h"
#include "support/FuzzCorpus.h"
#include "support/HeifWriter.h"

#include <QTest>

#include <limits>

using Bytes::withXmp;
using MotionPhoto::Video;
using namespace Qt::StringLiterals;

namespace QTest {
template<>
char *toString(const std::optional<Video> &video)
{
    return qstrdup(video ? qPrintable(u"{%1, %2}"_s.arg(video->offset).arg(video->length))
                         : "none");
}
} // namespace QTest

// The video range of motion photos: first as XMP packets declare it, in the forms phones write
// and in damaged or hostile ones; then found in JPEG and HEIC files assembled here, a short
// fake MP4 appended, where nothing counts until the range starts with an `ftyp` box.
class tst_MotionPhoto : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void declared_data();
    void declared();
    void located_data();
    void located();
    void anyHeadLength();
};

namespace {

const QByteArray namespaces = R"(xmlns:GCamera="http://ns.google.com/photos/1.0/camera/" )"
                              R"(xmlns:Container="http://ns.google.com/photos/1.0/container/" )"
                              R"(xmlns:Item="http://ns.google.com/photos/1.0/container/item/")";

// A packet as phones write it: `attributes` and `children` of the one rdf:Description.
QByteArray packet(const QByteArray &attributes, const QByteArray &children = {})
{
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
           "rdf:about=\"\" " +
           namespaces + ' ' + attributes + '>' + children +
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

QByteArray item(const char *semantic, const QByteArray &length, const QByteArray &padding = "0")
{
    return "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Mime=\"video/mp4\" "
           "Item:Semantic=\"" +
           QByteArray(semantic) + "\" Item:Length=\"" + length + "\" Item:Padding=\"" + padding +
           "\"/></rdf:li>";
}

const QByteArray primary = item("Primary", "0");

// The newer form: MotionPhoto and the directory of `items`, the primary first.
QByteArray motion(const QList<QByteArray> &items, const QByteArray &flag = "1")
{
    return packet("GCamera:MotionPhoto=\"" + flag + '"', "<Container:Directory><rdf:Seq>" +
                                                             items.join() +
                                                             "</rdf:Seq></Container:Directory>");
}

QByteArray microVideo(const QByteArray &flag, const QByteArray &offset)
{
    return packet("GCamera:MicroVideo=\"" + flag + "\" GCamera:MicroVideoOffset=\"" + offset + '"');
}

// A stand-in for the phone's MP4: a file type box and some media data.
const QByteArray video = Bytes::box("ftyp", "isom" + Bytes::number(0, 4) + "isommp42") +
                         Bytes::box("mdat", QByteArray(100, 'v'));

// A small JPEG, made once an application exists to load Qt's JPEG writer.
QByteArray photo()
{
    static const QByteArray jpeg = SamplePhotos::encodeJpeg(SamplePhotos::makeImage(16, 16, 1));
    return jpeg;
}

// The packet declaring `video`, as the one item after the primary.
const QByteArray declaration =
    motion({primary, item("MotionPhoto", QByteArray::number(video.size()))});

} // namespace

void tst_MotionPhoto::declared_data()
{
    QTest::addColumn<QByteArray>("xmp");
    QTest::addColumn<qint64>("fileLength");
    QTest::addColumn<std::optional<Video>>("expected");

    const auto row = [](const char *name, const QByteArray &xmp, std::optional<Video> expected,
                        qint64 fileLength = 10000) {
        QTest::newRow(name) << xmp << fileLength << expected;
    };
    const QByteArray mp4 = item("MotionPhoto", "1000");
    const QByteArray plain = motion({primary, mp4});
    const Video last{9000, 1000};
    row("attributes", plain, last);
    row("child elements",
        packet({}, "<GCamera:MotionPhoto>1</GCamera:MotionPhoto><Container:Directory><rdf:Seq>"
                   "<rdf:li><Container:Item rdf:parseType=\"Resource\"><Item:Semantic>Primary"
                   "</Item:Semantic></Container:Item></rdf:li><rdf:li><Container:Item "
                   "rdf:parseType=\"Resource\"><Item:Semantic>MotionPhoto</Item:Semantic>"
                   "<Item:Length> 1000 </Item:Length></Container:Item></rdf:li></rdf:Seq>"
                   "</Container:Directory>"),
        last);
    row("padding after the video", motion({primary, item("MotionPhoto", "1000", "24")}),
        Video{8976, 1000});
    row("items before and after the video",
        motion({primary, item("GainMap", "300"), mp4, item("Depth", "200", "100")}),
        Video{8700, 1000});
    row("video from the second byte", motion({primary, item("MotionPhoto", "9999")}),
        Video{1, 9999});
    row("video of the whole file", motion({primary, item("MotionPhoto", "10000")}), {});
    row("other prefixes",
        QByteArray(plain).replace("GCamera", "c").replace("Container", "d").replace("Item", "i"),
        last);
    row("common prefixes undeclared", QByteArray(plain).replace(namespaces, ""), last);
    row("common prefixes, other namespaces", QByteArray(plain).replace("photos/1.0", "photos/2.0"),
        {});
    row("packet followed by junk", plain + QByteArray("\0\0<junk", 7), last);
    row("document type declaration",
        QByteArray(plain).replace("<x:xmpmeta", "<!DOCTYPE x:xmpmeta><x:xmpmeta"), {});
    // The bounds: 256 namespace declarations, 64 items and 64 levels are read, one more is not.
    for (const int over : {0, 1}) {
        QByteArray declared = "<x:xmpmeta"; // beside the packet's own 5
        for (int i = 0; i < 251 + over; ++i) {
            declared += " xmlns:n" + QByteArray::number(i) + "=\"u\"";
        }
        const std::optional<Video> expected = over ? std::nullopt : std::optional(last);
        row(over ? "257 prefixes" : "256 prefixes",
            QByteArray(plain).replace("<x:xmpmeta", declared), expected);
        row(over ? "65 items" : "64 items", motion(QList<QByteArray>(63 + over, primary) << mp4),
            expected);
        row(over ? "65 levels" : "64 levels", // the packet's own 7 inside
            QByteArray("<a>").repeated(57 + over) + plain + QByteArray("</a>").repeated(57 + over),
            expected);
    }
    row("MicroVideoOffset", microVideo("1", "1000"), last);
    row("MicroVideo 0", microVideo("0", "1000"), {});
    row("both forms: the directory wins",
        QByteArray(plain).replace(
            "GCamera:MotionPhoto",
            "GCamera:MicroVideo=\"1\" GCamera:MicroVideoOffset=\"2\" GCamera:MotionPhoto"),
        last);
    row("MotionPhoto 0", motion({primary, mp4}, "0"), {});
    row("no directory", packet("GCamera:MotionPhoto=\"1\""), {});
    row("directory without MotionPhoto", QByteArray(plain).replace("GCamera:MotionPhoto=\"1\"", ""),
        last);
    const QByteArray three = motion({primary, mp4, item("GainMap", "300")});
    row("packet cut within the directory", three.first(three.lastIndexOf("<rdf:li")), {});
    row("later item without a length",
        motion({primary, mp4, item("GainMap", "300").replace("Item:Length", "Item:Size")}), {});
    row("length past the file", microVideo("1", "10001"), {});
    row("negative padding", motion({primary, item("MotionPhoto", "1000", "-24")}), {});
    row("length of 2^64 + 1000", microVideo("1", "18446744073709552616"), {});
    // Lengths that add up to 2^64 + 1000, which would wrap around to the video's own length.
    const QByteArray largest = QByteArray::number(std::numeric_limits<qint64>::max());
    row("lengths that wrap around together",
        motion({primary, mp4, item("a", largest), item("b", largest), item("c", "2")}), {},
        std::numeric_limits<qint64>::max());
}

void tst_MotionPhoto::declared()
{
    QFETCH(QByteArray, xmp);
    QFETCH(qint64, fileLength);
    QFETCH(std::optional<Video>, expected);
    FuzzCorpus::add("motion", xmp);
    QCOMPARE(MotionPhoto::declaredVideo(xmp, fileLength), expected);
}

void tst_MotionPhoto::located_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qsizetype>("headLength"); // the rest is read through ReadAt
    QTest::addColumn<bool>("xmpInHead");
    QTest::addColumn<std::optional<Video>>("expected");

    // `found`: the video is the one at the file's end.
    const auto row = [](const char *name, const QByteArray &file, bool found,
                        qsizetype headLength = 65536, bool xmpInHead = true) {
        QTest::newRow(name) << file << headLength << xmpInHead
                            << (found
                                    ? std::optional(Video{file.size() - video.size(), video.size()})
                                    : std::nullopt);
    };
    const QByteArray file = withXmp(photo(), declaration) + video;
    const qsizetype xmpEnd = 2 + 4 + 29 + declaration.size();
    row("JPEG, head ends with the XMP", file, true, xmpEnd);
    row("JPEG, head ends a byte before", file, true, xmpEnd - 1, false);
    row("JPEG, another box first",
        withXmp(photo(), declaration) + QByteArray(video).replace("ftyp", "moov"), false);
    row("JPEG, ftyp longer than the video",
        withXmp(photo(), declaration) + QByteArray(video).replace(2, 1, "\x01"), false);
    row("JPEG, video cut short", file.chopped(1), false);
    if (HeifWriter::canEncode(heif_compression_HEVC)) {
        // Samsung's HEIC: the video in an `mpvd` box, whose header is the primary's padding.
        HeifWriter::Fixture fixture;
        fixture.picture = SamplePhotos::makeImage(64, 48, 2);
        fixture.xmp = motion(
            {item("Primary", "0", "8"), item("MotionPhoto", QByteArray::number(video.size()))});
        row("HEIC", HeifWriter::encoded(fixture) + Bytes::box("mpvd", video), true, 64, false);
    }
}

void tst_MotionPhoto::located()
{
    QFETCH(QByteArray, file);
    QFETCH(qsizetype, headLength);
    QFETCH(bool, xmpInHead);
    QFETCH(std::optional<Video>, expected);
    FuzzCorpus::add("motion", file);
    const QByteArrayView head = QByteArrayView(file).first(std::min(headLength, file.size()));
    QCOMPARE(!MotionPhoto::jpegXmp(head).isEmpty(), xmpInHead);
    const auto readAt = [&file](qint64 offset, qint64 length) { return file.mid(offset, length); };
    QCOMPARE(MotionPhoto::locate(head, file.size(), readAt), expected);
}

void tst_MotionPhoto::anyHeadLength()
{
    // An XMP packet after fill bytes and EXIF; wherever the caller's head ends, even within a
    // marker, the rest is read through ReadAt.
    const QByteArray file =
        SamplePhotos::withExifBlock(withXmp(photo(), declaration), QByteArray(200, 'e'))
            .insert(2, "\xFF\xFF\xFF") +
        video;
    const auto readAt = [&file](qint64 offset, qint64 length) { return file.mid(offset, length); };
    const Video found{file.size() - video.size(), video.size()};
    for (qsizetype length = 0; length <= file.size(); ++length) {
        const auto located = MotionPhoto::locate(file.first(length), file.size(), readAt);
        QVERIFY2(located == found, qPrintable(QString::number(length)));
    }
}

QTEST_GUILESS_MAIN(tst_MotionPhoto)
#include "tst_MotionPhoto.moc"
