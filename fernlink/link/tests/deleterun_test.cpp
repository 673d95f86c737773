// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/deleterun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantor::fernlink;

namespace {

// What a run reported, step by step: "del NAME", "msg TEXT", "stop", then its end.
struct Case {
    const char* what;
    std::vector<std::string> steps;
    bool completed;
    std::vector<std::string> lines;  // FILE|SIZE|ok-or-failed|REASON, in order
};

std::string brief(const TransferRecord& r)
{
    return (r.file + QLatin1Char('|') + QString::number(r.size) + QLatin1Char('|') + (r.ok ? QStringLiteral("ok") : QStringLiteral("failed"))
            + QLatin1Char('|') + r.reason)
        .toStdString();
}

}  // namespace

TEST(DeleteRun, OneLinePerFileDeletedAndOneForTheFileTheRunEndedOn)
{
    const std::vector<RemoteFileRow> rows = {
        {QStringLiteral("O1"), QStringLiteral("120"), QStringLiteral("USER"), {}, true},
        {QStringLiteral("O2"), QString(), QStringLiteral("USER"), {}, false},  // not selected
        {QStringLiteral("O3"), QStringLiteral("7"), QStringLiteral("SYS"), {}, true},
        {QStringLiteral("O4"), QStringLiteral("9"), QStringLiteral("SYS"), {}, true},
    };
    const Case cases[] = {
        {"all deleted", {"del O1", "del O3", "del O4"}, true, {"USER/O1|120|ok|", "SYS/O3|7|ok|", "SYS/O4|9|ok|"}},
        {"refused on the second", {"del O1", "msg no right for O3"}, false, {"USER/O1|120|ok|", "SYS/O3|7|failed|no right for O3"}},
        {"a message before a deletion is not the later end's reason",
         {"msg a question's text", "del O1", "stop"}, false, {"USER/O1|120|ok|", "SYS/O3|7|failed|stopped"}},
        // The serial flow ends at Stop at once: the file in hand was not confirmed.
        {"stopped in the middle of a file", {"stop"}, false, {"USER/O1|120|failed|stopped"}},
        // The Ethernet flow lets the file in hand finish and then stops.
        {"stopped between files", {"stop", "del O1"}, false, {"USER/O1|120|ok|"}},
        {"stopped, then the link was lost", {"del O1", "stop", "msg link lost"}, false,
         {"USER/O1|120|ok|", "SYS/O3|7|failed|link lost"}},
        {"time-out on the first", {"msg Time out"}, false, {"USER/O1|120|failed|Time out"}},
        {"the link went away without a word", {"del O1"}, false, {"USER/O1|120|ok|", "SYS/O3|7|failed|disconnect"}},
    };
    for (const Case& c : cases) {
        DeleteRun run;
        run.begin(rows, true);
        std::vector<std::string> lines;
        for (const std::string& step : c.steps) {
            const QString arg = QString::fromStdString(step.substr(step.find(' ') + 1));
            if (step.rfind("del ", 0) == 0) {
                const auto r = run.deleted(arg);
                ASSERT_TRUE(r) << c.what << ": " << step;
                EXPECT_TRUE(r->ethernet);
                EXPECT_EQ(r->direction, TransferRecord::Direction::Delete);
                lines.push_back(brief(*r));
            } else if (step.rfind("msg ", 0) == 0) {
                run.shown(arg);
            } else {
                run.stopRequested();
            }
        }
        if (const auto r = run.ended(c.completed, QStringLiteral("stopped"), QStringLiteral("disconnect")))
            lines.push_back(brief(*r));
        EXPECT_EQ(lines, c.lines) << c.what;
        EXPECT_FALSE(run.active());
    }
}

TEST(DeleteRun, ARunThatNeverStartedOrIsOverWritesNothing)
{
    DeleteRun run;
    EXPECT_FALSE(run.deleted(QStringLiteral("O1")));
    EXPECT_FALSE(run.ended(false, QStringLiteral("stopped"), QStringLiteral("disconnect")));
    run.begin({{QStringLiteral("O1"), QString(), QStringLiteral("user"), {}, true}}, false);
    EXPECT_TRUE(run.active());
    run.shown(QStringLiteral("Please Select item"));
    run.cancel();
    EXPECT_FALSE(run.ended(false, QStringLiteral("stopped"), QStringLiteral("disconnect")));
    // A name the run was not asked to delete is no line of it.
    run.begin({{QStringLiteral("O1"), QString(), QStringLiteral("user"), {}, true}}, false);
    EXPECT_FALSE(run.deleted(QStringLiteral("O9")));
    const auto r = run.deleted(QStringLiteral("O1"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->ethernet);
    EXPECT_EQ(r->size, -1);
    EXPECT_EQ(r->line().section(QLatin1Char('\t'), 1), QStringLiteral("serial\tdelete\tuser/O1\t-\t-\tok\t"));
    EXPECT_FALSE(run.ended(true, QStringLiteral("stopped"), QStringLiteral("disconnect")));
}
