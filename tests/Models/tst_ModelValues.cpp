#include "Models/FileSystemError.h"
#include "Models/PhotoCollection.h"
#include "Models/PhotoDragPayload.h"
#include "Models/ScrollRequest.h"
#include "Models/TextEnums.h"

#include <QTest>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

class tst_ModelValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enumRawValuesRoundTrip();
    void enumParsing_data();
    void enumParsing();
    void enumLabelsAndShortcuts();
    void dragPayloadRoundTrip();
    void dragPayloadRejects_data();
    void dragPayloadRejects();
    void scrollRequestsForSamePhotoDiffer();
    void collectionCounts();
    void errorMessages_data();
    void errorMessages();
};

template<typename Enum>
static void checkRoundTrip()
{
    for (const Enum value : allCases<Enum>()) {
        QCOMPARE(fromRawValue<Enum>(rawValue(value)), std::optional<Enum>(value));
    }
}

void tst_ModelValues::enumRawValuesRoundTrip()
{
    checkRoundTrip<PhotoSortOrder>();
    checkRoundTrip<WorkspaceMode>();
    checkRoundTrip<BrowseLayoutMode>();
}

void tst_ModelValues::enumParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("layout"); // -1: no value
    QTest::newRow("masonry") << u"masonry"_s << int(BrowseLayoutMode::masonry);
    QTest::newRow("list") << u"list"_s << int(BrowseLayoutMode::list);
    QTest::newRow("unknown grid") << u"grid"_s << -1;
    QTest::newRow("label is not a raw value") << u"Masonry"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void tst_ModelValues::enumParsing()
{
    QFETCH(QString, text);
    QFETCH(int, layout);
    const std::optional<BrowseLayoutMode> parsed = fromRawValue<BrowseLayoutMode>(text);
    QCOMPARE(parsed.has_value(), layout >= 0);
    if (parsed) {
        QCOMPARE(int(*parsed), layout);
    }
}

void tst_ModelValues::enumLabelsAndShortcuts()
{
    QCOMPARE(label(PhotoSortOrder::modificationDate), u"Modification Date"_s);
    QCOMPARE(label(WorkspaceMode::browse), u"Browse"_s);
    QCOMPARE(rawValue(PhotoSortOrder::modificationDate), u"modificationDate"_s);
    QStringList shortcuts;
    QStringList images;
    for (const BrowseLayoutMode mode : allCases<BrowseLayoutMode>()) {
        shortcuts.append(shortcutNumber(mode));
        images.append(systemImage(mode));
    }
    QCOMPARE(shortcuts, (QStringList{u"1"_s, u"2"_s, u"3"_s}));
    QCOMPARE(images, (QStringList{u"square.grid.3x3"_s, u"list.bullet"_s, u"rectangle.3.group"_s}));
}

void tst_ModelValues::dragPayloadRoundTrip()
{
    const PhotoDragPayload payload{
        {QUrl::fromLocalFile(u"/p/a b#1%.jpg"_s), QUrl::fromLocalFile(u"/p/Été/ü.png"_s)}};
    const QByteArray json = payload.toJson();
    QVERIFY(json.startsWith("{\"urls\":[\"file:///p/a%20b%231%25.jpg\""));
    QCOMPARE(PhotoDragPayload::fromJson(json), std::optional<PhotoDragPayload>(payload));
    QCOMPARE(PhotoDragPayload::fromJson(json)->urls.at(1).toLocalFile(), u"/p/Été/ü.png"_s);
}

void tst_ModelValues::dragPayloadRejects_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not json") << QByteArray("urls");
    QTest::newRow("array") << QByteArray("[\"file:///a.jpg\"]");
    QTest::newRow("no urls") << QByteArray("{\"files\":[]}");
    QTest::newRow("urls not array") << QByteArray("{\"urls\":\"file:///a.jpg\"}");
    QTest::newRow("number in array") << QByteArray("{\"urls\":[1]}");
    QTest::newRow("relative url") << QByteArray("{\"urls\":[\"a.jpg\"]}");
}

void tst_ModelValues::dragPayloadRejects()
{
    QFETCH(QByteArray, json);
    QVERIFY(!PhotoDragPayload::fromJson(json).has_value());
}

void tst_ModelValues::scrollRequestsForSamePhotoDiffer()
{
    const ScrollRequest first = ScrollRequest::make(u"1:2"_s);
    const ScrollRequest second = ScrollRequest::make(u"1:2"_s);
    QCOMPARE(first.photoID, second.photoID);
    QVERIFY(first != second);
    QCOMPARE(first, first);
}

void tst_ModelValues::collectionCounts()
{
    PhotoSection unsorted{
        u"unsorted:1"_s, PhotoSectionKind::unsorted, {}, u"Unsorted"_s, QList<Photo>(3)};
    PhotoCollection collection{{}, u"Root"_s, {unsorted}};
    QCOMPARE(collection.categoryCount(), 0);
    QCOMPARE(collection.photoCount(), 3);
    collection.sections.append(
        {u"category:2"_s, PhotoSectionKind::category, {}, u"Cats"_s, QList<Photo>(2)});
    collection.sections.append({u"category:3"_s, PhotoSectionKind::category, {}, u"Dogs"_s, {}});
    QCOMPARE(collection.categoryCount(), 2);
    QCOMPARE(collection.photoCount(), 5);
}

void tst_ModelValues::errorMessages_data()
{
    QTest::addColumn<FileSystemError>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a folder") << FileSystemError::notDirectory(
                                         QUrl::fromLocalFile(u"/a/notes.txt/"_s))
                                  << u"“notes.txt” is not a folder."_s;
    QTest::newRow("exists") << FileSystemError::categoryAlreadyExists(u"Cats"_s)
                            << u"A category named “Cats” already exists."_s;
    QTest::newRow("holds folders")
        << FileSystemError::categoryContainsFolders(u"Cats"_s)
        << QStringLiteral("“Cats” contains another folder. Move that folder elsewhere before "
                          "deleting the category.");
    QTest::newRow("invalid name")
        << FileSystemError::invalidCategoryName()
        << u"Category names cannot be empty, hidden, or contain “/” or “:”."_s;
    // A system error is said in plain words; the system's own text is for the log.
    const auto system = [](int errnum) {
        return FileSystemError::system(errnum, u"Couldn’t move “a.jpg”"_s);
    };
    QTest::newRow("gone") << system(ENOENT) << u"Couldn’t move “a.jpg”: It is no longer there."_s;
    QTest::newRow("share lost") << system(ESTALE)
                                << QStringLiteral(
                                       "Couldn’t move “a.jpg”: The connection to the disk or "
                                       "network folder was lost.");
    QTest::newRow("name the disk refuses")
        << system(EILSEQ)
        << u"Couldn’t move “a.jpg”: The name has characters this disk can’t store."_s;
    QTest::newRow("unusual code") << system(EDOM)
                                  << u"Couldn’t move “a.jpg”: The system reported error 33."_s;
}

void tst_ModelValues::errorMessages()
{
    QFETCH(FileSystemError, error);
    QFETCH(QString, message);
    QCOMPARE(error.message, message);
    if (error.systemError != 0) {
        const QString raw = QString::fromLocal8Bit(std::strerror(error.systemError));
        QVERIFY(!error.message.contains(raw));
        QCOMPARE(error.logText(), u"%1 [%2, errno %3]"_s.arg(message, raw).arg(error.systemError));
    }
}

QTEST_APPLESS_MAIN(tst_ModelValues)
#include "tst_ModelValues.moc"
