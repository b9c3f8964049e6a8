#pragma once

#include <QByteArray>
#include <QString>

// What the product package says about the product.
struct ProductInfo
{
    QString name;
    QString vid;
    QString pid;
    QString productString;
    QString firmwareName;
    QString firmwareVersion;
    QByteArray firmwareMd5;
};
