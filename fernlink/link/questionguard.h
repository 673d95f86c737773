// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A flow's questions and the link's events that come while one is open. Behind a window a
// question box runs a nested event loop, which goes on delivering the link's bytes, ticks and
// closing; a flow that took them there would run a second step in the middle of the first.
// Everything a flow asks goes through this prompter, and every event of the link through
// run(): what comes while a box that a step opened is open waits until the question is
// answered and the step is over, then arrives in order. A box opened outside any step (a
// refusal to start a second operation) holds nothing back: the running one goes on.
#include "common/prompter.h"

#include <deque>
#include <functional>

namespace vantor::fernlink {

class GuardedPrompter : public Prompter {
public:
    explicit GuardedPrompter(Prompter& inner) : inner_(inner) {}

    Answer ask(const QString& text, Buttons buttons) override;
    void inform(Severity severity, const QString& text) override;
    std::optional<QString> askText(const QString& prompt, const QString& initial) override;
    Answer ask(const QString& text, Buttons buttons, const QString& caption) override;
    void inform(Severity severity, const QString& text, const QString& caption) override;
    std::optional<QString> askText(const QString& prompt, const QString& initial, const QString& caption) override;

    // A question is open.
    bool open() const { return open_ > 0; }
    // Runs one event (a step) now, or keeps it while a question of a step is open. The
    // outermost step runs what was kept once it is over.
    void run(std::function<void()> event);

private:
    struct Open;
    Prompter& inner_;
    int open_ = 0;
    int depth_ = 0;
    std::deque<std::function<void()>> held_;
};

}  // namespace vantor::fernlink
