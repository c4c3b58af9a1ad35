#pragma once

#include <QIcon>

/**
 * The program's icon, in the sizes drawn for it. Each size is read from the
 * resources only when a platform asks for it: the offscreen and Wayland
 * platforms never do, X11 does when the window is created.
 */
QIcon applicationIcon();
