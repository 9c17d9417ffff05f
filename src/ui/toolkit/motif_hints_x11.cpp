#include "motif_hints_writer.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

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
