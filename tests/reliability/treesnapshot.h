#pragma once

#include <QString>
#include <QStringList>

// Every entry under a folder as one line each: path, type, size, modification time to the
// nanosecond, link target and, with digests, a content digest. Two snapshots compare equal when
// nothing under the folder was created, removed, written or touched. Links are recorded, never
// followed; skip names one entry left out with all it holds.
QStringList treeSnapshot(const QString &root, const QString &skip = QString(), bool digests = true);
