// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every transfer flow shares, whichever link it runs on: the refusal of a start while
// another operation runs or the wrong link is up, the operation state it owns while it runs,
// and the dispatch of a link's bytes, ticks and Stop to the flow that owns the state.
#include "common/prompter.h"
#include "fernlink/link/questionguard.h"
#include "fernlink/app/messages.h"
#include "fernlink/app/programstate.h"
#include "fernlink/link/transferlog.h"
#include "fernlink/link/transferrows.h"
#include "serialcore/linkport.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

namespace vantor::fernlink {

class TransferStatistics;

enum class LogEntry { Deleted, Receiving, Sent, DncStarted, Failed, BatchEnded };

class FlowObserver {
public:
    virtual ~FlowObserver() = default;
    virtual void rowChanged(int /*row*/) {}
    virtual void rowRemoved(int /*row*/) {}
    virtual void listChanged() {}
    virtual void currentFile(const QString& /*path*/) {}
    virtual void progress(const TransferStatistics&) {}
    virtual void log(LogEntry, const QString& /*text*/) {}
    virtual void finished(bool /*completed*/) {}
    // One file (or stream, or delete) is over, either way: for the transfer log on disk.
    virtual void transferred(const TransferRecord& /*record*/) {}
};

// What every flow of one link shares: the port, the program-wide state, the questions.
struct SerialContext {
    LinkPort& port;
    ProgramState& state;
    GuardedPrompter& prompter;  // every question; the link's events go through its run()
    QString currentPartition;  // the partition last selected with xcd

    QString text(Msg id) const { return message(id, state.language); }
    // "Time out" with what was waited for.
    QString timedOut(Msg waitedFor) const { return text(Msg::TimeOut) + QStringLiteral(" (") + text(waitedFor) + QLatin1Char(')'); }
    // Some languages' texts leave the name out; those stay as they are.
    QString text(Msg id, const QString& arg) const
    {
        const QString t = text(id);
        return t.contains(QLatin1String("%1")) ? t.arg(arg) : t;
    }
};

class TransferFlow {
public:
    TransferFlow(SerialContext& context, FlowObserver& observer, LinkType link)
        : ctx_(context), observer_(observer), link_(link)
    {
    }
    virtual ~TransferFlow() = default;
    virtual void onBytes(QByteArrayView chunk) = 0;
    virtual void onTimer(int id) = 0;
    virtual void stop() = 0;
    virtual OperationState operation() const = 0;
    bool running() const { return running_; }
    // Refuses (with the system's text) unless this flow's link is up and nothing runs. A page
    // asks this before it takes the link's replies: the refusal's message box runs the event
    // loop, and whatever runs meanwhile must go on getting its replies.
    bool mayStart(OperationKind kind);

protected:
    // mayStart, then at least one selected row (else noneSelected is shown) and, when the
    // operation asks first, the user's Yes.
    template <typename Row>
    bool mayStartOn(OperationKind kind, const std::vector<Row>& rows, Msg noneSelected, std::optional<Msg> confirm = {})
    {
        if (!mayStart(kind))
            return false;
        if (std::none_of(rows.begin(), rows.end(), [](const Row& r) { return r.selected; })) {
            ctx_.prompter.inform(Severity::Warning, ctx_.text(noneSelected));
            return false;
        }
        // The one question asked here is the delete's, under its own caption.
        return !confirm || ctx_.prompter.ask(ctx_.text(*confirm), Buttons::YesNo, ctx_.text(Msg::DeleteFileCaption)) == Answer::Yes;
    }
    virtual void begin();
    // Ends the operation once; the observer hears of it after the state is idle again.
    void end(bool completed);
    // Tells the observer how one file ended. A row state other than `done` is the reason.
    void record(TransferRecord::Direction direction, const QString& file, const QByteArray* bytes, qint64 size,
                const QString& state, Msg done);

    SerialContext& ctx_;
    FlowObserver& observer_;
    const LinkType link_;
    bool running_ = false;
};

// The row walks and questions both links ask the same way.
namespace rowwalk {

enum class Next { Found, NoneLeft, Refused };

// Moves index on to the next selected send row that may go. A row that may not (a name the
// user area refuses, a file over its limit) is skipped when the user says so, or ends the run.
Next nextSendRow(std::vector<SendRow>& rows, int& index, SerialContext& ctx, FlowObserver& observer);

// Moves index on to the next selected row to receive into folder and gives its local path in
// *target. A name that would leave the folder is marked and skipped; an existing local file is
// replaced only when the user agrees.
Next nextReceiveRow(std::vector<RemoteFileRow>& rows, int& index, const QString& folder, QString* target,
                    SerialContext& ctx, FlowObserver& observer);

enum class Existing { Overwrite, Renamed, Skip };
// The controller holds a file of the row's target name: overwrite, rename (the row takes the
// new name, which the user area's rule must accept) or skip, as the user chooses.
Existing askAboutExistingName(SendRow& row, SerialContext& ctx);

}  // namespace rowwalk

// The four flows of one link and the hand-over of the link's events to the running one.
template <typename Flow, typename List, typename Send, typename Receive, typename Delete, typename Observer>
class FlowSetOf {
public:
    FlowSetOf(LinkPort& port, ProgramState& state, Prompter& prompter, Observer& observer)
        : questions(prompter),
          context{port, state, questions, {}},
          list(context, observer),
          send(context, observer),
          receive(context, observer),
          remove(context, observer)
    {
    }
    GuardedPrompter questions;
    SerialContext context;
    List list;
    Send send;
    Receive receive;
    Delete remove;

    Flow* active()
    {
        for (Flow* f : std::initializer_list<Flow*>{&list, &send, &receive, &remove})
            if (f->running() && context.state.operation == f->operation())
                return f;
        return nullptr;
    }
    void onTimer(int id)
    {
        questions.run([this, id] {
            if (Flow* f = active())
                f->onTimer(id);
        });
    }
    void stop()
    {
        questions.run([this] {
            if (Flow* f = active())
                f->stop();
        });
    }
};

}  // namespace vantor::fernlink
