#pragma once
// Qt's own texts (the buttons of message boxes, the file dialogs) in
// Russian, as the rest of the window.

class QCoreApplication;

// Loads Qt's Russian catalogue from Qt's translations folder (Debian's
// qt6-translations-l10n) into the application. False when it is not there;
// Qt's texts then stay English.
bool InstallQtTranslation(QCoreApplication& app);
