#include "scenegraphbackend.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSurfaceFormat>

// Some set-ups claim OpenGL and fail only when a context is created or made current; asking for
// one here is the only way to know before Qt Quick asks for its own and aborts.
static bool openGLWorks()
{
    // The buffers Qt Quick asks for with its own context.
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create())
        return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return false;
    context.doneCurrent();
    return true;
}

void fallBackToSoftwareRendering()
{
    // Chosen by the environment already: nothing to probe.
    const QString chosen
        = qEnvironmentVariable("QT_QUICK_BACKEND", qEnvironmentVariable("QMLSCENE_DEVICE"));
    if (chosen == QLatin1String("software") || chosen == QLatin1String("softwarecontext"))
        return;
    if (openGLWorks())
        return;
    qWarning() << "No OpenGL context can be created: the window is drawn by the software renderer.";
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}
