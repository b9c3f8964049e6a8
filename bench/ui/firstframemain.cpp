// The updater as shipped, printing "first-frame-ns N" (steady clock) when its window's first frame
// is on screen, then quitting: bench_startup's measuring point.
#include "startup.h"

#include <QGuiApplication>
#include <QQuickWindow>

#include <atomic>
#include <chrono>
#include <cstdio>

int main(int argc, char *argv[])
{
    prepareApplication();
    QGuiApplication app(argc, argv);
    if (!startUpdater())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
    if (!window)
        return 1;
    // Emitted on the render thread with the threaded loop, where the time is taken.
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &app,
        [] {
            static std::atomic_bool reported { false };
            if (reported.exchange(true))
                return;
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("first-frame-ns %lld\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    return app.exec();
}
