#pragma once
// The title-bar buttons of a form, and only those. Qt's window flags say it
// on every platform; on X11 the window manager is also told the same through
// the Motif hints before the form is mapped, because for a title bar without
// any button Qt leaves the decorations to the window manager, which then
// draws minimise and maximise buttons that do nothing.

#include <QObject>

class QWidget;

struct TitleBarButtons {
    bool systemMenu = false;
    bool minimise = false;
    bool close = false;
    bool resizable = false; // a frame the user can drag
};

// The Motif window manager hints for the buttons: flags, functions,
// decorations (the first three of the five words of _MOTIF_WM_HINTS).
struct MotifHints {
    unsigned flags, functions, decorations;
};
MotifHints MotifHintsFor(const TitleBarButtons& buttons);

// Set up on a form (as its child) before it is first shown.
class TTitleBar : public QObject {
public:
    TTitleBar(QWidget& form, TitleBarButtons buttons);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& form_;
    TitleBarButtons buttons_;
};
