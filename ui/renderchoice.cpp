#include "ui/renderchoice.h"

#include "core/logging.h"

#include <QByteArray>
#include <QDir>
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

namespace {
// Without a DRM render node there is no GPU to draw with: the answer needs no OpenGL
// context, whose software rasterizer alone would map tens of megabytes.
bool linuxWithoutGpu()
{
#ifdef Q_OS_LINUX
    return QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System).isEmpty();
#else
    return false;
#endif
}
}

bool preferSoftwareQuickWithoutGpu()
{
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND"))
        return false;
    if (linuxWithoutGpu()) {
        qCInfo(lcUi) << "no GPU render node - the view uses the software renderer";
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        return true;
    }
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
