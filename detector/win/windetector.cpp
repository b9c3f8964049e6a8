#include "windetector.h"

#include "closeautoplaypopuptask.h"
#include "finddiskletter.h"
#include "windetectorhelper.h"

#include <QCoreApplication>
#include <QThreadPool>

WinDetector::WinDetector(Callback detectedCallback)
    : QObject(nullptr)
    , IDetector(std::move(detectedCallback))
{
}

// The helper is a child: the QObject destructor deletes it, which removes the filter.
WinDetector::~WinDetector() = default;

void WinDetector::start(const QString &vid, const QString &pid, const QString &productString)
{
    // Windows is matched on vid and pid alone.
    Q_UNUSED(productString);
    detectorHelper = new WinDetectorHelper(this);
    connect(
        detectorHelper, &WinDetectorHelper::diskAppeared, detectorHelper,
        [this, vid, pid](QChar letter) { onDiskAppeared(letter, vid, pid); }, Qt::DirectConnection);
    QCoreApplication::instance()->installNativeEventFilter(detectorHelper);
}

QString WinDetector::mountPath() const
{
    if (diskLetter.isNull())
        return QString();
    return QStringLiteral("%1:/").arg(diskLetter);
}

void WinDetector::onDiskAppeared(QChar letter, const QString &vid, const QString &pid)
{
    // Asked afresh on every arrival: the product's letter is only known once its volume exists.
    if (findDiskLetter(vid, pid) != letter)
        return;
    QThreadPool::globalInstance()->start(new CloseAutoPlayPopUpTask, 0);
    diskLetter = letter;
    if (detectedCallback)
        detectedCallback();
}
