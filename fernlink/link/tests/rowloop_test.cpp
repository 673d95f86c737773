// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/rowloop.h"

#include "common/testing/testfiles.h"
#include "serialcore/tests/fakelinkport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace vantor;
using namespace vantor::fernlink;
using vantor::testing::FakeLinkPort;

namespace {

// Runs something while a question is open, as the event loop under a message box would.
struct OneShotHook : ScriptedPrompter {
    std::function<void()> whileAsking;
    using ScriptedPrompter::ask;
    using ScriptedPrompter::inform;
    Answer ask(const QString& text, Buttons buttons) override
    {
        if (auto hook = std::exchange(whileAsking, {}))
            hook();
        return ScriptedPrompter::ask(text, buttons);
    }
    void inform(Severity severity, const QString& text) override
    {
        if (auto hook = std::exchange(whileAsking, {}))
            hook();
        ScriptedPrompter::inform(severity, text);
    }
};

struct Ends : EthernetObserver {
    int drops = 0;
    std::vector<bool> ends;
    void dropLink() override { ++drops; }
    void finished(bool completed) override { ends.push_back(completed); }
};

}  // namespace

TEST(GuardedPrompter, EventsDuringAStepsQuestionWaitForTheStepAndKeepTheirOrder)
{
    OneShotHook inner;
    GuardedPrompter guard(inner);
    std::vector<int> seen;
    guard.run([&] {
        inner.whileAsking = [&] {
            guard.run([&] { seen.push_back(1); });
            guard.run([&] { seen.push_back(2); });
        };
        guard.ask(QStringLiteral("?"), Buttons::YesNo);
        seen.push_back(0);  // the rest of the step that asked
    });
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));

    // A box shown outside any step (a refusal to start) holds nothing back.
    seen.clear();
    inner.whileAsking = [&] { guard.run([&] { seen.push_back(7); }); };
    guard.inform(Severity::Warning, QStringLiteral("busy"));
    EXPECT_EQ(seen, (std::vector<int>{7}));
}

TEST(Deadline, ExpiresOnItsOwnTicksOnlyAndCountsAgainAfterAnAnswer)
{
    FakeLinkPort port;
    Deadline d(12, 3);
    d.start(port);
    EXPECT_TRUE(port.timerRunning(12));
    EXPECT_FALSE(d.expired(12));
    EXPECT_FALSE(d.expired(11));
    EXPECT_FALSE(d.expired(12));
    d.restartCount();
    EXPECT_FALSE(d.expired(12));
    EXPECT_FALSE(d.expired(12));
    EXPECT_TRUE(d.expired(12));
    d.stop(port);
    EXPECT_FALSE(port.timerRunning(12));
}

// The link closes while the user answers the controller's refusal: the flow must not go on
// to the next row behind the link's back and leave its reply timer running on an idle page.
TEST(RowLoop, LinkLostWhileAQuestionIsOpenEndsTheFlowAfterTheAnswer)
{
    QTemporaryDir dir;
    FakeLinkPort port;
    ProgramState state{OperationState::OpIdle, LinkType::LinkEthernet, Language::English};
    OneShotHook prompter;
    Ends observer;
    EthernetFlowSet flows{port, state, prompter, observer};
    for (const char* name : {"O1.txt", "O2.txt"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        vantor::testing::writeFile(path, "x");
        flows.send.rows.push_back(makeSendRow(path, QString::fromLatin1(name), 1, TargetArea::User, QStringLiteral("unsend")));
    }
    ASSERT_TRUE(flows.send.start());
    flows.onBytes("scdok");
    prompter.whileAsking = [&] { flows.linkLost(); };
    prompter.answers = {Answer::No};  // the refused row is skipped and the next one begins
    flows.onBytes(QByteArray(1, net::kDle));
    EXPECT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(observer.ends, std::vector<bool>{false});
    EXPECT_EQ(observer.drops, 1);
    EXPECT_EQ(state.operation, OperationState::OpIdle);
    EXPECT_TRUE(port.timers.empty());
}
