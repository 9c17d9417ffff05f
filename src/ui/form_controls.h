#pragma once
// Small helpers that the windows share for making their controls.

#include <QRect>
#include <QString>

class QPushButton;
class QWidget;

// A button with an object name (the control's role), a text and a place.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);
