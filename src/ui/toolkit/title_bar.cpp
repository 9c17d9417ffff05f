#include "title_bar.h"

#include "motif_hints_writer.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

namespace {

// Bits of the Motif hints.
constexpr unsigned kHintsFunctions = 1, kHintsDecorations = 2;
constexpr unsigned kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncClose = 32;
constexpr unsigned kDecorBorder = 2, kDecorResizeH = 4, kDecorTitle = 8, kDecorMenu = 16, kDecorMinimize = 32;

} // namespace

MotifHints MotifHintsFor(const TitleBarButtons& b)
{
    MotifHints h{kHintsFunctions | kHintsDecorations, kFuncMove, kDecorBorder | kDecorTitle};
    if (b.systemMenu)
        h.decorations |= kDecorMenu;
    if (b.minimise) {
        h.functions |= kFuncMinimize;
        h.decorations |= kDecorMinimize;
    }
    if (b.close)
        h.functions |= kFuncClose;
    if (b.resizable) {
        h.functions |= kFuncResize;
        h.decorations |= kDecorResizeH;
    }
    return h;
}

TTitleBar::TTitleBar(QWidget& form, TitleBarButtons buttons) : QObject(&form), form_(form), buttons_(buttons)
{
    Qt::WindowFlags flags = form.windowType() | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (buttons.systemMenu)
        flags |= Qt::WindowSystemMenuHint;
    if (buttons.minimise)
        flags |= Qt::WindowMinimizeButtonHint;
    if (buttons.close)
        flags |= Qt::WindowCloseButtonHint;
    form.setWindowFlags(flags);
    form.installEventFilter(this);
}

bool TTitleBar::eventFilter(QObject* watched, QEvent* event)
{
    // The native window exists by now and is mapped right after this event.
    if (watched == &form_ && event->type() == QEvent::Show)
        WriteMotifHints(form_, MotifHintsFor(buttons_));
    return false;
}
