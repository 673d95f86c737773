// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every question and message box of a flow goes through this interface, so the same flow
// runs behind a window (message boxes), the command-line tools (flags) and tests (a script).
#include <QString>

#include <deque>
#include <optional>
#include <vector>

namespace vantor {

enum class Answer { Yes, No, Cancel };
enum class Buttons { Ok, YesNo, YesNoCancel, OkCancel };
enum class Severity { Information, Warning, Error };

class Prompter {
public:
    virtual ~Prompter() = default;
    // A question with the given buttons; Ok and Yes both come back as Answer::Yes.
    virtual Answer ask(const QString& text, Buttons buttons) = 0;
    // A message with only an OK button.
    virtual void inform(Severity severity, const QString& text) = 0;
    // A line of text (a new name, a partition); nullopt when the user cancels.
    virtual std::optional<QString> askText(const QString& prompt, const QString& initial) = 0;

    // The same with the box's own caption ("删除文件", "Error", ...). A prompter that shows
    // no captions answers them as the forms above.
    virtual Answer ask(const QString& text, Buttons buttons, const QString& caption)
    {
        (void)caption;
        return ask(text, buttons);
    }
    virtual void inform(Severity severity, const QString& text, const QString& caption)
    {
        (void)caption;
        inform(severity, text);
    }
    virtual std::optional<QString> askText(const QString& prompt, const QString& initial, const QString& caption)
    {
        (void)caption;
        return askText(prompt, initial);
    }
};

// For tests and headless runs: answers from a script, records everything it was shown.
class ScriptedPrompter : public Prompter {
public:
    std::deque<Answer> answers;             // taken in order; when empty, defaultAnswer
    std::deque<std::optional<QString>> texts;
    Answer defaultAnswer = Answer::No;
    std::vector<QString> asked;             // question texts, in order
    std::vector<QString> shown;             // inform() texts, in order
    std::vector<QString> captions;          // the caption of every ask() and inform(), in order ("" when none)
    std::vector<QString> textCaptions;      // the caption of every askText(), in order ("" when none)

    using Prompter::ask;
    using Prompter::askText;
    using Prompter::inform;
    Answer ask(const QString& text, Buttons buttons, const QString& caption) override
    {
        Answer a = ask(text, buttons);
        captions.back() = caption;
        return a;
    }
    void inform(Severity severity, const QString& text, const QString& caption) override
    {
        inform(severity, text);
        captions.back() = caption;
    }
    std::optional<QString> askText(const QString& prompt, const QString& initial, const QString& caption) override
    {
        std::optional<QString> text = askText(prompt, initial);
        textCaptions.back() = caption;
        return text;
    }

    Answer ask(const QString& text, Buttons) override
    {
        asked.push_back(text);
        captions.emplace_back();
        if (answers.empty())
            return defaultAnswer;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void inform(Severity, const QString& text) override
    {
        shown.push_back(text);
        captions.emplace_back();
    }
    std::optional<QString> askText(const QString& prompt, const QString&) override
    {
        asked.push_back(prompt);
        textCaptions.emplace_back();
        if (texts.empty())
            return std::nullopt;
        const bool given = texts.front().has_value();
        const QString text = given ? *texts.front() : QString();
        texts.pop_front();
        if (!given)
            return std::nullopt;
        return text;
    }
};

}  // namespace vantor
