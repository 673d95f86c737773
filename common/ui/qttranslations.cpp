// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vantor {

QtTranslations::QtTranslations() : translator_(new QTranslator) {}

QtTranslations::~QtTranslations()
{
    if (installed_ && QCoreApplication::instance())
        QCoreApplication::removeTranslator(translator_);
    delete translator_;
}

bool QtTranslations::setChinese(bool chinese)
{
    if (chinese == installed_)
        return true;
    if (!chinese) {
        QCoreApplication::removeTranslator(translator_);
        installed_ = false;
        return true;
    }
    // qtbase_zh_CN.qm pulls in nothing else we need; the dialogs and buttons live in qtbase.
    if (!translator_->load(QStringLiteral("qtbase_zh_CN"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    installed_ = QCoreApplication::installTranslator(translator_);
    return installed_;
}

}  // namespace vantor
