// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/messageboxprompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace vantor {

MessageBoxPrompter::MessageBoxPrompter(QWidget* parent, QString caption)
    : parent_(parent), caption_(std::move(caption))
{
}

QString MessageBoxPrompter::defaultCaption() const
{
    return caption_.isEmpty() ? QApplication::applicationDisplayName() : caption_;
}

Answer MessageBoxPrompter::ask(const QString& text, Buttons buttons)
{
    return ask(text, buttons, defaultCaption());
}

void MessageBoxPrompter::inform(Severity severity, const QString& text)
{
    inform(severity, text, defaultCaption());
}

Answer MessageBoxPrompter::ask(const QString& text, Buttons buttons, const QString& caption)
{
    QMessageBox::StandardButtons set;
    switch (buttons) {
    case Buttons::Ok: set = QMessageBox::Ok; break;
    case Buttons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case Buttons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    const QString& title = caption;
    const auto pressed = QMessageBox::question(parent_, title, text, set);
    switch (pressed) {
    case QMessageBox::Ok:
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

void MessageBoxPrompter::inform(Severity severity, const QString& text, const QString& caption)
{
    const QString& title = caption;
    switch (severity) {
    case Severity::Information: QMessageBox::information(parent_, title, text); break;
    case Severity::Warning: QMessageBox::warning(parent_, title, text); break;
    case Severity::Error: QMessageBox::critical(parent_, title, text); break;
    }
}

std::optional<QString> MessageBoxPrompter::askText(const QString& prompt, const QString& initial)
{
    return askText(prompt, initial, defaultCaption());
}

std::optional<QString> MessageBoxPrompter::askText(const QString& prompt, const QString& initial, const QString& caption)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace vantor
