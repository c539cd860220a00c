#include "app/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

const QString qt_translation_file = QStringLiteral("qtbase_zh_CN.qm");

}  // namespace

QStringList qt_translation_folders()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString qt = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString qt = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    return {qt, QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
}

QTranslator *install_qt_translation(const QStringList &folders)
{
    for (const QString &folder : folders) {
        // The exact file only: QTranslator would otherwise fall back to shorter names.
        const QString file = QDir(folder).filePath(qt_translation_file);
        if (folder.isEmpty() || !QFileInfo(file).isFile())
            continue;
        auto *translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(file) && QCoreApplication::installTranslator(translator))
            return translator;
        delete translator;
    }
    return nullptr;
}
