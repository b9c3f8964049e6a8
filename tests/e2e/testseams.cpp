#include "testseams.h"

#include "core.h"

#include <QGuiApplication>
#include <QQuickWindow>

#include <atomic>
#include <chrono>
#include <cstdio>

void applyTestSeamsToCore(Core &core)
{
    bool ok = false;
    const int timeout = qEnvironmentVariableIntValue("TARSEL_TEST_FIND_TIMEOUT_MS", &ok);
    if (ok && timeout > 0)
        core.setFindTimeoutForTesting(timeout);
}

void applyTestSeamsToWindow()
{
    if (!qEnvironmentVariableIsSet("TARSEL_TEST_FIRST_FRAME"))
        return;
    const bool quit = qEnvironmentVariable("TARSEL_TEST_FIRST_FRAME") == QLatin1String("quit");
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows) {
        auto *quickWindow = qobject_cast<QQuickWindow *>(window);
        if (!quickWindow)
            continue;
        // Emitted on the render thread with the threaded loop, where the time is taken.
        QObject::connect(
            quickWindow, &QQuickWindow::frameSwapped, qApp,
            [quit] {
                static std::atomic_bool reported { false };
                if (reported.exchange(true))
                    return;
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("first-frame-ns %lld\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                std::fflush(stdout);
                if (quit)
                    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            },
            Qt::DirectConnection);
        return;
    }
}
