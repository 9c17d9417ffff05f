#pragma once
// Modal windows stay transient for the window they serve, so that no window
// manager can minimise or lose one of them alone behind its owner, whose
// input it blocks (the owner would look hung).

class QWidget;

// Makes the top-level `dialog` transient for `owner`'s window, without
// giving it a parent (its lifetime stays its own).
void KeepTransientFor(QWidget& dialog, QWidget& owner);

// The window a new message box belongs to: the modal window on top, else
// the active window, else the application's visible main window; nullptr
// when there is none.
QWidget* MessageOwner();
