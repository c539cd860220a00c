// Qt's own texts in Chinese, whatever the system's language: the file
// dialogs Qt draws, the context menus of text fields and spin boxes, the
// buttons of Qt's boxes. velora speaks Chinese only, so these must too.
#pragma once

#include <QStringList>

class QTranslator;

// The folders searched for qtbase_zh_CN.qm, in order: Qt's own translations
// folder (Debian's qttranslations5-l10n, or what qt.conf names), then
// "translations" beside the program, where the Windows package puts it.
QStringList qt_translation_folders();

// Loads qtbase_zh_CN.qm from the first of `folders` that holds it and installs
// it into the application, which owns it; none found installs nothing and
// gives null, and velora goes on with Qt's English texts.
QTranslator *install_qt_translation(const QStringList &folders = qt_translation_folders());
