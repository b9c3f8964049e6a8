#pragma once

#include "productinfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// Reads the product package registered under ":/tarsel_external". Main thread only.
class ProductResource : public QObject
{
    Q_OBJECT
public:
    explicit ProductResource(QObject *parent = nullptr);

    // True when firmware.bin, firmware.md5 and device.xml all exist; reading problems are
    // logged but do not make it false.
    bool load();

    QString deviceXmlPath() const;
    QString firmwarePath() const;
    QString firmwareMd5Path() const;

    QString name() const { return info.name; }
    QString vid() const { return info.vid; }
    QString pid() const { return info.pid; }
    QString productString() const { return info.productString; }
    QByteArray firmwareMd5() const { return info.firmwareMd5; }
    ProductInfo productInfo() const { return info; }

    // Canonical path of the translation for QLocale::system(), or of the top-level en_US.qm.
    QString translationFile() const;
    // The same choice for a given locale name; translationFile() passes the system's.
    static QString translationFileFor(const QString &localeName);

    static ProductInfo readDeviceXml(const QString &path);
    static QByteArray readFirmwareMd5(const QString &path);

    static QString packageRoot() { return QStringLiteral(":/tarsel_external"); }

private:
    static QString packagePath(const QString &fileName);

    ProductInfo info;
};
