// The cost of reading windowMinimumHeight with the sample package and its translation
// installed, as start-up leaves them. Every read registers the font file once more, so only a
// few reads are timed per process; run the program several times for more.
#include "core.h"
#include "externalresources.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const int reads = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTextStream out(stdout);

    bool ok = false;
    ProductResource *resource = initExternalResources(QStringLiteral(TARSEL_BIN_DIR), ok);
    auto *core = new Core();
    if (!ok || !core->initialize(resource)) {
        out << "cannot load the sample package from " << TARSEL_BIN_DIR << "\n";
        return 1;
    }
    for (int read = 0; read < reads; ++read) {
        QElapsedTimer timer;
        timer.start();
        const int height = core->windowMinimumHeight();
        out << "read " << read << ": " << QString::number(timer.nsecsElapsed() / 1000.0, 'f', 0)
            << " us (height " << height << ")\n";
    }
    return 0;
}
