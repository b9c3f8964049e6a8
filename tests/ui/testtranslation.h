#pragma once

#include <QByteArray>
#include <QColor>
#include <QMap>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QTranslator>

// An id-based catalogue (id -> text) compiled with lrelease and installed for the object's life.
class TestTranslation
{
public:
    explicit TestTranslation(const QMap<QString, QString> &texts);
    ~TestTranslation();

    bool isInstalled() const { return installed; }

private:
    QTemporaryDir dir;
    QTranslator translator;
    bool installed = false;
};

// An opaque PNG of one colour, for page images in test packages.
QByteArray testPng(const QSize &size, const QColor &colour = Qt::red);
