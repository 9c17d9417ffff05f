#include "caption_room.h"

#include <QFontMetrics>
#include <QWidget>

namespace {

// The window icon, the close button and the margins of common title bars.
constexpr int kTitleBarAllowance = 110;

} // namespace

int CaptionRoomWidth(const QWidget& dialog)
{
    // Title bars mostly draw the caption in bold.
    QFont font = dialog.font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) + kTitleBarAllowance;
}

void GiveCaptionRoom(QWidget& dialog)
{
    const int needed = CaptionRoomWidth(dialog);
    const int width = dialog.width();
    if (width >= needed || dialog.minimumWidth() != dialog.maximumWidth())
        return;
    const int shift = (needed - width) / 2;
    for (QObject* child : dialog.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow())
            widget->move(widget->x() + shift, widget->y());
    }
    dialog.setFixedSize(needed, dialog.height());
}
