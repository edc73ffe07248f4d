// The preview window decoding real photos at window size, and the Linux desktop services around
// it: the folder dialog, focus of text fields, revealing without a file manager, reduce motion.

#include "Views/LinuxDesktopServices.h"
#include "Views/PreviewWindow.h"

#include "Samples/SamplePhotos.h"
#include "support/TestFolders.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

constexpr int kDecodeTimeout = 20000;
const QSize kBigPhoto(4000, 3000);

QSize deviceSize(const QWidget &widget, QSize logical)
{
    const QSizeF device = QSizeF(logical) * widget.devicePixelRatioF();
    return QSize(int(device.width()), int(device.height()));
}

bool fitsWithin(QSize size, QSize box)
{
    return size.width() <= box.width() && size.height() <= box.height();
}

// Aspect ratios equal up to the rounding of one pixel.
bool sameAspect(QSize a, QSize b)
{
    return std::abs(a.width() * b.height() - a.height() * b.width()) <=
           std::max(a.width(), a.height()) + std::max(b.width(), b.height());
}

bool isReddish(QColor c)
{
    return c.red() > 180 && c.green() < 90 && c.blue() < 90;
}

} // namespace

class tst_PreviewWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_bigPhoto;

    PreviewWindow::ItemSource fileSource(const QString &path)
    {
        return [url = QUrl::fromLocalFile(path)]() -> std::optional<QUrl> { return url; };
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_bigPhoto = m_dir.filePath(QStringLiteral("big.jpg"));
        QVERIFY(SamplePhotos::writeJpeg(
            m_bigPhoto, SamplePhotos::makeImage(kBigPhoto.width(), kBigPhoto.height(), 7)));
    }

    void showsFirstItemFittedToWindow()
    {
        PreviewWindow window(fileSource(m_bigPhoto));
        window.resize(640, 480);
        window.showAtFirstItem();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quick Look"));
        QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull(), kDecodeTimeout);

        const QSize decoded = window.image().size();
        const QSize box = deviceSize(window, window.photoRect().size());
        QVERIFY2(fitsWithin(decoded, deviceSize(window, window.size())), "larger than the window");
        QVERIFY(fitsWithin(decoded, box));
        QVERIFY(decoded.width() == box.width() || decoded.height() == box.height());
        QVERIFY(sameAspect(decoded, kBigPhoto));
        QCOMPARE(window.fileName(), QStringLiteral("big.jpg"));
        QVERIFY(window.message().isEmpty());

        // The photo is painted centred in its area.
        const QImage screen = window.grab().toImage();
        const QColor painted =
            screen.pixelColor(window.photoRect().center() * screen.devicePixelRatio());
        const QColor source = window.image().pixelColor(decoded.width() / 2, decoded.height() / 2);
        QVERIFY2(std::abs(painted.red() - source.red()) < 24 &&
                     std::abs(painted.green() - source.green()) < 24 &&
                     std::abs(painted.blue() - source.blue()) < 24,
                 qPrintable(painted.name() + QStringLiteral(" vs ") + source.name()));
    }

    void showsPhotosUpright_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("portrait");
        QTest::addColumn<Qt::Corner>("redCorner");
        QTest::newRow("1: as stored") << 1 << false << Qt::TopLeftCorner;
        QTest::newRow("3: upside down") << 3 << false << Qt::BottomRightCorner;
        QTest::newRow("6: turned right") << 6 << true << Qt::TopRightCorner;
        QTest::newRow("8: turned left") << 8 << true << Qt::BottomLeftCorner;
    }

    void showsPhotosUpright()
    {
        QFETCH(int, orientation);
        QFETCH(bool, portrait);
        QFETCH(Qt::Corner, redCorner);

        // Stored landscape, blue with a red top-left quarter, larger than the window.
        QImage stored(1600, 1200, QImage::Format_RGB32);
        stored.fill(Qt::blue);
        QPainter(&stored).fillRect(0, 0, 800, 600, Qt::red);
        const QString path =
            TestFolders::writeFile(m_dir.path(), QStringLiteral("turned-%1.jpg").arg(orientation),
                                   SamplePhotos::encodeJpeg(stored, orientation));

        PreviewWindow window(fileSource(path));
        window.resize(700, 600);
        window.showAtFirstItem();
        QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull(), kDecodeTimeout);

        const QImage &image = window.image();
        QCOMPARE(image.height() > image.width(), portrait);
        QVERIFY(sameAspect(image.size(), portrait ? QSize(1200, 1600) : QSize(1600, 1200)));
        QVERIFY(fitsWithin(image.size(), deviceSize(window, window.photoRect().size())));
        const int inset = 4;
        const QPoint corners[] = {{inset, inset},
                                  {image.width() - 1 - inset, inset},
                                  {inset, image.height() - 1 - inset},
                                  {image.width() - 1 - inset, image.height() - 1 - inset}};
        const Qt::Corner names[] = {Qt::TopLeftCorner, Qt::TopRightCorner, Qt::BottomLeftCorner,
                                    Qt::BottomRightCorner};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(isReddish(image.pixelColor(corners[i])), names[i] == redCorner);
        }
    }

    void reloadShowsTheNewFirstItem()
    {
        const QString landscape =
            TestFolders::writeJpeg(m_dir.path(), QStringLiteral("a.jpg"), {800, 600});
        const QString portrait =
            TestFolders::writePng(m_dir.path(), QStringLiteral("b.png"), {300, 500});
        std::optional<QUrl> first = QUrl::fromLocalFile(landscape);
        PreviewWindow window([&first] { return first; });
        window.showAtFirstItem();
        QTRY_COMPARE_WITH_TIMEOUT(window.fileName(), QStringLiteral("a.jpg"), kDecodeTimeout);
        QVERIFY(window.image().width() > window.image().height());

        first = QUrl::fromLocalFile(portrait);
        window.reload();
        QTRY_COMPARE_WITH_TIMEOUT(window.fileName(), QStringLiteral("b.png"), kDecodeTimeout);
        QCOMPARE(window.image().size(), QSize(300, 500)); // small photos are not enlarged

        first.reset();
        window.reload();
        QVERIFY(window.image().isNull());
        QVERIFY(window.fileName().isEmpty());
    }

    void newerRequestWins_data()
    {
        QTest::addColumn<QString>("second"); // empty: the store has no first item any more
        QTest::newRow("big photo, then a small one") << QStringLiteral("small.png");
        QTest::newRow("big photo, then nothing") << QString();
    }

    void newerRequestWins()
    {
        QFETCH(QString, second);
        if (!second.isEmpty()) {
            TestFolders::writePng(m_dir.path(), second, {40, 30});
        }
        std::optional<QUrl> first = QUrl::fromLocalFile(m_bigPhoto);
        PreviewWindow window([&first] { return first; });
        QStringList shown;
        connect(&window, &PreviewWindow::displayChanged, &window,
                [&] { shown.append(window.fileName()); });
        window.show();

        window.reload();
        first = second.isEmpty() ? std::nullopt
                                 : std::optional(QUrl::fromLocalFile(m_dir.filePath(second)));
        window.reload();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isDecoding(), kDecodeTimeout);

        QCOMPARE(shown, QStringList{second.isEmpty() ? QString() : second});
        QCOMPARE(window.fileName(), second.isEmpty() ? QString() : second);
        QCOMPARE(window.image().isNull(), second.isEmpty());
    }

    void unreadableFileShowsItsNameAndANote_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // null: the file does not exist

        // A small photo whose frame header claims width × height (big-endian 16-bit).
        const auto claiming = [](const char size[4]) {
            QByteArray jpeg = SamplePhotos::encodeJpeg(SamplePhotos::makeImage(64, 48, 1));
            const qsizetype frame = jpeg.indexOf("\xFF\xC0");
            return frame > 0 ? jpeg.replace(frame + 5, 4, size, 4) : QByteArray("no frame");
        };

        QTest::newRow("not an image") << QStringLiteral("notes.jpg") << QByteArray("hello");
        QTest::newRow("empty file") << QStringLiteral("empty.jpg") << QByteArray("");
        QTest::newRow("header beyond the format")
            << QStringLiteral("huge.jpg") << claiming("\xFF\xFF\xFF\xFF");
        QTest::newRow("60000 x 60000 header")
            << QStringLiteral("vast.jpg") << claiming("\xEA\x60\xEA\x60");
        QTest::newRow("missing file") << QStringLiteral("gone.jpg") << QByteArray();
    }

    void unreadableFileShowsItsNameAndANote()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString path = bytes.isNull() ? m_dir.filePath(name)
                                            : TestFolders::writeFile(m_dir.path(), name, bytes);
        PreviewWindow window(fileSource(path));
        QSignalSpy changed(&window, &PreviewWindow::displayChanged);
        window.showAtFirstItem();
        QVERIFY(changed.wait(kDecodeTimeout));
        QCOMPARE(window.fileName(), name);
        QVERIFY(window.image().isNull());
        QVERIFY(!window.message().isEmpty());
    }

    void growingWindowDecodesAgain()
    {
        PreviewWindow window(fileSource(m_bigPhoto));
        window.resize(400, 300);
        window.showAtFirstItem();
        QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull(), kDecodeTimeout);
        const int smallWidth = window.image().width();

        window.resize(1000, 760);
        QTRY_VERIFY_WITH_TIMEOUT(window.image().width() > smallWidth, kDecodeTimeout);
        QVERIFY(fitsWithin(window.image().size(), deviceSize(window, window.photoRect().size())));
        QVERIFY(window.image().size() != kBigPhoto);
    }

    void servicesDriveOnePreviewWindow()
    {
        const QString a = TestFolders::writeJpeg(m_dir.path(), QStringLiteral("one.jpg"), {80, 60});
        const QString b = TestFolders::writeJpeg(m_dir.path(), QStringLiteral("two.jpg"), {60, 80});
        QWidget mainWindow;
        mainWindow.show();
        std::optional<QUrl> first = QUrl::fromLocalFile(a);
        LinuxDesktopServices services(&mainWindow, [&first] { return first; });
        QVERIFY(!services.isPreviewVisible());
        services.reloadPreview(); // nothing to reload yet
        QVERIFY(!services.previewWindow());

        services.showPreview();
        PreviewWindow *preview = services.previewWindow();
        QVERIFY(preview && preview->isWindow());
        QVERIFY(services.isPreviewVisible());
        QTRY_COMPARE_WITH_TIMEOUT(preview->fileName(), QStringLiteral("one.jpg"), kDecodeTimeout);

        first = QUrl::fromLocalFile(b);
        services.reloadPreview();
        QTRY_COMPARE_WITH_TIMEOUT(preview->fileName(), QStringLiteral("two.jpg"), kDecodeTimeout);

        services.hidePreview();
        QVERIFY(!services.isPreviewVisible());
        first = QUrl::fromLocalFile(a);
        services.reloadPreview(); // hidden: no work
        QVERIFY(!preview->isDecoding());
        QVERIFY(preview->image().isNull());

        services.showPreview();
        QCOMPARE(services.previewWindow(), preview);
        QTRY_COMPARE_WITH_TIMEOUT(preview->fileName(), QStringLiteral("one.jpg"), kDecodeTimeout);
        QTest::keyClick(preview, Qt::Key_Escape);
        QVERIFY(!services.isPreviewVisible());
    }

    void chooseFolderReportsTheChoice_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }

    void chooseFolderReportsTheChoice()
    {
        QFETCH(bool, accept);
        const QString folder = TestFolders::makeFolder(m_dir.path(), QStringLiteral("Pick"));
        QWidget mainWindow;
        mainWindow.show();
        LinuxDesktopServices services(&mainWindow, {});
        QList<std::optional<QUrl>> answers;
        services.chooseFolder({QStringLiteral("Open Folder"), QStringLiteral("Pick a folder"),
                               QStringLiteral("Sort Here")},
                              [&answers](std::optional<QUrl> url) { answers.append(url); });
        QVERIFY(answers.isEmpty()); // does not block

        auto *dialog = mainWindow.findChild<QFileDialog *>();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Open Folder"));
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Sort Here"));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);

        if (accept) {
            dialog->setDirectory(m_dir.path());
            dialog->selectFile(folder);
            static_cast<QDialog *>(dialog)->accept(); // runs the file dialog's checks
        } else {
            dialog->reject();
        }
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers.first(),
                 accept ? std::optional(QUrl::fromLocalFile(folder)) : std::nullopt);
        QTRY_VERIFY(!mainWindow.findChild<QFileDialog *>());
    }

    void textInputHasFocus_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("typing");
        QTest::newRow("line edit") << QStringLiteral("line") << true;
        QTest::newRow("plain text edit") << QStringLiteral("plain") << true;
        QTest::newRow("spin box") << QStringLiteral("spin") << true;
        QTest::newRow("push button") << QStringLiteral("button") << false;
    }

    void textInputHasFocus()
    {
        QFETCH(QString, kind);
        QFETCH(bool, typing);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        QWidget *field = nullptr;
        if (kind == QStringLiteral("line")) {
            field = new QLineEdit;
        } else if (kind == QStringLiteral("plain")) {
            field = new QPlainTextEdit;
        } else if (kind == QStringLiteral("spin")) {
            field = new QSpinBox;
        } else {
            field = new QPushButton(QStringLiteral("OK"));
        }
        auto *other = new QPushButton(QStringLiteral("Other"));
        layout->addWidget(other);
        layout->addWidget(field);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        LinuxDesktopServices services(&window, {});
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        QVERIFY(!services.textInputHasFocus());

        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(services.textInputHasFocus(), typing);
    }

    void revealWithoutFileManagerOpensTheFolder()
    {
        const QString photo = TestFolders::writeJpeg(m_dir.path(), QStringLiteral("Cats/c.jpg"));
        LinuxDesktopServices services(nullptr, {});
        QList<QUrl> opened;
        services.setOpenUrl([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });

        services.openWithDefaultApplication(QUrl::fromLocalFile(photo));
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(photo)});

        opened.clear();
        services.revealInFileManager(QUrl::fromLocalFile(photo));
        QTRY_COMPARE(opened,
                     QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Cats")))});
    }

    void reduceMotionFollowsTheEnvironment()
    {
        LinuxDesktopServices services(nullptr, {});
        qunsetenv("CALVENOR_REDUCE_MOTION");
        QVERIFY(!services.prefersReducedMotion()); // no desktop bus in tests: animations stay on
        qputenv("CALVENOR_REDUCE_MOTION", "1");
        QVERIFY(services.prefersReducedMotion());
        qputenv("CALVENOR_REDUCE_MOTION", "0");
        QVERIFY(!services.prefersReducedMotion());
        qunsetenv("CALVENOR_REDUCE_MOTION");
    }
};

QTEST_MAIN(tst_PreviewWindow)
#include "tst_PreviewWindow.moc"
