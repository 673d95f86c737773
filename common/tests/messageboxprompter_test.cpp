// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/messageboxprompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Reads the title of the box the prompter opens, then closes it with the given answer.
QString titleOfTheBox(const std::function<void()>& open, bool accept)
{
    QString title;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        if (auto* input = qobject_cast<QInputDialog*>(box)) {
            input->setTextValue(QStringLiteral("N120"));
            accept ? input->accept() : input->reject();
        } else if (auto* message = qobject_cast<QMessageBox*>(box)) {
            QAbstractButton* button = message->button(accept ? QMessageBox::Yes : QMessageBox::No);
            (button ? button : message->button(QMessageBox::Ok))->click();
        }
    });
    poll.start();
    open();
    return title;
}

}  // namespace

// Every kind of box shows the caption it was given; one given none shows the prompter's own.
TEST(MessageBoxPrompter, EveryBoxCarriesItsCaption)
{
    QWidget parent;
    vantor::MessageBoxPrompter prompter(&parent, QStringLiteral("Tip"));
    std::optional<QString> text;
    EXPECT_EQ(titleOfTheBox([&] { text = prompter.askText(QStringLiteral("Start line"), QStringLiteral("1"), QStringLiteral("DNC")); }, true),
              QStringLiteral("DNC"));
    EXPECT_EQ(text, QStringLiteral("N120"));
    EXPECT_EQ(titleOfTheBox([&] { text = prompter.askText(QStringLiteral("Name"), QStringLiteral("a"), QStringLiteral("Send")); }, false),
              QStringLiteral("Send"));
    EXPECT_FALSE(text.has_value());
    EXPECT_EQ(titleOfTheBox([&] { text = prompter.askText(QStringLiteral("Line"), QStringLiteral("1")); }, true), QStringLiteral("Tip"));

    vantor::Answer answer = vantor::Answer::Cancel;
    EXPECT_EQ(titleOfTheBox([&] { answer = prompter.ask(QStringLiteral("Sure?"), vantor::Buttons::YesNo, QStringLiteral("Delete file")); }, true),
              QStringLiteral("Delete file"));
    EXPECT_EQ(answer, vantor::Answer::Yes);
    EXPECT_EQ(titleOfTheBox([&] { prompter.inform(vantor::Severity::Warning, QStringLiteral("No")); }, true), QStringLiteral("Tip"));
}

// The scripted prompter keeps the caption of every text prompt beside its question.
TEST(ScriptedPrompter, TextPromptsKeepTheirCaptions)
{
    vantor::ScriptedPrompter scripted;
    scripted.texts = {QStringLiteral("5"), std::nullopt};
    vantor::Prompter& prompter = scripted;
    EXPECT_EQ(prompter.askText(QStringLiteral("Start line"), QStringLiteral("1"), QStringLiteral("DNC")), QStringLiteral("5"));
    EXPECT_FALSE(prompter.askText(QStringLiteral("Name"), QStringLiteral("x")).has_value());
    EXPECT_EQ(scripted.asked, (std::vector<QString>{QStringLiteral("Start line"), QStringLiteral("Name")}));
    EXPECT_EQ(scripted.textCaptions, (std::vector<QString>{QStringLiteral("DNC"), QString()}));
    EXPECT_TRUE(scripted.captions.empty());
}
