#pragma once

#include <QFont>

// Tahoma 8 point (11 pixels) where it is installed, otherwise the nearest
// sans-serif font; every form and control uses it.
QFont FormFont();
