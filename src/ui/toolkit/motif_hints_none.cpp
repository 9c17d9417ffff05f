#include "motif_hints_writer.h"

// A window system without Motif hints: Qt's window flags say it all.
void WriteMotifHints(const QWidget&, const MotifHints&) {}
