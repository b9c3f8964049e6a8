// Writes the sample package's firmware.bin (1 MiB, deterministic, tagged Ver:3-1.0.0.2) into the
// folder given as the only argument; tarsel-package writes its checksum.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: tarsel-samplefirmware OUTDIR\n";
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << args.at(1) << "\n";
        return 1;
    }

    constexpr int size = 1024 * 1024;
    QByteArray image(size, '\0');
    // A small linear congruential generator keeps the bytes the same on every build.
    quint32 state = 0x7a5e1u;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = char(state >> 24);
    }
    // The random bytes must not hold a marker of their own before the real tag.
    image.replace("Ver:", "ver:");
    const QByteArray tag = QByteArrayLiteral("Ver:3-1.0.0.2\x0a\x0d");
    image.replace(4096, tag.size(), tag);

    QFile firmware(out.filePath(QStringLiteral("firmware.bin")));
    if (!firmware.open(QIODevice::WriteOnly) || firmware.write(image) != size) {
        QTextStream(stderr) << "cannot write into " << args.at(1) << "\n";
        return 1;
    }
    return 0;
}
