#pragma once
// A fixed-size dialog narrower than its caption has the caption cut by the
// window manager ("Изменен… егистра"). Such a dialog is widened until the
// caption fits beside the title bar's icon and buttons, its controls kept
// in the middle.

class QWidget;

// The width the dialog's caption needs in its title bar.
int CaptionRoomWidth(const QWidget& dialog);
// Widens the fixed-size `dialog` to CaptionRoomWidth when it is narrower.
void GiveCaptionRoom(QWidget& dialog);
