#pragma once

class QCoreApplication;

// Makes Qt's own texts German (file dialogs, standard buttons, message boxes), whatever the
// process locale is. Returns false when Qt's German translations are not installed (Debian
// package qt6-translations-l10n); Qt's texts then stay English.
bool installGermanTranslations(QCoreApplication& application);
