// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/serialflows.h"

#include "common/archive.h"
#include "serialcore/controllernames.h"

namespace vantor::fernlink {

using namespace wire;

namespace {

QString partitionWord(const QString& label)
{
    return label.toLower();
}

// The serial flows end at once on Stop; all but the send purge the line.
constexpr StopRule kPurge{false, true, 0, 0};
constexpr StopRule kNoPurge{false, false, 0, 0};

}  // namespace

// ---------------------------------------------------------------- common

void SerialFlow::selectPartition(const QString& word)
{
    phase_ = Phase::WaitPrompt;
    deadline_.start(ctx_.port);
    prompt_.reset(word);
    tx_.changePartition(word);
    ctx_.currentPartition = word;
}

void SerialFlow::received(QByteArrayView chunk)
{
    if (phase_ == Phase::Transfer) {
        transferBytes(chunk);
        return;
    }
    if (phase_ != Phase::WaitPrompt)
        return;
    const auto outcome = prompt_.feed(chunk);
    if (outcome == PromptCheck::Outcome::Mismatched)
        tx_.changePartition(ctx_.currentPartition);
    if (outcome == PromptCheck::Outcome::Matched)
        promptCame();
}

// ---------------------------------------------------------------- list

SerialListFlow::SerialListFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer, kPurge, {0, timers::kList, 10})
{
}

bool SerialListFlow::start()
{
    if (!mayStart(OperationKind::List))
        return false;
    begin();
    rows.clear();
    observer_.listChanged();
    deadline_.start(ctx_.port);
    listPartition(QLatin1String(kPartUser));
    return true;
}

void SerialListFlow::listPartition(const QString& partition)
{
    partition_ = partition;
    collector_.reset();
    tx_.changePartition(partition);
    ctx_.currentPartition = partition;
    tx_.list();
}

void SerialListFlow::received(QByteArrayView chunk)
{
    if (collector_.feed(chunk) == ListingCollector::State::Collecting)
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
    finish(true);
}

void SerialListFlow::timedOut()
{
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForListing), ctx_.text(Msg::GetListCaption));
    finish(false);
}

// ---------------------------------------------------------------- send

SerialSendFlow::SerialSendFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer, kNoPurge, {timers::kSendStats, timers::kSendReply, 9}),
      xmodem_(context.port, *this, XModemVariant::Fernlink)
{
}

bool SerialSendFlow::start()
{
    return startRows(OperationKind::Send, rows, Msg::SendSelectFile);
}

void SerialSendFlow::setState(Msg state)
{
    markSend(rows, state, data_);
}

void SerialSendFlow::abandon()
{
    SerialFlow::abandon();
    data_.clear();
}

rowwalk::Next SerialSendFlow::walk()
{
    return rowwalk::nextSendRow(rows, index_, ctx_, observer_);
}

void SerialSendFlow::openRow()
{
    ctx_.port.pause(500);
    selectPartition(partitionWord(rows[index_].partition));
}

void SerialSendFlow::failRow(const QString& text)
{
    setState(Msg::StateError);
    ctx_.prompter.inform(Severity::Error, text);
    finish(false);
}

void SerialSendFlow::openAndDownload()
{
    SendRow& row = rows[index_];
    auto bytes = readWholeFile(row.path, nullptr);
    if (!bytes) {
        failRow(ctx_.text(Msg::FileCannotOpenSerial, row.path));
        return;
    }
    // The user area takes no file beyond the limit, whatever the size was when it was queued.
    if (row.partition == QLatin1String("USER") && bytes->size() > kFernlinkUserSizeLimit) {
        failRow(ctx_.text(Msg::SizeOver4MQuestion).section(QLatin1Char('\n'), 0, 0));
        return;
    }
    data_ = *bytes;
    row.size = data_.size();
    ctx_.port.pause(300);
    if (!download()) {
        failRow(ctx_.text(Msg::IncorrectNameQuestion).section(QLatin1Char('\n'), 0, 0).trimmed());
        return;
    }
    clock_.start(ctx_.port, data_.size(), TransferDirection::Send);
    observer_.currentFile(row.path);
    observer_.progress(stats);
    phase_ = Phase::Transfer;
}

bool SerialSendFlow::download()
{
    if (!tx_.download(rows[index_].targetName, SerialCommandTransmitter::typeFlagFor(ctx_.currentPartition)))
        return false;
    deadline_.start(ctx_.port);
    xmodem_.beginSend(data_);
    return true;
}

void SerialSendFlow::promptCame()
{
    deadline_.stop(ctx_.port);
    openAndDownload();
}

void SerialSendFlow::sendStarted(int)
{
    deadline_.stop(ctx_.port);
}

void SerialSendFlow::blockSent(int block, int, qint64 bytesSent)
{
    stats.setProgress(bytesSent, block);
    observer_.progress(stats);
}

void SerialSendFlow::sendFinished(SendResult result)
{
    clock_.stop(ctx_.port);
    deadline_.stop(ctx_.port);
    // Refused for want of rights, a serial row says so in its own words.
    const auto refuse = [this](Refusal r) { refused(rows, r, Msg::StateNotEnoughRight, data_); };
    switch (result) {
    case SendResult::Sent:
        // The controller acknowledged the EOT: it holds the file.
        setState(Msg::StateSent);
        observer_.log(LogEntry::Sent, rows[index_].path);
        nextRow();
        return;
    case SendResult::NoRight: refuse(Refusal::NoRight); return;
    case SendResult::NotSuit: refuse(Refusal::NotSuit); return;
    case SendResult::Full: refuse(Refusal::Full); return;
    case SendResult::Failed:
    case SendResult::Cancelled: refuse(Refusal::Cancelled); return;
    case SendResult::Exists:
        switch (existingName(rows)) {
        case rowwalk::Existing::Overwrite:
            xmodem_.beginSend(data_);
            clock_.resume(ctx_.port);
            return;
        case rowwalk::Existing::Renamed:
            if (download()) {
                clock_.resume(ctx_.port);
                return;
            }
            setState(Msg::StateError);
            nextRow();
            return;
        case rowwalk::Existing::Skip: return;
        }
    }
}

void SerialSendFlow::timedOut()
{
    xmodem_.cancelSend();
    setState(Msg::StateError);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForAnswer));
    finish(false);
}

void SerialSendFlow::cancelNow()
{
    if (xmodem_.isSending())
        xmodem_.cancelSend();
    else
        ctx_.port.write(QByteArray(1, kCan));
}

// ---------------------------------------------------------------- receive

SerialReceiveFlow::SerialReceiveFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer, kPurge, {timers::kReceiveStats, timers::kReceiveReply, 9}),
      xmodem_(context.port, *this, XModemVariant::Fernlink)
{
}

bool SerialReceiveFlow::start(const QString& folder)
{
    return startReceiving(rows, folder);
}

void SerialReceiveFlow::openRow()
{
    const QString word = partitionWord(rows[index_].partition);
    if (word == ctx_.currentPartition) {
        upload();
        return;
    }
    selectPartition(word);
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
    file_.drop();
    phase_ = Phase::Transfer;
    // A quick round of start requests, then a slower one while the controller finds the file.
    slowStartRound_ = false;
    xmodem_.beginReceive(kStartPeriodMs, kStartRequests, false);
    clock_.start(ctx_.port, row.size.toLongLong(), TransferDirection::Receive);
    observer_.currentFile(row.name);
    observer_.progress(stats);
}

void SerialReceiveFlow::promptCame()
{
    deadline_.stop(ctx_.port);
    upload();
}

bool SerialReceiveFlow::openReceiveFile()
{
    if (!file_.open(target_, ctx_))
        return false;
    observer_.log(LogEntry::Receiving, target_);
    return true;
}

bool SerialReceiveFlow::writeBlock(QByteArrayView data)
{
    // Each block is held back until the next one comes: only at the end is it known which
    // block was the last, the one the controller padded to 128 bytes.
    if (!file_.write(heldBack_))
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
    if (file_.isOpen()) {
        const qsizetype keep = keptOfLastBlock(written_, heldBack_, rows[index_].size);
        const bool wrote = file_.write(QByteArrayView(heldBack_.constData(), keep));
        written_ -= heldBack_.size() - keep;
        heldBack_.clear();
        // A failure is reported with the writer's reason when the receive ends.
        return wrote && file_.commit();
    }
    // Nothing but EOT: the controller's file is empty.
    return file_.open(target_, ctx_) && file_.commit();
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
    clock_.stop(ctx_.port);
    phase_ = Phase::Idle;
    switch (result) {
    case ReceiveResult::Received:
        fileComplete();
        setState(Msg::StateReceived);
        break;
    case ReceiveResult::NoRight:
        setState(Msg::StateReceiveNoRight);
        break;
    case ReceiveResult::OpenFailed:
    case ReceiveResult::WriteFailed:
        file_.tellFailure(ctx_);
        setState(Msg::StateUnableToCreate);
        break;
    default:
        setState(Msg::StateReceiveError);
        break;
    }
    file_.drop();
    ctx_.port.pause(100);
    nextRow();
}

void SerialReceiveFlow::tick(int id)
{
    if (id != CXModem::kStartTimerId)
        return;
    xmodem_.onTimer(id);
    if (!slowStartRound_ && xmodem_.startRequests() >= kStartRequests && xmodem_.awaitingFirstFrame()) {
        slowStartRound_ = true;
        xmodem_.restartStartRequests(kSlowStartPeriodMs, kSlowStartRequests, true);
    }
}

void SerialReceiveFlow::timedOut()
{
    setState(Msg::StateReceiveError);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForAnswer));
    finish(false);
}

void SerialReceiveFlow::cancelNow()
{
    ctx_.port.stopTimer(CXModem::kStartTimerId);
    if (xmodem_.isReceiving()) {
        ctx_.port.write(QByteArray(1, kStartCrc));
        ctx_.port.pause(100);
        xmodem_.cancelReceive();
    }
}

// ---------------------------------------------------------------- delete

SerialDeleteFlow::SerialDeleteFlow(SerialContext& context, FlowObserver& observer)
    : SerialFlow(context, observer, kPurge, {0, timers::kDelete, 10})
{
}

bool SerialDeleteFlow::start()
{
    return startRows(OperationKind::Delete, rows, Msg::DeleteSelectItem, Msg::DeleteConfirm);
}

void SerialDeleteFlow::refused()
{
    deadline_.stop(ctx_.port);
    deleteRefused(rows[index_]);
    finish(false);
}

void SerialDeleteFlow::promptCame()
{
    // The deadline runs on: it is the whole row's.
    ctx_.port.pause(100);
    if (!tx_.remove(rows[index_].name)) {
        refused();
        return;
    }
    phase_ = Phase::Transfer;
}

void SerialDeleteFlow::transferBytes(QByteArrayView chunk)
{
    for (char b : chunk) {
        if (b == kAck) {
            deadline_.stop(ctx_.port);
            rowDeleted(rows);
            ctx_.port.pause(200);
            nextRow();
            return;
        }
        if (b == kDle) {
            refused();
            return;
        }
    }
}

void SerialDeleteFlow::timedOut()
{
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(Msg::WaitedForDelete), ctx_.text(Msg::DeleteFileCaption));
    finish(false);
}

// ---------------------------------------------------------------- dispatch

void SerialFlowSet::onBytes(QByteArrayView chunk)
{
    questions.run([this, bytes = chunk.toByteArray()] {
        if (SerialFlow* f = active()) {
            f->onBytes(bytes);
            return;
        }
        // The controller started a transfer nobody asked for.
        if (!bytes.isEmpty() && (bytes.front() == kAck || bytes.front() == kSoh))
            context.port.write(QByteArray(1, kCan));
    });
}

}  // namespace vantor::fernlink
