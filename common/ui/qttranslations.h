// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's own texts (file dialogs, the Yes/No/OK/Cancel buttons of message boxes) in the
// program's language, so a Chinese question that refers to [是] and [否] shows those buttons.
class QTranslator;

namespace vantor {

class QtTranslations {
public:
    QtTranslations();
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Chinese installs Qt's zh_CN catalogue into the application, English removes it.
    // Returns false when Chinese was asked for and the catalogue is not installed (the
    // buttons then stay English; nothing else changes).
    bool setChinese(bool chinese);
    bool chinese() const { return installed_; }

private:
    QTranslator* translator_;
    bool installed_ = false;
};

}  // namespace vantor
