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

private:
    QWidget* parent_;
    QString caption_;
};

}  // namespace vantor
