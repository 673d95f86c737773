// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/rowloop.h"

#include "common/archive.h"
#include "fernlink/link/questionguard.h"

namespace vantor::fernlink {

// ---------------------------------------------------------------- questions

struct GuardedPrompter::Open {
    explicit Open(GuardedPrompter& p) : p(p) { ++p.open_; }
    ~Open() { --p.open_; }
    GuardedPrompter& p;
};

Answer GuardedPrompter::ask(const QString& text, Buttons buttons)
{
    Open open(*this);
    return inner_.ask(text, buttons);
}

void GuardedPrompter::inform(Severity severity, const QString& text)
{
    Open open(*this);
    inner_.inform(severity, text);
}

std::optional<QString> GuardedPrompter::askText(const QString& prompt, const QString& initial)
{
    Open open(*this);
    return inner_.askText(prompt, initial);
}

Answer GuardedPrompter::ask(const QString& text, Buttons buttons, const QString& caption)
{
    Open open(*this);
    return inner_.ask(text, buttons, caption);
}

void GuardedPrompter::inform(Severity severity, const QString& text, const QString& caption)
{
    Open open(*this);
    inner_.inform(severity, text, caption);
}

std::optional<QString> GuardedPrompter::askText(const QString& prompt, const QString& initial, const QString& caption)
{
    Open open(*this);
    return inner_.askText(prompt, initial, caption);
}

void GuardedPrompter::run(std::function<void()> event)
{
    if (open_ > 0 && depth_ > 0) {
        held_.push_back(std::move(event));
        return;
    }
    ++depth_;
    event();
    --depth_;
    while (depth_ == 0 && !held_.empty()) {
        std::function<void()> next = std::move(held_.front());
        held_.pop_front();
        ++depth_;
        next();
        --depth_;
    }
}

// ---------------------------------------------------------------- save file

bool ReceiveFile::open(const QString& target, SerialContext& ctx)
{
    if (file_.open(target))
        return true;
    ctx.prompter.inform(Severity::Error, ctx.text(Msg::ReceivedFileNotSaved).arg(file_.errorString()));
    return false;
}

bool ReceiveFile::commitOrTell(SerialContext& ctx)
{
    const bool ok = file_.commit();
    const QString why = file_.isOpen() ? file_.errorString() : QString();
    file_.drop();
    if (!ok)
        ctx.prompter.inform(Severity::Error, ctx.text(Msg::ReceivedFileNotSaved).arg(why));
    return ok;
}

void ReceiveFile::tellFailure(SerialContext& ctx) const
{
    if (file_.isOpen() && file_.failed())
        ctx.prompter.inform(Severity::Error, ctx.text(Msg::ReceivedFileNotSaved).arg(file_.errorString()));
}

// ---------------------------------------------------------------- the loop

RowLoop::RowLoop(SerialContext& context, FlowObserver& observer, LinkType link, StopRule stopRule, LoopTimers timers)
    : TransferFlow(context, observer, link),
      clock_(stats, timers.stats),
      deadline_(timers.deadline, timers.deadlineSeconds),
      stopRule_(stopRule)
{
}

void RowLoop::onBytes(QByteArrayView chunk)
{
    if (running_)
        received(chunk);
}

void RowLoop::onTimer(int id)
{
    if (!running_ || clock_.tick(id, observer_))
        return;
    if (stopRule_.atNextStep && id == stopRule_.forcedEndTimer)
        forcedEnd();
    else if (deadline_.expired(id))
        timedOut();
    else
        tick(id);
}

void RowLoop::stop()
{
    if (!running_)
        return;
    if (stopRule_.atNextStep) {
        if (stopRequested_)
            return;
        stopRequested_ = true;
        ctx_.port.startTimer(stopRule_.forcedEndTimer, stopRule_.forcedEndMs, false);
        return;
    }
    cancelNow();
    if (stopRule_.purge)
        purgeLine();
    finish(false);
}

void RowLoop::purgeLine()
{
    ctx_.port.pause(20);
    ctx_.port.purge();
    ctx_.port.pause(20);
}

void RowLoop::nextRow()
{
    leaveRow();
    if (stopRequested_) {
        finish(false);
        return;
    }
    switch (walk()) {
    case rowwalk::Next::Found: openRow(); return;
    case rowwalk::Next::Refused: finish(false); return;
    case rowwalk::Next::NoneLeft: finish(allDone()); return;
    }
}

void RowLoop::finish(bool completed)
{
    abandon();
    file_.drop();
    clock_.stop(ctx_.port);
    deadline_.stop(ctx_.port);
    if (stopRule_.atNextStep)
        ctx_.port.stopTimer(stopRule_.forcedEndTimer);
    end(completed);
}

// ---------------------------------------------------------------- rows

void RowLoop::markSend(std::vector<SendRow>& rows, Msg state, const QByteArray& data)
{
    rows[index_].state = ctx_.text(state);
    observer_.rowChanged(index_);
    if (state != Msg::StateUnsend)
        recordSend(rows[index_], data);
}

void RowLoop::recordSend(const SendRow& row, const QByteArray& data)
{
    record(TransferRecord::Direction::Send, row.path + QStringLiteral(" -> ") + row.partition + QLatin1Char('/') + row.targetName,
           data.isEmpty() && row.size != 0 ? nullptr : &data, row.size, row.state, Msg::StateSent);
}

void RowLoop::logFailed(const SendRow& row)
{
    observer_.log(LogEntry::Failed, row.path + QStringLiteral(": ") + row.state);
}

void RowLoop::markReceive(std::vector<RemoteFileRow>& rows, Msg state, const QString& target)
{
    rows[index_].state = ctx_.text(state);
    observer_.rowChanged(index_);
    const RemoteFileRow& row = rows[index_];
    const auto saved = state == Msg::StateReceived ? readWholeFile(target, nullptr) : std::nullopt;
    record(TransferRecord::Direction::Receive, row.partition + QLatin1Char('/') + row.name + QStringLiteral(" -> ") + target,
           saved ? &*saved : nullptr, -1, row.state, Msg::StateReceived);
}

bool RowLoop::allReceived(const std::vector<RemoteFileRow>& rows) const
{
    const QString received = ctx_.text(Msg::StateReceived);
    return std::all_of(rows.begin(), rows.end(), [&](const RemoteFileRow& r) { return !r.selected || r.state == received; });
}

void RowLoop::fileComplete()
{
    stats.complete();
    observer_.progress(stats);
}

void RowLoop::refused(std::vector<SendRow>& rows, Refusal refusal, Msg noRightState, const QByteArray& data)
{
    switch (refusal) {
    case Refusal::NoRight:
        markSend(rows, noRightState, data);
        if (ctx_.prompter.ask(ctx_.text(Msg::SendNoRightQuestion, rows[index_].path), Buttons::YesNo) == Answer::Yes)
            finish(false);
        else
            nextRow();
        return;
    case Refusal::NotSuit:
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::SendNotSuit));
        markSend(rows, Msg::StateError, data);
        finish(false);
        return;
    case Refusal::Full:
        ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::FileCountOver400));
        markSend(rows, Msg::StateUnsend, data);
        finish(false);
        return;
    case Refusal::Cancelled:
        markSend(rows, Msg::StateError, data);
        finish(false);
        return;
    }
}

rowwalk::Existing RowLoop::existingName(std::vector<SendRow>& rows)
{
    const rowwalk::Existing choice = rowwalk::askAboutExistingName(rows[index_], ctx_);
    switch (choice) {
    case rowwalk::Existing::Overwrite:
        ctx_.port.write(QByteArray(1, controlbytes::kAck));
        break;
    case rowwalk::Existing::Renamed:
        observer_.rowChanged(index_);
        ctx_.port.write(QByteArray(1, controlbytes::kNak));
        ctx_.port.pause(30);
        break;
    case rowwalk::Existing::Skip:
        ctx_.port.write(QByteArray(1, controlbytes::kCan));
        nextRow();
        break;
    }
    return choice;
}

void RowLoop::rowDeleted(std::vector<RemoteFileRow>& rows)
{
    observer_.log(LogEntry::Deleted, rows[index_].name);
    rows.erase(rows.begin() + index_);
    observer_.rowRemoved(index_);
    --index_;
}

void RowLoop::deleteRefused(const RemoteFileRow& row)
{
    ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::DeleteNoRight, row.name), ctx_.text(Msg::DeleteFileCaption));
}

namespace rowwalk {

Next nextSelected(const std::vector<RemoteFileRow>& rows, int& index)
{
    while (++index < static_cast<int>(rows.size()))
        if (rows[index].selected)
            return Next::Found;
    return Next::NoneLeft;
}

}  // namespace rowwalk

}  // namespace vantor::fernlink
