#pragma once

#include <QByteArray>
#include <QMap>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QTranslator>

// A product package built for one test: files written into a temporary folder, compiled with
// rcc and registered under ":/tarsel_external" as start-up does; unregistered on destruction.
class TestPackage
{
public:
    TestPackage();
    ~TestPackage();

    // An opaque PNG of the given size and colour at the top of the package.
    void addImage(const QString &name, const QSize &size, Qt::GlobalColor colour = Qt::red);
    void addFile(const QString &name, const QByteArray &contents);
    bool registerPackage();

    QString errorString() const { return error; }

private:
    QTemporaryDir dir;
    QStringList files;
    QString rccPath;
    QString error;
};

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
