// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetflows.h"

#include "common/archive.h"
#include "serialcore/controllernames.h"
#include "serialcore/serialcommands.h"

#include <QDir>
#include <QFileInfo>

namespace vantor::fernlink {

using namespace net;

namespace {

QByteArray one(char c)
{
    return QByteArray(1, c);
}

// Line ends and zero bytes that close a text reply may arrive in a read of their own.
void skipLineEnds(ReplyGatherer& reply)
{
    qsizetype n = 0;
    const QByteArray& b = reply.bytes();
    while (n < b.size() && (b[n] == '\r' || b[n] == '\n' || b[n] == '\0'))
        ++n;
    reply.take(n);
}

bool isUsb(const QString& label)
{
    return label == QString::fromUtf8(kLabelUsb) || label.compare(QLatin1String("USB"), Qt::CaseInsensitive) == 0;
}

}  // namespace

// ---------------------------------------------------------------- common

void EthernetFlow::begin()
{
    reply_.reset();
    gatherExpired_ = false;
    TransferFlow::begin();
}

void EthernetFlow::end(bool completed)
{
    if (!running_)
        return;
    reply_.reset();
    ctx_.port.stopTimer(nettimers::kReplyGather);
    TransferFlow::end(completed);
}

void EthernetFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    reply_.feed(chunk);
    pump();
}

bool EthernetFlow::replyComplete()
{
    if (reply_.controlFirst() || (reply_.hasWord() && (reply_.hasLineEnd() || gatherExpired_))) {
        ctx_.port.stopTimer(nettimers::kReplyGather);
        return true;
    }
    ctx_.port.startTimer(nettimers::kReplyGather, nettimers::kReplyGatherMs, false);
    return false;
}

bool EthernetFlow::wordPending()
{
    if (reply_.controlFirst() || reply_.hasWord() || gatherExpired_) {
        ctx_.port.stopTimer(nettimers::kReplyGather);
        return false;
    }
    ctx_.port.startTimer(nettimers::kReplyGather, nettimers::kReplyGatherMs, false);
    return true;
}

void EthernetFlow::gatherTimedOut()
{
    // Whatever came is all there is: judge it as it stands.
    gatherExpired_ = true;
    pump();
    gatherExpired_ = false;
}

void EthernetFlow::linkLost()
{
    if (!running_)
        return;
    abandon();
    for (int id : {nettimers::kSendStats, nettimers::kSendReply, nettimers::kReceiveStats, nettimers::kForcedEnd,
                   nettimers::kSendForcedEnd})
        ctx_.port.stopTimer(id);
    end(false);
    netObserver_.dropLink();
}

// ---------------------------------------------------------------- list

bool EthernetListFlow::start(bool usb)
{
    if (!mayStart(OperationKind::List))
        return false;
    begin();
    rows.clear();
    observer_.listChanged();
    selectPass(usb ? PartitionUse::ListUsb : PartitionUse::ListUserPass);
    return true;
}

void EthernetListFlow::selectPass(PartitionUse pass)
{
    pass_ = pass;
    step_ = Step::AwaitScd;
    ctx_.port.write(changePartition(pass));
}

void EthernetListFlow::fail(Msg text)
{
    ctx_.prompter.inform(Severity::Warning, ctx_.text(text));
    end(false);
}

void EthernetListFlow::pump()
{
    while (running_ && !reply_.empty()) {
        if (step_ == Step::Collect) {
            const QByteArray& b = reply_.bytes();
            const qsizetype can = b.indexOf(kCan);
            const qsizetype n = can < 0 ? b.size() : can;
            const qsizetype room = std::max<qsizetype>(0, kListingBufferSize - listing_.size());
            listing_.append(b.constData(), std::min(n, room));
            if (can < 0) {
                reply_.reset();
                return;
            }
            reply_.reset();  // what follows the end of a listing belongs to nobody
            for (const ListingEntry& entry : parseListing(listing_)) {
                if (isControllerSystemFile(entry.name))
                    continue;
                rows.push_back({entry.name, entry.size, labelFor(pass_), ctx_.text(Msg::StateNotReceiving), false});
            }
            observer_.listChanged();
            if (pass_ == PartitionUse::ListUserPass) {
                selectPass(PartitionUse::ListSysPass);
                return;
            }
            end(true);
            return;
        }
        skipLineEnds(reply_);
        if (reply_.empty() || wordPending())
            return;
        if (step_ == Step::AwaitScd) {
            if (!reply_.startsWith(kScdOk)) {
                fail(Msg::NetListErrorMdi);
                return;
            }
            reply_.reset();
            step_ = Step::AwaitSls;
            ctx_.port.write(listCommand());
            return;
        }
        if (!reply_.startsWith(kSlsOk)) {
            fail(pass_ == PartitionUse::ListSysPass ? Msg::NetListErrorMdi : Msg::NetListError);
            return;
        }
        reply_.take(kReplyWordSize);
        listing_.clear();
        step_ = Step::Collect;
    }
}

void EthernetListFlow::onTimer(int id)
{
    if (running_ && id == nettimers::kReplyGather)
        gatherTimedOut();
}

void EthernetListFlow::stop()
{
    end(false);
}

// ---------------------------------------------------------------- delete

bool EthernetDeleteFlow::start()
{
    if (!mayStartOn(OperationKind::Delete, rows, Msg::DeleteSelectItem, Msg::DeleteConfirm))
        return false;
    begin();
    stopRequested_ = false;
    firstUsb_ = true;
    index_ = -1;
    nextRow();
    return true;
}

void EthernetDeleteFlow::finish(bool completed)
{
    ctx_.port.stopTimer(nettimers::kForcedEnd);
    end(completed);
}

void EthernetDeleteFlow::nextRow()
{
    if (stopRequested_) {
        finish(false);
        return;
    }
    while (++index_ < static_cast<int>(rows.size())) {
        const RemoteFileRow& row = rows[index_];
        if (!row.selected)
            continue;
        if (isUsb(row.partition)) {
            ctx_.port.write(changePartition(firstUsb_ ? PartitionUse::UsbFirstDelete : PartitionUse::UsbItem));
            firstUsb_ = false;
        } else {
            ctx_.port.write(changePartition(row.partition));
        }
        step_ = Step::AwaitScd;
        return;
    }
    finish(true);
}

void EthernetDeleteFlow::pump()
{
    while (running_ && !reply_.empty()) {
        if (step_ == Step::AwaitScd) {
            skipLineEnds(reply_);
            if (reply_.empty() || wordPending())
                return;
            if (!reply_.startsWith(kScdOk)) {
                ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::NetDeleteError), ctx_.text(Msg::DeleteFileCaption));
                finish(false);
                return;
            }
            reply_.reset();
            step_ = Step::AwaitAnswer;
            ctx_.port.write(deleteCommand(rows[index_].name));
            return;
        }
        const char b = reply_.take(1).front();
        if (b == kAck) {
            reply_.reset();
            observer_.log(LogEntry::Deleted, rows[index_].name);
            rows.erase(rows.begin() + index_);
            observer_.rowRemoved(index_);
            --index_;
            nextRow();
            return;
        }
        if (b == kDle) {
            ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::DeleteNoRight, rows[index_].name), ctx_.text(Msg::DeleteFileCaption));
            finish(false);
            return;
        }
    }
}

void EthernetDeleteFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == nettimers::kReplyGather) {
        gatherTimedOut();
    } else if (id == nettimers::kForcedEnd) {
        linkLost();
    }
}

void EthernetDeleteFlow::stop()
{
    if (!running_ || stopRequested_)
        return;
    stopRequested_ = true;
    ctx_.port.startTimer(nettimers::kForcedEnd, nettimers::kDeleteForcedEndMs, false);
}

// ---------------------------------------------------------------- receive

bool EthernetReceiveFlow::start(const QString& folder)
{
    if (!mayStartOn(OperationKind::Receive, rows, Msg::ReceiveSelectFile))
        return false;
    folder_ = folder;
    begin();
    stopRequested_ = false;
    index_ = -1;
    nextRow();
    return true;
}

void EthernetReceiveFlow::setState(Msg state)
{
    rows[index_].state = ctx_.text(state);
    observer_.rowChanged(index_);
    const RemoteFileRow& row = rows[index_];
    // A received file is logged as it lies on disk.
    const auto saved = state == Msg::StateReceived ? readWholeFile(target_, nullptr) : std::nullopt;
    record(TransferRecord::Direction::Receive, row.partition + QLatin1Char('/') + row.name + QStringLiteral(" -> ") + target_,
           saved ? &*saved : nullptr, -1, row.state, Msg::StateReceived);
}

void EthernetReceiveFlow::abandon()
{
    if (file_) {
        file_->cancelWriting();
        file_.reset();
    }
}

void EthernetReceiveFlow::finish(bool completed)
{
    abandon();
    ctx_.port.stopTimer(nettimers::kReceiveStats);
    ctx_.port.stopTimer(nettimers::kForcedEnd);
    end(completed);
}

void EthernetReceiveFlow::nextRow()
{
    if (stopRequested_) {
        finish(false);
        return;
    }
    if (rowwalk::nextReceiveRow(rows, index_, folder_, &target_, ctx_, observer_) == rowwalk::Next::Found) {
        const RemoteFileRow& row = rows[index_];
        ctx_.port.write(isUsb(row.partition) ? changePartition(PartitionUse::UsbItem) : changePartition(row.partition));
        step_ = Step::AwaitScd;
        return;
    }
    const bool all = std::all_of(rows.begin(), rows.end(), [this](const RemoteFileRow& r) {
        return !r.selected || r.state == ctx_.text(Msg::StateReceived);
    });
    finish(all);
}

void EthernetReceiveFlow::beginStream(qint64 size)
{
    RemoteFileRow& row = rows[index_];
    row.size = QString::number(size);
    observer_.rowChanged(index_);
    // The data goes to a temporary file beside the target; only a complete file is renamed.
    file_ = std::make_unique<AtomicFileWriter>(target_);
    if (!file_->open()) {
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::ReceivedFileNotSaved).arg(file_->errorString()));
        file_.reset();
        ctx_.port.write(one(kCan));
        setState(Msg::StateUnableToCreate);
        nextRow();
        return;
    }
    size_ = size;
    written_ = 0;
    frames_ = 0;
    stats.start(size, TransferDirection::Receive);
    ctx_.port.startTimer(nettimers::kReceiveStats, 1000, true);
    observer_.log(LogEntry::Receiving, target_);
    observer_.progress(stats);
    step_ = Step::Stream;
    ctx_.port.write(one(kAck));
}

void EthernetReceiveFlow::endFile(Msg state)
{
    ctx_.port.stopTimer(nettimers::kReceiveStats);
    if (state == Msg::StateReceived) {
        const bool ok = file_ && file_->commit();
        const QString why = file_ ? file_->errorString() : QString();
        file_.reset();
        if (!ok) {
            ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::ReceivedFileNotSaved).arg(why));
            state = Msg::StateUnableToCreate;
        } else {
            stats.complete();
            observer_.progress(stats);
        }
    }
    abandon();
    setState(state);
    nextRow();
}

void EthernetReceiveFlow::pump()
{
    while (running_ && !reply_.empty()) {
        if (step_ == Step::Stream) {
            // Only the first byte of a message at a frame boundary can end the file; the
            // same byte inside a frame is file data.
            const char first = reply_.first();
            if (first == kEot) {
                reply_.reset();
                endFile(written_ == size_ ? Msg::StateReceived : Msg::StateReceiveError);
                return;
            }
            if (first == kCan) {
                reply_.reset();
                endFile(Msg::StateReceiveError);
                return;
            }
            if (reply_.bytes().size() < kFrameSize)
                return;
            const QByteArray frame = reply_.take(kFrameSize);
            const qint64 left = size_ - written_;
            if (left <= 0) {
                // More frames than the announced size holds: the stream cannot be trusted.
                ctx_.port.write(one(kCan));
                reply_.reset();
                endFile(Msg::StateReceiveError);
                return;
            }
            const qint64 n = std::min<qint64>(left, kFramePayload);
            if (!file_->write(frame.constData() + 1, n)) {
                ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::ReceivedFileNotSaved).arg(file_->errorString()));
                ctx_.port.write(one(kCan));
                reply_.reset();
                endFile(Msg::StateUnableToCreate);
                return;
            }
            written_ += n;
            ++frames_;
            stats.setProgress(written_, static_cast<int>(frames_));
            observer_.progress(stats);
            if (stopRequested_) {
                ctx_.port.write(one(kCan));
                reply_.reset();
                rows[index_].state = ctx_.text(Msg::StateReceiveError);
                observer_.rowChanged(index_);
                finish(false);
                return;
            }
            ctx_.port.write(one(kAck));
            continue;
        }
        skipLineEnds(reply_);
        if (reply_.empty() || wordPending())
            return;
        if (step_ == Step::AwaitScd) {
            if (!reply_.startsWith(kScdOk)) {
                setState(Msg::StateUnableToReceive);
                ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::StateUnableToReceive));
                finish(false);
                return;
            }
            reply_.reset();
            if (stopRequested_) {
                finish(false);
                return;
            }
            step_ = Step::AwaitSul;
            ctx_.port.write(uploadCommand(rows[index_].name));
            return;
        }
        // AwaitSul
        if (reply_.controlFirst()) {
            const char b = reply_.first();
            reply_.reset();
            if (b == kDle)
                setState(Msg::StateReceiveNoRight);
            else
                setState(Msg::StateReceiveError);
            nextRow();
            return;
        }
        if (!reply_.startsWith(kSulOk)) {
            reply_.reset();
            setState(Msg::StateUnableToReceive);
            nextRow();
            return;
        }
        if (!replyComplete())
            return;
        const auto size = parseUploadSize(reply_.bytes());
        reply_.reset();
        if (!size || stopRequested_) {
            ctx_.port.write(one(kCan));
            setState(Msg::StateReceiveError);
            nextRow();
            return;
        }
        beginStream(*size);
        return;
    }
}

void EthernetReceiveFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == nettimers::kReplyGather) {
        gatherTimedOut();
    } else if (id == nettimers::kReceiveStats) {
        stats.tick();
        observer_.progress(stats);
    } else if (id == nettimers::kForcedEnd) {
        linkLost();
    }
}

void EthernetReceiveFlow::stop()
{
    if (!running_ || stopRequested_)
        return;
    stopRequested_ = true;
    ctx_.port.startTimer(nettimers::kForcedEnd, nettimers::kReceiveForcedEndMs, false);
}

// ---------------------------------------------------------------- send

bool EthernetSendFlow::start()
{
    if (!mayStartOn(OperationKind::Send, rows, Msg::SendSelectFile))
        return false;
    begin();
    stopRequested_ = false;
    index_ = -1;
    nextRow();
    return true;
}

void EthernetSendFlow::setState(Msg state)
{
    rows[index_].state = ctx_.text(state);
    observer_.rowChanged(index_);
    if (state != Msg::StateUnsend)
        recordRow();
}

void EthernetSendFlow::recordRow()
{
    const SendRow& row = rows[index_];
    record(TransferRecord::Direction::Send, row.path + QStringLiteral(" -> ") + row.partition + QLatin1Char('/') + row.targetName,
           data_.isEmpty() && row.size != 0 ? nullptr : &data_, row.size, row.state, Msg::StateSent);
}

void EthernetSendFlow::abandon()
{
    // The file went out whole but the controller never showed it has it: not "sent".
    if (running_ && index_ >= 0 && index_ < static_cast<int>(rows.size())
        && (step_ == Step::AwaitProof || step_ == Step::VerifySul || step_ == Step::VerifyStream)) {
        step_ = Step::AwaitScd;
        setState(Msg::StateNotConfirmed);
        observer_.log(LogEntry::Failed, rows[index_].path + QStringLiteral(": ") + rows[index_].state);
    }
    data_.clear();
    readBack_.clear();
}

void EthernetSendFlow::finish(bool completed)
{
    abandon();
    for (int id : {nettimers::kSendReply, nettimers::kSendStats, nettimers::kSendForcedEnd})
        ctx_.port.stopTimer(id);
    end(completed);
}

void EthernetSendFlow::nextRow()
{
    data_.clear();
    ctx_.port.stopTimer(nettimers::kSendStats);
    if (stopRequested_) {
        finish(false);
        return;
    }
    switch (rowwalk::nextSendRow(rows, index_, ctx_, observer_)) {
    case rowwalk::Next::Refused: finish(false); return;
    case rowwalk::Next::NoneLeft: finish(true); return;
    case rowwalk::Next::Found: break;
    }
    writePartitionCommand();
    step_ = Step::AwaitScd;
}

void EthernetSendFlow::writePartitionCommand()
{
    const SendRow& row = rows[index_];
    replyTicks_ = 0;
    ctx_.port.startTimer(nettimers::kSendReply, 1000, true);
    ctx_.port.write(isUsb(row.partition) ? changePartition(PartitionUse::SendUsb) : changePartition(row.partition));
}

void EthernetSendFlow::endOfFile()
{
    ctx_.port.write(one(kEot));
    // The controller never answers the EOT, and TCP took it even if the controller is gone the
    // next moment. Its answer to a command written after the EOT shows it read the EOT; the
    // partition the file went to is chosen again, which changes nothing on the controller.
    ctx_.port.pause(kProofPauseMs);
    writePartitionCommand();
    step_ = Step::AwaitProof;
}

void EthernetSendFlow::fileStored()
{
    ctx_.port.stopTimer(nettimers::kSendReply);
    if (verify) {
        readBack_.clear();
        readBackSize_ = 0;
        replyTicks_ = 0;
        ctx_.port.startTimer(nettimers::kSendReply, 1000, true);
        ctx_.port.write(uploadCommand(rows[index_].targetName));
        step_ = Step::VerifySul;
        return;
    }
    verified(true);
}

void EthernetSendFlow::verified(bool same)
{
    ctx_.port.stopTimer(nettimers::kSendReply);
    step_ = Step::AwaitScd;
    if (!same) {
        setState(Msg::StateVerifyFailed);
        observer_.log(LogEntry::Failed, rows[index_].path + QStringLiteral(": ") + rows[index_].state);
        nextRow();
        return;
    }
    stats.complete();
    setState(Msg::StateSent);
    observer_.log(LogEntry::Sent, rows[index_].path);
    observer_.progress(stats);
    nextRow();
}

void EthernetSendFlow::verifyFrames()
{
    while (running_ && step_ == Step::VerifyStream && !reply_.empty()) {
        const char first = reply_.first();
        if (first == kEot || first == kCan) {
            reply_.reset();
            verified(first == kEot && readBack_ == data_);
            return;
        }
        if (reply_.bytes().size() < kFrameSize)
            return;
        const QByteArray frame = reply_.take(kFrameSize);
        const qint64 n = std::min<qint64>(readBackSize_ - readBack_.size(), kFramePayload);
        if (n <= 0) {
            ctx_.port.write(one(kCan));
            reply_.reset();
            verified(false);
            return;
        }
        readBack_.append(frame.constData() + 1, n);
        replyTicks_ = 0;
        if (stopRequested_) {
            // Stored, but not compared: the row must not claim either way.
            ctx_.port.write(one(kCan));
            reply_.reset();
            ctx_.port.stopTimer(nettimers::kSendReply);
            step_ = Step::AwaitScd;
            setState(Msg::StateNotConfirmed);
            finish(false);
            return;
        }
        ctx_.port.write(one(kAck));
    }
}

void EthernetSendFlow::openAndDownload()
{
    SendRow& row = rows[index_];
    auto bytes = readWholeFile(row.path, nullptr);
    if (!bytes) {
        setState(Msg::StateUnableToOpen);
        if (ctx_.prompter.ask(ctx_.text(Msg::NetFileCannotOpenQuestion, row.path), Buttons::YesNo) == Answer::Yes)
            finish(false);
        else
            nextRow();
        return;
    }
    data_ = *bytes;
    row.size = data_.size();
    observer_.rowChanged(index_);
    ctx_.port.write(downloadCommand(row.targetName, row.size));
    stats.start(row.size, TransferDirection::Send);
    ctx_.port.startTimer(nettimers::kSendStats, 1000, true);
    observer_.currentFile(row.path);
    observer_.progress(stats);
    step_ = Step::AwaitSdl;
}

void EthernetSendFlow::sendNextFrame()
{
    const qint64 n = std::min<qint64>(data_.size() - position_, kFramePayload);
    ctx_.port.write(sendFrame(QByteArrayView(data_.constData() + position_, n)));
    position_ += n;
    stats.setProgress(position_, ++frame_);
    observer_.progress(stats);
}

void EthernetSendFlow::answerDownload(char reply)
{
    SendRow& row = rows[index_];
    switch (reply) {
    case kDle:
        setState(Msg::StateSendFail);
        if (ctx_.prompter.ask(ctx_.text(Msg::SendNoRightQuestion, row.path), Buttons::YesNo) == Answer::Yes)
            finish(false);
        else
            nextRow();
        return;
    case kCan:
        setState(Msg::StateError);
        finish(false);
        return;
    case kSub:
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::SendNotSuit));
        setState(Msg::StateError);
        finish(false);
        return;
    case kFs:
        ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::FileCountOver400));
        setState(Msg::StateUnsend);
        finish(false);
        return;
    case kEsc: {
        const rowwalk::Existing choice = rowwalk::askAboutExistingName(row, ctx_);
        if (choice == rowwalk::Existing::Overwrite) {
            ctx_.port.write(one(kAck));  // overwrite: the controller answers "sdlok"
            return;
        }
        if (choice == rowwalk::Existing::Renamed) {
            observer_.rowChanged(index_);
            ctx_.port.write(one(kNak));
            ctx_.port.pause(30);
            ctx_.port.write(downloadCommand(row.targetName, row.size));
            return;
        }
        ctx_.port.write(one(kCan));
        nextRow();
        return;
    }
    default:
        return;  // other bytes mean nothing here
    }
}

void EthernetSendFlow::pump()
{
    while (running_ && !reply_.empty()) {
        if (step_ == Step::Stream) {
            skipLineEnds(reply_);
            if (reply_.empty())
                return;
            const char b = reply_.take(1).front();
            if (b != kAck) {
                reply_.reset();
                setState(Msg::StateError);
                ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::NetDiskFull));
                finish(false);
                return;
            }
            if (stopRequested_) {
                ctx_.port.write(one(kCan));
                setState(Msg::StateError);
                finish(false);
                return;
            }
            if (position_ < data_.size()) {
                sendNextFrame();
                continue;
            }
            ctx_.port.pause(100);
            reply_.reset();
            endOfFile();
            return;
        }
        if (step_ == Step::VerifyStream) {
            verifyFrames();
            return;
        }
        skipLineEnds(reply_);
        if (reply_.empty() || wordPending())
            return;
        if (step_ == Step::AwaitProof) {
            // Any answer at all, even a refusal of the partition, came after the EOT was read.
            if (!reply_.controlFirst() && !replyComplete())
                return;
            reply_.reset();
            fileStored();
            return;
        }
        if (step_ == Step::VerifySul) {
            if (!reply_.controlFirst() && !reply_.startsWith(kSulOk)) {
                reply_.reset();
                verified(false);
                return;
            }
            if (reply_.controlFirst()) {
                reply_.reset();
                verified(false);
                return;
            }
            if (!replyComplete())
                return;
            const auto size = parseUploadSize(reply_.bytes());
            reply_.reset();
            if (!size || *size != data_.size()) {
                ctx_.port.write(one(kCan));
                verified(false);
                return;
            }
            readBackSize_ = *size;
            replyTicks_ = 0;
            step_ = Step::VerifyStream;
            ctx_.port.write(one(kAck));
            return;
        }
        if (step_ == Step::AwaitScd) {
            ctx_.port.stopTimer(nettimers::kSendReply);
            if (!reply_.startsWith(kScdOk)) {
                // The row and the log say which area the controller would not open, and its words.
                SendRow& row = rows[index_];
                const QString answer = QString::fromLatin1(reply_.bytes()).trimmed();
                rows[index_].state = ctx_.text(Msg::StatePartitionRefused, row.partition);
                observer_.rowChanged(index_);
                recordRow();
                observer_.log(LogEntry::Failed, row.path + QStringLiteral(": ") + rows[index_].state
                                                    + (answer.isEmpty() ? QString() : QStringLiteral(" (") + answer + QLatin1Char(')')));
                finish(false);
                return;
            }
            reply_.reset();
            if (stopRequested_) {
                finish(false);
                return;
            }
            openAndDownload();
            return;
        }
        // AwaitSdl
        if (reply_.controlFirst()) {
            answerDownload(reply_.take(1).front());
            continue;
        }
        if (!reply_.startsWith(kSdlOk)) {
            reply_.reset();
            return;
        }
        reply_.reset();
        if (stopRequested_) {
            ctx_.port.write(one(kCan));
            setState(Msg::StateError);
            finish(false);
            return;
        }
        position_ = 0;
        frame_ = 0;
        if (data_.isEmpty()) {
            // An empty file is one empty block, as the serial link counts it.
            endOfFile();
            return;
        }
        step_ = Step::Stream;
        sendNextFrame();
        return;
    }
}

void EthernetSendFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == nettimers::kReplyGather) {
        gatherTimedOut();
    } else if (id == nettimers::kSendStats) {
        stats.tick();
        observer_.progress(stats);
    } else if (id == nettimers::kSendForcedEnd) {
        linkLost();
    } else if (id == nettimers::kSendReply && ++replyTicks_ >= 9) {
        const bool fileWasWritten = step_ == Step::AwaitProof || step_ == Step::VerifySul || step_ == Step::VerifyStream;
        step_ = Step::AwaitScd;
        setState(fileWasWritten ? Msg::StateNotConfirmed : Msg::StateError);
        if (fileWasWritten)
            observer_.log(LogEntry::Failed, rows[index_].path + QStringLiteral(": ") + rows[index_].state);
        ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(fileWasWritten ? Msg::WaitedForConfirm : Msg::WaitedForAnswer));
        finish(false);
    }
}

void EthernetSendFlow::stop()
{
    if (!running_ || stopRequested_)
        return;
    stopRequested_ = true;
    ctx_.port.startTimer(nettimers::kSendForcedEnd, nettimers::kSendForcedEndMs, false);
}

// ---------------------------------------------------------------- dispatch

void EthernetFlowSet::onBytes(QByteArrayView chunk)
{
    if (EthernetFlow* f = active())
        f->onBytes(chunk);
}

void EthernetFlowSet::linkLost()
{
    if (EthernetFlow* f = active())
        f->linkLost();
}

}  // namespace vantor::fernlink
