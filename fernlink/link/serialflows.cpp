// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/serialflows.h"

#include "common/archive.h"
#include "serialcore/controllernames.h"
#include "serialcore/serialwire.h"

#include <QDir>
#include <QFileInfo>

namespace vantor::fernlink {

using namespace wire;

static QString partitionWord(const QString& label)
{
    return label.toLower();
}

// ---------------------------------------------------------------- list

bool SerialListFlow::start()
{
    if (!mayStart(OperationKind::List))
        return false;
    begin();
    rows.clear();
    observer_.listChanged();
    ticks_ = 0;
    ctx_.port.startTimer(timers::kList, 1000, true);
    listPartition(QLatin1String(kPartUser));
    return true;
}

void SerialListFlow::listPartition(const QString& partition)
{
    partition_ = partition;
    collector_.reset();
    SerialCommandTransmitter tx(ctx_.port, kDownloadLinePauseFernlinkMs);
    tx.changePartition(partition);
    ctx_.currentPartition = partition;
    tx.list();
}

void SerialListFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    const auto state = collector_.feed(chunk);
    if (state == ListingCollector::State::Collecting)
        return;
    for (const ListingEntry& entry : parseListing(collector_.listing())) {
        if (isControllerSystemFile(entry.name))
            continue;
        rows.push_back({entry.name, entry.size, partition_, ctx_.text(Msg::StateNotReceiving), false});
    }
    observer_.listChanged();
    if (partition_ == QLatin1String(kPartUser)) {
        listPartition(QLatin1String(kPartSys));
        return;
    }
    ctx_.port.stopTimer(timers::kList);
    end(true);
}

void SerialListFlow::onTimer(int id)
{
    if (id != timers::kList || !running_)
        return;
    if (++ticks_ < 10)
        return;
    ctx_.port.stopTimer(timers::kList);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForListing), ctx_.text(Msg::GetListCaption));
    end(false);
}

void SerialListFlow::stop()
{
    if (!running_)
        return;
    ctx_.port.stopTimer(timers::kList);
    ctx_.port.pause(20);
    ctx_.port.purge();
    ctx_.port.pause(20);
    end(false);
}

// ---------------------------------------------------------------- send

SerialSendFlow::SerialSendFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer),
      tx_(context.port, kDownloadLinePauseFernlinkMs),
      xmodem_(context.port, *this, XModemVariant::Fernlink)
{
}

bool SerialSendFlow::start()
{
    if (!mayStartOn(OperationKind::Send, rows, Msg::SendSelectFile))
        return false;
    begin();
    index_ = -1;
    nextRow();
    return true;
}

void SerialSendFlow::setState(Msg state)
{
    rows[index_].state = ctx_.text(state);
    observer_.rowChanged(index_);
    if (state != Msg::StateUnsend) {
        const SendRow& row = rows[index_];
        record(TransferRecord::Direction::Send, row.path + QStringLiteral(" -> ") + row.partition + QLatin1Char('/') + row.targetName,
               data_.isEmpty() && row.size != 0 ? nullptr : &data_, row.size, row.state, Msg::StateSent);
    }
}

void SerialSendFlow::finish(bool completed)
{
    ctx_.port.stopTimer(timers::kSendReply);
    ctx_.port.stopTimer(timers::kSendStats);
    phase_ = Phase::Idle;
    data_.clear();
    end(completed);
}

void SerialSendFlow::nextRow()
{
    switch (rowwalk::nextSendRow(rows, index_, ctx_, observer_)) {
    case rowwalk::Next::Found: selectPartition(); return;
    case rowwalk::Next::Refused: finish(false); return;
    case rowwalk::Next::NoneLeft: finish(true); return;
    }
}

void SerialSendFlow::selectPartition()
{
    const QString word = partitionWord(rows[index_].partition);
    replyTicks_ = 0;
    ctx_.port.startTimer(timers::kSendReply, 1000, true);
    prompt_.reset(word);
    phase_ = Phase::WaitPrompt;
    ctx_.port.pause(500);
    tx_.changePartition(word);
    ctx_.currentPartition = word;
}

void SerialSendFlow::openAndDownload()
{
    SendRow& row = rows[index_];
    QString error;
    auto bytes = readWholeFile(row.path, &error);
    if (!bytes) {
        setState(Msg::StateError);
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::FileCannotOpenSerial, row.path));
        finish(false);
        return;
    }
    // The user area takes no file beyond the limit, whatever the size was when it was queued.
    if (row.partition == QLatin1String("USER") && bytes->size() > kFernlinkUserSizeLimit) {
        setState(Msg::StateError);
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::SizeOver4MQuestion).section(QLatin1Char('\n'), 0, 0));
        finish(false);
        return;
    }
    data_ = *bytes;
    row.size = data_.size();
    ctx_.port.pause(300);
    if (!tx_.download(row.targetName, SerialCommandTransmitter::typeFlagFor(ctx_.currentPartition))) {
        setState(Msg::StateError);
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::IncorrectNameQuestion).section(QLatin1Char('\n'), 0, 0).trimmed());
        finish(false);
        return;
    }
    replyTicks_ = 0;
    ctx_.port.startTimer(timers::kSendReply, 1000, true);
    xmodem_.beginSend(data_);
    stats.start(data_.size(), TransferDirection::Send);
    ctx_.port.startTimer(timers::kSendStats, 1000, true);
    observer_.currentFile(row.path);
    observer_.progress(stats);
    phase_ = Phase::WaitTransfer;
}

void SerialSendFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    if (phase_ == Phase::WaitPrompt) {
        switch (prompt_.feed(chunk)) {
        case PromptCheck::Outcome::Pending: return;
        case PromptCheck::Outcome::Matched:
            ctx_.port.stopTimer(timers::kSendReply);
            openAndDownload();
            return;
        case PromptCheck::Outcome::Mismatched:
            tx_.changePartition(ctx_.currentPartition);
            return;
        }
    }
    if (phase_ == Phase::WaitTransfer)
        xmodem_.onSenderBytes(chunk);
}

void SerialSendFlow::sendStarted(int)
{
    ctx_.port.stopTimer(timers::kSendReply);
}

void SerialSendFlow::blockSent(int block, int, qint64 bytesSent)
{
    stats.setProgress(bytesSent, block);
    observer_.progress(stats);
}

void SerialSendFlow::sendFinished(SendResult result)
{
    ctx_.port.stopTimer(timers::kSendStats);
    ctx_.port.stopTimer(timers::kSendReply);
    SendRow& row = rows[index_];
    switch (result) {
    case SendResult::Sent:
        // The controller acknowledged the EOT: it holds the file.
        setState(Msg::StateSent);
        observer_.log(LogEntry::Sent, row.path);
        nextRow();
        return;
    case SendResult::NoRight:
        setState(Msg::StateNotEnoughRight);
        if (ctx_.prompter.ask(ctx_.text(Msg::SendNoRightQuestion, row.path), Buttons::YesNo) == Answer::Yes)
            finish(false);
        else
            nextRow();
        return;
    case SendResult::NotSuit:
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::SendNotSuit));
        setState(Msg::StateError);
        finish(false);
        return;
    case SendResult::Exists: {
        const rowwalk::Existing choice = rowwalk::askAboutExistingName(row, ctx_);
        if (choice == rowwalk::Existing::Overwrite) {
            ctx_.port.write(QByteArray(1, kAck));
            xmodem_.beginSend(data_);
            ctx_.port.startTimer(timers::kSendStats, 1000, true);
            return;
        }
        if (choice == rowwalk::Existing::Renamed) {
            observer_.rowChanged(index_);
            ctx_.port.write(QByteArray(1, kNak));
            ctx_.port.pause(30);
            if (tx_.download(row.targetName, SerialCommandTransmitter::typeFlagFor(ctx_.currentPartition))) {
                replyTicks_ = 0;
                ctx_.port.startTimer(timers::kSendReply, 1000, true);
                xmodem_.beginSend(data_);
                ctx_.port.startTimer(timers::kSendStats, 1000, true);
                return;
            }
            setState(Msg::StateError);
            nextRow();
            return;
        }
        ctx_.port.write(QByteArray(1, kCan));
        nextRow();
        return;
    }
    case SendResult::Full:
        ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::FileCountOver400));
        setState(Msg::StateUnsend);
        finish(false);
        return;
    case SendResult::Failed:
    case SendResult::Cancelled:
        setState(Msg::StateError);
        finish(false);
        return;
    }
}

void SerialSendFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == timers::kSendStats) {
        stats.tick();
        observer_.progress(stats);
        return;
    }
    if (id != timers::kSendReply || ++replyTicks_ < 9)
        return;
    xmodem_.cancelSend();
    setState(Msg::StateError);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForAnswer));
    finish(false);
}

void SerialSendFlow::stop()
{
    if (!running_)
        return;
    if (xmodem_.isSending())
        xmodem_.cancelSend();
    else
        ctx_.port.write(QByteArray(1, kCan));
    finish(false);
}

// ---------------------------------------------------------------- receive

SerialReceiveFlow::SerialReceiveFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer),
      tx_(context.port, kDownloadLinePauseFernlinkMs),
      xmodem_(context.port, *this, XModemVariant::Fernlink)
{
}

bool SerialReceiveFlow::start(const QString& folder)
{
    if (!mayStartOn(OperationKind::Receive, rows, Msg::ReceiveSelectFile))
        return false;
    folder_ = folder;
    begin();
    index_ = -1;
    nextRow();
    return true;
}

void SerialReceiveFlow::setState(Msg state)
{
    rows[index_].state = ctx_.text(state);
    observer_.rowChanged(index_);
    const RemoteFileRow& row = rows[index_];
    // A received file is logged as it lies on disk.
    const auto saved = state == Msg::StateReceived ? readWholeFile(target_, nullptr) : std::nullopt;
    record(TransferRecord::Direction::Receive, row.partition + QLatin1Char('/') + row.name + QStringLiteral(" -> ") + target_,
           saved ? &*saved : nullptr, -1, row.state, Msg::StateReceived);
}

void SerialReceiveFlow::nextRow()
{
    if (rowwalk::nextReceiveRow(rows, index_, folder_, &target_, ctx_, observer_) == rowwalk::Next::Found) {
        const QString word = partitionWord(rows[index_].partition);
        if (word != ctx_.currentPartition) {
            prompt_.reset(word);
            phase_ = Phase::WaitPrompt;
            replyTicks_ = 0;
            ctx_.port.startTimer(timers::kReceiveReply, 1000, true);
            tx_.changePartition(word);
            ctx_.currentPartition = word;
            return;
        }
        upload();
        return;
    }
    phase_ = Phase::Idle;
    ctx_.port.stopTimer(timers::kReceiveStats);
    ctx_.port.stopTimer(timers::kReceiveReply);
    const bool all = std::all_of(rows.begin(), rows.end(), [this](const RemoteFileRow& r) {
        return !r.selected || r.state == ctx_.text(Msg::StateReceived);
    });
    end(all);
}

void SerialReceiveFlow::upload()
{
    RemoteFileRow& row = rows[index_];
    if (!tx_.upload(row.name, SerialCommandTransmitter::typeFlagFor(ctx_.currentPartition))) {
        setState(Msg::StateReceiveError);
        nextRow();
        return;
    }
    written_ = 0;
    heldBack_.clear();
    file_.reset();
    phase_ = Phase::Receiving;
    // A quick round of start requests, then a slower one while the controller finds the file.
    slowStartRound_ = false;
    xmodem_.beginReceive(kStartPeriodMs, kStartRequests, false);
    stats.start(row.size.toLongLong(), TransferDirection::Receive);
    ctx_.port.startTimer(timers::kReceiveStats, 1000, true);
    observer_.currentFile(row.name);
    observer_.progress(stats);
}

void SerialReceiveFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    if (phase_ == Phase::WaitPrompt) {
        switch (prompt_.feed(chunk)) {
        case PromptCheck::Outcome::Pending: return;
        case PromptCheck::Outcome::Matched:
            ctx_.port.stopTimer(timers::kReceiveReply);
            upload();
            return;
        case PromptCheck::Outcome::Mismatched:
            tx_.changePartition(ctx_.currentPartition);
            return;
        }
    }
    if (phase_ == Phase::Receiving)
        xmodem_.onReceiverChunk(chunk);
}

bool SerialReceiveFlow::openReceiveFile()
{
    // The data goes to a temporary file beside the target; only a complete file is renamed.
    file_ = std::make_unique<AtomicFileWriter>(target_);
    if (!file_->open()) {
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::ReceivedFileNotSaved).arg(file_->errorString()));
        file_.reset();
        return false;
    }
    observer_.log(LogEntry::Receiving, target_);
    return true;
}

bool SerialReceiveFlow::writeBlock(QByteArrayView data)
{
    // Each block is held back until the next one comes: only at the end is it known which
    // block was the last, the one the controller padded to 128 bytes.
    if (!file_ || !file_->write(heldBack_))
        return false;
    heldBack_ = data.toByteArray();
    written_ += data.size();
    return true;
}

qsizetype SerialReceiveFlow::keptOfLastBlock(qint64 received, QByteArrayView lastBlock, const QString& announcedSize)
{
    bool known = false;
    const qint64 announced = announcedSize.trimmed().toLongLong(&known);
    const qint64 before = received - lastBlock.size();
    // Only the padding of the last block goes: a file longer than the listing said, or a
    // tail that is not all padding, is kept whole, and with no size nothing is cut.
    if (!known || announced < before || announced >= received)
        return lastBlock.size();
    const QByteArrayView tail = lastBlock.sliced(announced - before);
    if (std::any_of(tail.begin(), tail.end(), [](char c) { return c != kPadByte; }))
        return lastBlock.size();
    return qsizetype(announced - before);
}

bool SerialReceiveFlow::completeReceiveFile()
{
    if (file_) {
        const qsizetype keep = keptOfLastBlock(written_, heldBack_, rows[index_].size);
        const bool wrote = file_->write(heldBack_.constData(), keep);
        written_ -= heldBack_.size() - keep;
        heldBack_.clear();
        if (!wrote)
            return false;   // the flow reports the writer's error and drops it
        return file_->commit();
    }
    // Nothing but EOT: the controller's file is empty.
    file_ = std::make_unique<AtomicFileWriter>(target_);
    return file_->open() && file_->commit();
}

void SerialReceiveFlow::blockReceived(int block)
{
    stats.setProgress(written_, block);
    observer_.progress(stats);
}

void SerialReceiveFlow::badBlock(bool crcError)
{
    if (crcError)
        ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::CrcError));
}

void SerialReceiveFlow::receiveFinished(ReceiveResult result)
{
    ctx_.port.stopTimer(timers::kReceiveStats);
    phase_ = Phase::Idle;
    switch (result) {
    case ReceiveResult::Received:
        stats.complete();
        observer_.progress(stats);
        setState(Msg::StateReceived);
        break;
    case ReceiveResult::NoRight:
        setState(Msg::StateReceiveNoRight);
        break;
    case ReceiveResult::OpenFailed:
    case ReceiveResult::WriteFailed:
        // An open failure was told when it happened; a write or commit failure is told here.
        if (file_ && file_->failed())
            ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::ReceivedFileNotSaved).arg(file_->errorString()));
        setState(Msg::StateUnableToCreate);
        break;
    default:
        setState(Msg::StateReceiveError);
        break;
    }
    if (file_) {
        file_->cancelWriting();
        file_.reset();
    }
    ctx_.port.pause(100);
    nextRow();
}

void SerialReceiveFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == CXModem::kStartTimerId) {
        xmodem_.onTimer(id);
        if (!slowStartRound_ && xmodem_.startRequests() >= kStartRequests && xmodem_.awaitingFirstFrame()) {
            slowStartRound_ = true;
            xmodem_.restartStartRequests(kSlowStartPeriodMs, kSlowStartRequests, true);
        }
        return;
    }
    if (id == timers::kReceiveStats) {
        stats.tick();
        observer_.progress(stats);
        return;
    }
    if (id != timers::kReceiveReply || ++replyTicks_ < 9)
        return;
    ctx_.port.stopTimer(timers::kReceiveReply);
    setState(Msg::StateReceiveError);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForAnswer));
    phase_ = Phase::Idle;
    end(false);
}

void SerialReceiveFlow::stop()
{
    if (!running_)
        return;
    ctx_.port.stopTimer(timers::kReceiveStats);
    ctx_.port.stopTimer(timers::kReceiveReply);
    ctx_.port.stopTimer(CXModem::kStartTimerId);
    if (xmodem_.isReceiving()) {
        ctx_.port.write(QByteArray(1, kStartCrc));
        ctx_.port.pause(100);
        xmodem_.cancelReceive();
    }
    if (file_) {
        file_->cancelWriting();
        file_.reset();
    }
    ctx_.port.pause(20);
    ctx_.port.purge();
    ctx_.port.pause(20);
    phase_ = Phase::Idle;
    end(false);
}

// ---------------------------------------------------------------- delete

SerialDeleteFlow::SerialDeleteFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer), tx_(context.port, kDownloadLinePauseFernlinkMs)
{
}

bool SerialDeleteFlow::start()
{
    if (!mayStartOn(OperationKind::Delete, rows, Msg::DeleteSelectItem, Msg::DeleteConfirm))
        return false;
    begin();
    stopRequested_ = false;
    index_ = -1;
    nextRow();
    return true;
}

void SerialDeleteFlow::nextRow()
{
    while (++index_ < static_cast<int>(rows.size())) {
        if (!rows[index_].selected)
            continue;
        const QString word = partitionWord(rows[index_].partition);
        ticks_ = 0;
        ctx_.port.startTimer(timers::kDelete, 1000, true);
        prompt_.reset(word);
        phase_ = Phase::WaitPrompt;
        tx_.changePartition(word);
        ctx_.currentPartition = word;
        return;
    }
    ctx_.port.stopTimer(timers::kDelete);
    phase_ = Phase::Idle;
    end(true);
}

void SerialDeleteFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    if (phase_ == Phase::WaitPrompt) {
        const auto outcome = prompt_.feed(chunk);
        if (outcome == PromptCheck::Outcome::Mismatched)
            tx_.changePartition(ctx_.currentPartition);
        if (outcome != PromptCheck::Outcome::Matched)
            return;
        ctx_.port.pause(100);
        if (!tx_.remove(rows[index_].name)) {
            ctx_.port.stopTimer(timers::kDelete);
            ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::DeleteNoRight, rows[index_].name), ctx_.text(Msg::DeleteFileCaption));
            phase_ = Phase::Idle;
            end(false);
            return;
        }
        phase_ = Phase::WaitReply;
        return;
    }
    if (phase_ != Phase::WaitReply)
        return;
    for (char b : chunk) {
        if (b == kAck) {
            ctx_.port.stopTimer(timers::kDelete);
            observer_.log(LogEntry::Deleted, rows[index_].name);
            rows.erase(rows.begin() + index_);
            observer_.rowRemoved(index_);
            --index_;
            ctx_.port.pause(200);
            if (stopRequested_) {
                phase_ = Phase::Idle;
                end(false);
                return;
            }
            nextRow();
            return;
        }
        if (b == kDle) {
            ctx_.port.stopTimer(timers::kDelete);
            ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::DeleteNoRight, rows[index_].name), ctx_.text(Msg::DeleteFileCaption));
            phase_ = Phase::Idle;
            end(false);
            return;
        }
    }
}

void SerialDeleteFlow::onTimer(int id)
{
    if (id != timers::kDelete || !running_ || ++ticks_ < 10)
        return;
    ctx_.port.stopTimer(timers::kDelete);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForDelete), ctx_.text(Msg::DeleteFileCaption));
    phase_ = Phase::Idle;
    end(false);
}

void SerialDeleteFlow::stop()
{
    if (!running_)
        return;
    stopRequested_ = true;
    ctx_.port.stopTimer(timers::kDelete);
    ctx_.port.pause(20);
    ctx_.port.purge();
    ctx_.port.pause(20);
    phase_ = Phase::Idle;
    end(false);
}

// ---------------------------------------------------------------- dispatch

void SerialFlowSet::onBytes(QByteArrayView chunk)
{
    if (SerialFlow* f = active()) {
        f->onBytes(chunk);
        return;
    }
    // The controller started a transfer nobody asked for.
    if (!chunk.isEmpty() && (chunk.front() == kAck || chunk.front() == kSoh))
        context.port.write(QByteArray(1, kCan));
}

}  // namespace vantor::fernlink
