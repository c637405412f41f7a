// Qt's own texts in Japanese: the system's reasons that Qt reports for socket errors and
// the captions of its standard buttons and dialogs, from the qtbase catalogue of the
// Debian package qt6-translations-l10n. Every program installs it first thing, whatever
// the locale of the session, so that no English text of Qt's reaches a player.
#pragma once

class QCoreApplication;

// Installs the catalogue on `app` for the rest of its life. Returns false when the
// catalogue is not on this machine; Qt's texts then stay in English.
bool installQtTranslations(QCoreApplication &app);
