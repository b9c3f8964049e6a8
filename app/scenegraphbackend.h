#pragma once

// Chooses Qt Quick's software renderer when no OpenGL context can be made current, so that the
// window comes up instead of aborting. Needs the QGuiApplication; must run before the first
// Qt Quick window exists.
void fallBackToSoftwareRendering();
