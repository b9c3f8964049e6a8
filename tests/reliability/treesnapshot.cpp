#include "treesnapshot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>

QStringList treeSnapshot(const QString &root, const QString &skip, bool digests)
{
    QStringList lines;
    const QDir base(root);
    // Walks by hand: QDirIterator's own recursion would descend into the skipped folder.
    for (QStringList pending { root }; !pending.isEmpty();) {
        QDirIterator entries(pending.takeFirst(),
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (entries.hasNext()) {
            const QString path = entries.next();
            if (!skip.isEmpty() && path == skip)
                continue;
            struct stat st;
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
                lines << base.relativeFilePath(path) + QStringLiteral(" vanished");
                continue;
            }
            QString what;
            if (S_ISLNK(st.st_mode)) {
                what = QStringLiteral("link to ") + QFile::symLinkTarget(path);
            } else if (S_ISDIR(st.st_mode)) {
                what = QStringLiteral("folder");
                pending << path;
            } else if (S_ISREG(st.st_mode) && !digests) {
                what = QStringLiteral("file");
            } else if (S_ISREG(st.st_mode)) {
                QFile file(path);
                QCryptographicHash hash(QCryptographicHash::Sha256);
                what = file.open(QIODevice::ReadOnly) && hash.addData(&file)
                    ? QStringLiteral("file ") + QString::fromLatin1(hash.result().toHex())
                    : QStringLiteral("unreadable file");
            } else {
                what = QStringLiteral("special %1").arg(st.st_mode & S_IFMT, 0, 8);
            }
            lines << QStringLiteral("%1 %2 size %3 mtime %4.%5")
                         .arg(base.relativeFilePath(path), what)
                         .arg(qint64(st.st_size))
                         .arg(qint64(st.st_mtim.tv_sec))
                         .arg(qint64(st.st_mtim.tv_nsec), 9, 10, QLatin1Char('0'));
        }
    }
    lines.sort();
    return lines;
}
