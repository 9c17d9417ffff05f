#include "title_bar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#ifdef VOK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#if QT_CONFIG(xcb)
#define VOK_X11_HINTS 1
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#endif
#endif

namespace {

// Bits of the Motif hints.
constexpr unsigned kHintsFunctions = 1, kHintsDecorations = 2;
constexpr unsigned kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncClose = 32;
constexpr unsigned kDecorBorder = 2, kDecorResizeH = 4, kDecorTitle = 8, kDecorMenu = 16, kDecorMinimize = 32;

#ifdef VOK_X11_HINTS
void WriteMotifHints(const QWidget& form, const MotifHints& hints)
{
    // Only the xcb platform has the windows on the connection (the offscreen
    // one may answer the interface all the same).
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !form.internalWinId())
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    static const char kName[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(kName), kName), nullptr);
    if (!atom)
        return;
    const std::uint32_t words[5] = {hints.flags, hints.functions, hints.decorations, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(form.internalWinId()), atom->atom,
                        atom->atom, 32, 5, words);
    xcb_flush(c);
    std::free(atom);
}
#else
void WriteMotifHints(const QWidget&, const MotifHints&) {}
#endif

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
