#include "Models/FileSystemError.h"
#include "Models/PhotoDragPayload.h"
#include "Models/ScrollRequest.h"
#include "Models/TextEnums.h"

#include <QTest>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

// Every case reads back from its raw value; the raw values are what settings store.
template<typename Enum>
static QStringList rawValues()
{
    QStringList values;
    for (const Enum value : allCases<Enum>()) {
        values.append(rawValue(value));
        if (fromRawValue<Enum>(values.last()) != std::optional<Enum>(value)) {
            return {};
        }
    }
    return values;
}

template<typename Enum>
static QStringList texts(QString (*text)(Enum))
{
    QStringList values;
    for (const Enum value : allCases<Enum>()) {
        values.append(text(value));
    }
    return values;
}

class tst_ModelValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enumTexts()
    {
        QCOMPARE(rawValues<PhotoSortOrder>(),
                 (QStringList{u"filename"_s, u"modificationDate"_s, u"dateTaken"_s}));
        QCOMPARE(rawValues<WorkspaceMode>(), (QStringList{u"sort"_s, u"browse"_s}));
        QCOMPARE(rawValues<BrowseLayoutMode>(), (QStringList{u"tiles"_s, u"list"_s, u"masonry"_s}));
        for (const QString &text : {u"grid"_s, u"Masonry"_s, QString()}) { // unknown, a label
            QCOMPARE(fromRawValue<BrowseLayoutMode>(text), std::nullopt);
        }
        QCOMPARE(label(PhotoSortOrder::modificationDate), u"Modification Date"_s);
        QCOMPARE(label(PhotoSortOrder::dateTaken), u"Date Taken"_s);
        QCOMPARE(label(WorkspaceMode::browse), u"Browse"_s);
        QCOMPARE(texts(shortcutNumber<BrowseLayoutMode>), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
        QCOMPARE(texts(systemImage<BrowseLayoutMode>),
                 (QStringList{u"square.grid.3x3"_s, u"list.bullet"_s, u"rectangle.3.group"_s}));
    }

    void dragPayloadRoundTrip()
    {
        const PhotoDragPayload payload{
            {QUrl::fromLocalFile(u"/p/a b#1%.jpg"_s), QUrl::fromLocalFile(u"/p/Été/ü.png"_s)}};
        const QByteArray json = payload.toJson();
        QVERIFY(json.startsWith("{\"urls\":[\"file:///p/a%20b%231%25.jpg\""));
        QCOMPARE(PhotoDragPayload::fromJson(json), std::optional<PhotoDragPayload>(payload));
    }

    void dragPayloadRejects_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not json") << QByteArray("urls");
        QTest::newRow("array") << QByteArray("[\"file:///a.jpg\"]");
        QTest::newRow("no urls") << QByteArray("{\"files\":[]}");
        QTest::newRow("urls not array") << QByteArray("{\"urls\":\"file:///a.jpg\"}");
        QTest::newRow("number in array") << QByteArray("{\"urls\":[1]}");
        QTest::newRow("relative url") << QByteArray("{\"urls\":[\"a.jpg\"]}");
    }

    void dragPayloadRejects()
    {
        QFETCH(QByteArray, json);
        QVERIFY(!PhotoDragPayload::fromJson(json).has_value());
    }

    void scrollRequestsForSamePhotoDiffer()
    {
        const ScrollRequest first = ScrollRequest::make(u"1:2"_s);
        const ScrollRequest second = ScrollRequest::make(u"1:2"_s);
        QCOMPARE(first.photoID, second.photoID);
        QVERIFY(first != second);
        QCOMPARE(first, first);
    }

    void errorMessages_data()
    {
        QTest::addColumn<FileSystemError>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a folder")
            << FileSystemError::notDirectory(QUrl::fromLocalFile(u"/a/notes.txt/"_s))
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
        QTest::newRow("gone") << system(ENOENT)
                              << u"Couldn’t move “a.jpg”: It is no longer there."_s;
        QTest::newRow("share lost")
            << system(ESTALE)
            << QStringLiteral("Couldn’t move “a.jpg”: The connection to the disk or "
                              "network folder was lost.");
        QTest::newRow("name the disk refuses")
            << system(EILSEQ)
            << u"Couldn’t move “a.jpg”: The name has characters this disk can’t store."_s;
        QTest::newRow("unusual code")
            << system(EDOM) << u"Couldn’t move “a.jpg”: The system reported error 33."_s;
    }

    void errorMessages()
    {
        QFETCH(FileSystemError, error);
        QFETCH(QString, message);
        QCOMPARE(error.message, message);
        if (error.systemError != 0) {
            const QString raw = QString::fromLocal8Bit(std::strerror(error.systemError));
            QVERIFY(!error.message.contains(raw));
            QCOMPARE(error.logText(),
                     u"%1 [%2, errno %3]"_s.arg(message, raw).arg(error.systemError));
        }
    }
};

QTEST_APPLESS_MAIN(tst_ModelValues)
#include "tst_ModelValues.moc"
