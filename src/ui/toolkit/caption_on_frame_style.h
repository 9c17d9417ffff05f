#pragma once
// A group box drawn as the window's layout expects: the caption stands on
// the frame line, not above it, so that the frame begins at the middle of
// the caption and the controls placed near the top lie inside it. Every
// other control is drawn by the base style.

#include <QProxyStyle>

class QGroupBox;

class TCaptionOnFrameStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;
};

// Gives the box (and its controls) that style, owned by the box.
void DrawCaptionOnFrame(QGroupBox& box);
