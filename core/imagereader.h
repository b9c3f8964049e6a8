#pragma once

#include <QFile>
#include <QString>

// Reads a firmware image front to back in bounded memory: a file, or a file of the registered
// package. An uncompressed one of the package is read straight from the package's mapping, and
// the pages already read are handed back behind the reader where the system allows it: every
// page read would otherwise stay resident, 256 MiB for a 256 MiB image.
class ImageReader
{
public:
    explicit ImageReader(const QString &path);
    ~ImageReader();

    // Refuses what is no regular file (see openRegularFile); false with errorString() set.
    bool open();
    qint64 size() const { return length; }
    // As QIODevice::read: up to maxSize bytes, 0 at the end, -1 on failure.
    qint64 read(char *data, qint64 maxSize);
    QString errorString() const { return error; }

private:
    Q_DISABLE_COPY(ImageReader)
    void releaseBehind(bool all);

    QFile file;
    const uchar *mapped = nullptr;
    qint64 length = 0;
    qint64 offset = 0;
    qint64 released = 0;
    bool releasable = false;
    QString error;
};
