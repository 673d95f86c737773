// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop programs answer the flows' questions with modal message boxes.
#include "common/prompter.h"

class QWidget;

namespace vantor {

class MessageBoxPrompter : public Prompter {
public:
    // caption: the window title every box carries (empty: the application name).
    explicit MessageBoxPrompter(QWidget* parent, QString caption = {});
    Answer ask(const QString& text, Buttons buttons) override;
    void inform(Severity severity, const QString& text) override;
    std::optional<QString> askText(const QString& prompt, const QString& initial) override;
    Answer ask(const QString& text, Buttons buttons, const QString& caption) override;
    void inform(Severity severity, const QString& text, const QString& caption) override;
    std::optional<QString> askText(const QString& prompt, const QString& initial, const QString& caption) override;
    // The caption of the boxes that bring none of their own (after a change of language).
    void setCaption(QString caption) { caption_ = std::move(caption); }

private:
    QWidget* parent_;
    QString defaultCaption() const;

    QString caption_;
};

}  // namespace vantor
