#pragma once

// The preview window: one top-level window showing the first preview photo fitted to the window,
// with its file name. Photos are opened and decoded off the main thread through ImageFile, at
// the size the window needs on screen, never at full size; only the newest request is ever
// shown, and name and image change together.

#include <QImage>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class PreviewWindow : public QWidget
{
    Q_OBJECT
public:
    // Yields the photo to show (the store's preview item 0), or nothing.
    using ItemSource = std::function<std::optional<QUrl>()>;

    explicit PreviewWindow(ItemSource firstItem, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    void setSource(ItemSource firstItem) { m_source = std::move(firstItem); }
    // Shows, raises and activates the window, then shows the first item.
    void showAtFirstItem();
    // Reads the first item again and shows it.
    void reload();

    // What is on screen.
    const QImage &image() const { return m_image; }
    const QString &fileName() const { return m_fileName; }
    const QString &message() const { return m_message; } // empty while a photo is shown
    bool isDecoding() const { return m_pendingDecodes > 0; }
    // The area photos are fitted into, in window coordinates.
    QRect photoRect() const;
    // Where the shown picture is drawn, centred in photoRect(); empty when none is shown.
    QRect imageRect() const;

    // `source` scaled down to fit `box`, aspect kept; never scaled up, never empty.
    static QSize fittedSize(QSize source, QSize box);

Q_SIGNALS:
    // A decode result (or the empty state) has replaced what was shown.
    void displayChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Decoded
    {
        QImage image;      // null when the file could not be read
        QSize uprightSize; // the whole photo's size, of the picture's own shape
    };
    // The whole photo's size, given a picture decoded no larger than `bound` and the size its
    // header claims: the header's when the picture bears it out, the picture's own otherwise.
    static QSize wholeSize(QSize decoded, QSize header, int bound);
    static Decoded decode(const QString &path,
                          QSize box,
                          const std::shared_ptr<std::atomic<quint64>> &latest,
                          quint64 generation);

    QSize deviceBox() const;
    void request(const QUrl &url);
    void apply(const QUrl &url, QSize box, Decoded decoded);
    void showNothing();
    void decodeAgainIfGrown();

    ItemSource m_source;
    std::optional<QUrl> m_requestedUrl; // newest request; what is shown once it arrives
    QImage m_image;
    QSize m_uprightSize;
    QSize m_decodedBox; // the device box m_image was decoded for
    QString m_fileName;
    QString m_message;
    quint64 m_generation = 0;      // of the newest request
    quint64 m_shownGeneration = 0; // of what is on screen
    // Shared with running decodes so queued stale ones skip their work.
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
    int m_pendingDecodes = 0;
    QTimer m_resizeSettle;
    QThreadPool m_pool; // declared last: waits for running decodes before anything else goes
};
