#include "App/FontWarmup.h"

#include <QFile>
#include <QTest>

class tst_FontWarmup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What is read ahead are font files: a wrong fontconfig field would name a family rather
    // than a file, and nothing would be read.
    void namesTheInterfacesFontFiles()
    {
        const QStringList files = FontWarmup::interfaceFontFiles();
        QVERIFY2(!files.isEmpty(), "fontconfig named no font file");
        for (const QString &path : files) {
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            const QByteArray magic = file.read(4);
            // TrueType, OpenType with CFF, a TrueType collection, WOFF, WOFF2, Type 1.
            const bool font = magic == QByteArray("\x00\x01\x00\x00", 4) || magic == "OTTO" ||
                              magic == "true" || magic == "ttcf" || magic == "wOFF" ||
                              magic == "wOF2" || magic.startsWith("%!") ||
                              magic.startsWith("\x80\x01");
            QVERIFY2(font, qPrintable(path + QStringLiteral(" starts with ") +
                                      QString::fromLatin1(magic.toHex())));
        }
        std::jthread reading = FontWarmup::start();
        QVERIFY(reading.joinable());
    }
};

QTEST_GUILESS_MAIN(tst_FontWarmup)
#include "tst_FontWarmup.moc"
