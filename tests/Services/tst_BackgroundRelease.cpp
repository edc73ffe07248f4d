#include "Services/BackgroundRelease.h"

#include <QTest>
#include <QThread>

// A value let go in the background is freed on the pool's thread, once its last copy goes.
class tst_BackgroundRelease : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freedOnThePoolsThread();
};

void tst_BackgroundRelease::freedOnThePoolsThread()
{
    struct Recorder
    {
        std::shared_ptr<QThread *> freedOn;
        ~Recorder()
        {
            if (freedOn) {
                *freedOn = QThread::currentThread();
            }
        }
    };
    auto freedOn = std::make_shared<QThread *>(nullptr);
    auto value = std::make_shared<Recorder>(Recorder{freedOn});
    QThreadPool pool;
    releaseInBackground(pool, std::move(value));
    QVERIFY(!value);
    pool.waitForDone();
    QVERIFY(*freedOn != nullptr);
    QVERIFY(*freedOn != QThread::currentThread());
}

QTEST_GUILESS_MAIN(tst_BackgroundRelease)
#include "tst_BackgroundRelease.moc"
