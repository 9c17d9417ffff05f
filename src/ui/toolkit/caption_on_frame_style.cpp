#include "caption_on_frame_style.h"

#include <QApplication>
#include <QGroupBox>
#include <QPainter>
#include <QStyleOptionGroupBox>

namespace {

constexpr int kCaptionIndent = 8;  // from the frame's left end to the caption
constexpr int kCaptionPadding = 2; // gap in the frame line on either side

} // namespace

QRect TCaptionOnFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                           SubControl sub, const QWidget* widget) const
{
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box || box->text.isEmpty())
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const QRect r = box->rect;
    const int captionHeight = box->fontMetrics.height();
    switch (sub) {
    case SC_GroupBoxFrame:
        return r.adjusted(0, captionHeight / 2, 0, 0);
    case SC_GroupBoxLabel:
        return QRect(r.left() + kCaptionIndent, r.top(),
                     box->fontMetrics.horizontalAdvance(box->text) + 2 * kCaptionPadding, captionHeight);
    case SC_GroupBoxContents:
        return r.adjusted(2, captionHeight, -2, -2);
    default:
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
}

void TCaptionOnFrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                              QPainter* painter, const QWidget* widget) const
{
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box || box->text.isEmpty()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
    const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget);
    painter->save();
    // A thin rounded frame in the base style's own frame colour; its line
    // stops on either side of the caption. (Base styles draw their frame
    // primitive below a caption of their own placing.)
    painter->setClipRegion(QRegion(box->rect).subtracted(label));
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(box->palette.color(QPalette::Mid).lighter(110));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter->restore();
    drawItemText(painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, box->palette,
                 box->state & State_Enabled, box->text, QPalette::WindowText);
}

void DrawCaptionOnFrame(QGroupBox& box)
{
    auto* style = new TCaptionOnFrameStyle(QApplication::style()->name());
    style->setParent(&box);
    box.setStyle(style);
}
