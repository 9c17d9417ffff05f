#pragma once
// Qt's own texts (the buttons of message boxes, the file dialogs) in
// Russian, as the rest of the window.

class QCoreApplication;

// Loads Qt's Russian catalogue from Qt's translations folder (Debian's
// qt6-translations-l10n), or else from the folder translations beside the
// program (a Windows copy), into the application. False when it is in
// neither; Qt's texts then stay English.
bool InstallQtTranslation(QCoreApplication& app);
