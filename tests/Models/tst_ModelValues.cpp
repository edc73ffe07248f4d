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
    QTest::newRow("masonry") << QStringLiteral("masonry") << int(BrowseLayoutMode::masonry);
    QTest::newRow("list") << QStringLiteral("list") << int(BrowseLayoutMode::list);
    QTest::newRow("unknown grid") << QStringLiteral("grid") << -1;
    QTest::newRow("label is not a raw value") << QStringLiteral("Masonry") << -1;
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
    QCOMPARE(label(PhotoSortOrder::modificationDate), QStringLiteral("Modification Date"));
    QCOMPARE(label(WorkspaceMode::browse), QStringLiteral("Browse"));
    QCOMPARE(rawValue(PhotoSortOrder::modificationDate), QStringLiteral("modificationDate"));
    QStringList shortcuts;
    QStringList images;
    for (const BrowseLayoutMode mode : allCases<BrowseLayoutMode>()) {
        shortcuts.append(shortcutNumber(mode));
        images.append(systemImage(mode));
    }
    QCOMPARE(shortcuts, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    QCOMPARE(images, (QStringList{QStringLiteral("square.grid.3x3"), QStringLiteral("list.bullet"),
                                  QStringLiteral("rectangle.3.group")}));
}

void tst_ModelValues::dragPayloadRoundTrip()
{
    const PhotoDragPayload payload{{QUrl::fromLocalFile(QStringLiteral("/p/a b#1%.jpg")),
                                    QUrl::fromLocalFile(QStringLiteral("/p/Été/ü.png"))}};
    const QByteArray json = payload.toJson();
    QVERIFY(json.startsWith("{\"urls\":[\"file:///p/a%20b%231%25.jpg\""));
    QCOMPARE(PhotoDragPayload::fromJson(json), std::optional<PhotoDragPayload>(payload));
    QCOMPARE(PhotoDragPayload::fromJson(json)->urls.at(1).toLocalFile(),
             QStringLiteral("/p/Été/ü.png"));
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
    const ScrollRequest first = ScrollRequest::make(QStringLiteral("1:2"));
    const ScrollRequest second = ScrollRequest::make(QStringLiteral("1:2"));
    QCOMPARE(first.photoID, second.photoID);
    QVERIFY(first != second);
    QCOMPARE(first, first);
}

void tst_ModelValues::collectionCounts()
{
    PhotoSection unsorted{QStringLiteral("unsorted:1"), PhotoSectionKind::unsorted, {},
                          QStringLiteral("Unsorted"), QList<Photo>(3)};
    PhotoCollection collection{{}, QStringLiteral("Root"), {unsorted}};
    QCOMPARE(collection.categoryCount(), 0);
    QCOMPARE(collection.photoCount(), 3);
    collection.sections.append({QStringLiteral("category:2"), PhotoSectionKind::category, {},
                                QStringLiteral("Cats"), QList<Photo>(2)});
    collection.sections.append({QStringLiteral("category:3"), PhotoSectionKind::category, {},
                                QStringLiteral("Dogs"), {}});
    QCOMPARE(collection.categoryCount(), 2);
    QCOMPARE(collection.photoCount(), 5);
}

void tst_ModelValues::errorMessages_data()
{
    QTest::addColumn<FileSystemError>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a folder")
        << FileSystemError::notDirectory(QUrl::fromLocalFile(QStringLiteral("/a/notes.txt/")))
        << QStringLiteral("“notes.txt” is not a folder.");
    QTest::newRow("exists") << FileSystemError::categoryAlreadyExists(QStringLiteral("Cats"))
                            << QStringLiteral("A category named “Cats” already exists.");
    QTest::newRow("holds folders")
        << FileSystemError::categoryContainsFolders(QStringLiteral("Cats"))
        << QStringLiteral("“Cats” contains another folder. Move that folder elsewhere before "
                          "deleting the category.");
    QTest::newRow("invalid name")
        << FileSystemError::invalidCategoryName()
        << QStringLiteral("Category names cannot be empty, hidden, or contain “/” or “:”.");
    // A system error is said in plain words; the system's own text is for the log.
    const auto system = [](int errnum) {
        return FileSystemError::system(errnum, QStringLiteral("Couldn’t move “a.jpg”"));
    };
    QTest::newRow("gone") << system(ENOENT) << QStringLiteral("Couldn’t move “a.jpg”: It is no longer there.");
    QTest::newRow("share lost") << system(ESTALE)
                                << QStringLiteral("Couldn’t move “a.jpg”: The connection to the disk or "
                                                  "network folder was lost.");
    QTest::newRow("name the disk refuses")
        << system(EILSEQ)
        << QStringLiteral("Couldn’t move “a.jpg”: The name has characters this disk can’t store.");
    QTest::newRow("unusual code") << system(EDOM)
                                  << QStringLiteral("Couldn’t move “a.jpg”: The system reported error 33.");
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
