#pragma once
// Which scene-graph back end the window's Qt Quick view renders with.
//
// Without a GPU, OpenGL is Mesa's software rasterizer: every frame of the view is drawn by
// eight rasterizer threads into an offscreen buffer and read back, about ten times the
// CPU of Qt Quick's own software renderer, which also repaints only the changed region.
//
// Thread: GUI thread, before the first Qt Quick window or widget exists.
#include <QByteArray>

// Chooses the software renderer when the OpenGL that this display offers is a software
// rasterizer or none at all; leaves the choice alone when QT_QUICK_BACKEND (or
// QSG_RHI_BACKEND) says what to use. Returns true when it chose the software renderer.
bool preferSoftwareQuickWithoutGpu();

// Whether an OpenGL renderer string names a software rasterizer ("llvmpipe (LLVM 15.0.6,
// 256 bits)", "softpipe", "Software Rasterizer", ...).
bool isSoftwareGlRenderer(const QByteArray &renderer);
