#pragma once

#include <QString>

// A compiled package file registered under a resource root for as long as this object lives.
class RegisteredPackage
{
public:
    RegisteredPackage(const QString &file, const QString &root);
    ~RegisteredPackage();
    RegisteredPackage(const RegisteredPackage &) = delete;
    RegisteredPackage &operator=(const RegisteredPackage &) = delete;

    // False when the file is not a compiled resource file (or is already registered there).
    bool isRegistered() const { return registered; }
    QString root() const { return mountRoot; }

private:
    QString file;
    QString mountRoot;
    bool registered = false;
};
