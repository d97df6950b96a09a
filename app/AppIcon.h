#pragma once

#include <QPixmap>

// The application's icon drawn at `size` pixels: the three coloured planes in
// their box. The window uses it, and the build writes it out for the desktop.
QPixmap AppIconPixmap(int size);
