#pragma once
// Writes a form's Motif window manager hints where the window system has
// them (X11, through xcb); CMake picks the file: motif_hints_x11.cpp where
// xcb is there, motif_hints_none.cpp elsewhere.

#include "title_bar.h"

class QWidget;

void WriteMotifHints(const QWidget& form, const MotifHints& hints);
