#include "usbidmatch.h"

namespace {

QString withoutPrefix(const QString &value)
{
    return value.size() < 2 ? value : value.mid(2);
}

} // namespace

QString UsbIdMatch::filterText(const QString &vid, const QString &pid)
{
    return QStringLiteral("USB\\VID_%1&PID_%2").arg(withoutPrefix(vid), withoutPrefix(pid));
}

QString UsbIdMatch::deviceText(const QString &idVendor, const QString &idProduct)
{
    return QStringLiteral("USB\\VID_%1&PID_%2")
        .arg(idVendor.trimmed().toUpper(), idProduct.trimmed().toUpper());
}

bool UsbIdMatch::matches(
    const QString &vid, const QString &pid, const QString &idVendor, const QString &idProduct)
{
    return deviceText(idVendor, idProduct).contains(filterText(vid, pid), Qt::CaseInsensitive);
}
