#include "ui/renderchoice.h"

#include "core/logging.h"

#include <QByteArray>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>

bool isSoftwareGlRenderer(const QByteArray &renderer)
{
    const QByteArray r = renderer.toLower();
    for (const char *name : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "microsoft basic render"}) {
        if (r.contains(name))
            return true;
    }
    return false;
}

bool preferSoftwareQuickWithoutGpu()
{
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND"))
        return false;
    QByteArray renderer;
    {
        QOpenGLContext context;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        if (context.create() && surface.isValid() && context.makeCurrent(&surface)) {
            renderer = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
            context.doneCurrent();
        }
    }
    const bool software = renderer.isEmpty() || isSoftwareGlRenderer(renderer);
    qCInfo(lcUi) << "OpenGL renderer" << (renderer.isEmpty() ? QByteArray("none") : renderer)
                 << (software ? "- the view uses the software renderer" : "- the view uses OpenGL");
    if (software)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return software;
}
