// The updater as shipped plus two seams, for tests and benchmarks only:
// TARSEL_TEST_FIND_TIMEOUT_MS: the device search gives up after that many milliseconds instead of
// five minutes (a time-out no real fault can bring on sooner).
// TARSEL_TEST_FIRST_FRAME: prints "first-frame-ns N" (steady clock) at the window's first frame;
// with the value "quit" the process then quits.
#include "core.h"
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
    Core *core = startUpdater();
    if (!core)
        return 1;
    if (const int timeout = qEnvironmentVariableIntValue("TARSEL_TEST_FIND_TIMEOUT_MS");
        timeout > 0)
        core->setFindTimeoutForTesting(timeout);
    const QByteArray firstFrame = qgetenv("TARSEL_TEST_FIRST_FRAME");
    auto *window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
    if (window && !firstFrame.isNull()) {
        // Emitted on the render thread with the threaded loop, where the time is taken.
        QObject::connect(
            window, &QQuickWindow::frameSwapped, &app,
            [firstFrame] {
                static std::atomic_bool reported { false };
                if (reported.exchange(true))
                    return;
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("first-frame-ns %lld\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                std::fflush(stdout);
                if (firstFrame == "quit")
                    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            },
            Qt::DirectConnection);
    }
    return app.exec();
}
