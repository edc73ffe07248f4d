#pragma once

// A read-only window onto part of a file, read as a device of its own: position 0 is the file's
// byte `offset`, and the device ends where the window ends, whatever follows in the file. A
// motion photo's clip lies in the photo's own file after the picture; a player reads it through
// this as if it were a file of its own. Opened as ImageSource opens a photo: a regular file,
// never through a link, never waiting on a FIFO; read through the descriptor, so a file swapped
// in under the same name afterwards is never read instead.

#include <QIODevice>
#include <QString>

class FileRangeDevice : public QIODevice
{
    Q_OBJECT
public:
    // A window of this length runs to the end of the file, however long it is.
    static constexpr qint64 toTheEnd = -1;

    FileRangeDevice(QString path, qint64 offset, qint64 length, QObject *parent = nullptr);
    ~FileRangeDevice() override;

    // Read-only, and only when the window holds at least one byte of a regular file; a window
    // reaching past the file's end is cut to it.
    bool open(OpenMode mode) override;
    void close() override;
    qint64 size() const override { return m_size; }
    bool isSequential() const override { return false; }
    // "/proc/self/fd/N": the opened file itself, for a player that reads a whole file by name.
    QString procPath() const;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QString m_path;
    qint64 m_offset = 0;
    qint64 m_length = 0;
    qint64 m_size = 0; // of the window, once open
    int m_fd = -1;
};
