#pragma once

#include <QPixmap>

// The application's icon drawn at `size` pixels: the three coloured planes in
// their box. The window uses it, and the build writes it out for the desktop.
QPixmap AppIconPixmap(int size);

// Names the application and gives it its icon, once at start-up, before any
// window: every window and dialog without an icon of its own (the About box
// shows the application's) then carries it.
void SetUpApplication();
