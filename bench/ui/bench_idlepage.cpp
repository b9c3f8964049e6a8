// The cost of the waiting page (Page 3, the search running, no product): the process's CPU time
// per second of wall time while the real window shows it, against the same page with the
// Controls 1 BusyIndicator it showed before, measured in turns in this one process.
// Arguments: rounds (default 5), seconds per measurement (default 3).
#include "pagenavigator.h"
#include "startup.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void run(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Percent of one core used while the event loop runs for that long.
double load(int milliseconds)
{
    QElapsedTimer wall;
    wall.start();
    const double start = cpuSeconds();
    run(milliseconds);
    return 100.0 * (cpuSeconds() - start) / (double(wall.nsecsElapsed()) / 1e9);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
} // namespace

int main(int argc, char *argv[])
{
    prepareApplication();
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int milliseconds = 1000 * (argc > 2 ? std::max(1, atoi(argv[2])) : 3);
    if (!startUpdater())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
    auto *navigator = window ? window->findChild<PageNavigator *>() : nullptr;
    if (!navigator) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    QByteArray renderer = "software";
    QObject::connect(
        window, &QQuickWindow::sceneGraphInitialized, window,
        [&renderer] {
            if (QOpenGLContext *context = QOpenGLContext::currentContext())
                renderer = reinterpret_cast<const char *>(
                    context->functions()->glGetString(GL_RENDERER));
        },
        Qt::DirectConnection);
    navigator->goTo(Page::Page3);
    run(2000); // slid in and settled
    auto *stack = window->findChild<QQuickItem *>(QStringLiteral("stackView"));
    auto *page = stack ? stack->property("currentItem").value<QQuickItem *>() : nullptr;
    auto *indicator = page ? page->findChild<QQuickItem *>("busyIndicator") : nullptr;
    if (!indicator || page->objectName() != QLatin1String("page3")) {
        std::fprintf(stderr, "Page 3's busy indicator not found\n");
        return 1;
    }
    QQmlComponent before(qmlEngine(indicator));
    before.setData("import QtQuick.Controls 1.1\nBusyIndicator { width: 24; height: 24 }", {});

    std::vector<double> now, then;
    for (int round = 0; round < rounds; ++round) {
        now.push_back(load(milliseconds));
        indicator->setVisible(false);
        auto *old = qobject_cast<QQuickItem *>(before.create());
        if (!old) {
            std::fprintf(stderr, "%s\n", qPrintable(before.errorString()));
            return 1;
        }
        old->setParentItem(indicator->parentItem());
        old->setPosition(indicator->position());
        then.push_back(load(milliseconds));
        delete old;
        indicator->setVisible(true);
    }
    std::printf("renderer: %s\n", renderer.constData());
    std::printf("waiting page, %% of a core (median of %d x %d s): now %.1f, before %.1f "
                "(Controls 1 BusyIndicator); now/before %.3f\n",
        rounds, milliseconds / 1000, median(now), median(then), median(now) / median(then));
    return 0;
}
