// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/xmodem.h"

#include "serialcore/crc16.h"

#include <algorithm>

namespace vantor {

using namespace wire;

CXModem::CXModem(LinkPort& port, XModemObserver& observer, XModemVariant variant)
    : port_(port), observer_(observer), variant_(variant)
{
}

int CXModem::blocksFor(qint64 length)
{
    return static_cast<int>((length + kBlockSize - 1) / kBlockSize);
}

QByteArray CXModem::buildFrame(int blockCounter, QByteArrayView data, char pad)
{
    QByteArray frame(kFrameSize, pad);
    const auto number = static_cast<unsigned char>(blockCounter & 0xFF);
    frame[0] = kSoh;
    frame[1] = static_cast<char>(number);
    frame[2] = static_cast<char>(255 - number);
    const qsizetype n = std::min<qsizetype>(data.size(), kBlockSize);
    std::copy_n(data.data(), n, frame.data() + kFrameDataOffset);
    const std::uint16_t crc = crc16Xmodem(QByteArrayView(frame.constData() + kFrameDataOffset, kBlockSize));
    frame[kFrameCrcOffset] = static_cast<char>(crc >> 8);
    frame[kFrameCrcOffset + 1] = static_cast<char>(crc & 0xFF);
    return frame;
}

// ---------------------------------------------------------------- sender

void CXModem::beginSend(QByteArray file, bool dncMode)
{
    file_ = std::move(file);
    ++generation_;
    position_ = 0;
    sending_ = true;
    fileOpen_ = true;
    started_ = false;
    dncMode_ = dncMode;
    retried_ = false;
    totalBlocks_ = 0;
    blockCounter_ = 0;
    lastFrame_.clear();
}

void CXModem::startSend()
{
    padByte_ = kPadByte;
    blockCounter_ = 0;
    position_ = 0;
    fileOpen_ = true;
    totalBlocks_ = blocksFor(file_.size());
    observer_.sendStarted(std::max(totalBlocks_, 1));
    sendNextBlock();
}

void CXModem::sendNextBlock()
{
    ++blockCounter_;
    if (!fileOpen_)
        return;
    const qint64 left = file_.size() - position_;
    if (left <= 0) {
        fileOpen_ = false;
        lastFrame_ = QByteArray(1, kEot);
        port_.write(lastFrame_);
        if (totalBlocks_ == 0)
            totalBlocks_ = 1;
    } else {
        const qint64 n = std::min<qint64>(left, kBlockSize);
        lastFrame_ = buildFrame(blockCounter_, QByteArrayView(file_.constData() + position_, n), padByte_);
        position_ += n;
        port_.write(lastFrame_);
    }
    observer_.blockSent(blockCounter_, totalBlocks_, position_);
}

void CXModem::onSenderBytes(QByteArrayView bytes)
{
    // A result may start the next file from inside the loop; the rest of this chunk
    // belongs to the file that just ended.
    const int generation = generation_;
    for (char b : bytes) {
        if (!sending_ || generation != generation_)
            return;
        onSenderByte(b);
    }
}

void CXModem::onSenderByte(char byte)
{
    if (!sending_)
        return;
    switch (byte) {
    case kStartCrc:
        if (started_)
            return;
        started_ = true;
        // The C after a retried xdl does not grant a second retry, or a controller that
        // keeps cancelling would loop for ever.
        canRetry_ = (dncMode_ || retried_) ? 1 : 0;
        startSend();
        return;
    case kAck:
        if (!started_)
            return;
        if (!fileOpen_)
            finishSend(SendResult::Sent);
        else
            sendNextBlock();
        return;
    case kNak:
        if (!started_ || lastFrame_.isEmpty())
            return;
        observer_.nakReceived();
        // After EOT the receiver missed the end of file: EOT again, never a stale block.
        port_.write(lastFrame_);
        return;
    case kCan:
        if (variant_ == XModemVariant::Fernport && canRetry_ < 1) {
            ++canRetry_;
            retried_ = true;
            // The retried xdl starts the file afresh: the next C must begin at block 1
            // rather than be ignored as a repeat of a transfer the controller gave up on.
            started_ = false;
            position_ = 0;
            blockCounter_ = 0;
            fileOpen_ = true;
            lastFrame_.clear();
            port_.pause(100);
            observer_.canRetryRequested();
            return;
        }
        if (!dncMode_)
            canRetry_ = 0;
        finishSend(SendResult::Failed);
        return;
    case kDle:
        finishSend(SendResult::NoRight);
        return;
    case kSub:
        finishSend(SendResult::NotSuit);
        return;
    case kEsc:
        finishSend(SendResult::Exists);
        return;
    case kFs:
        if (variant_ == XModemVariant::Fernlink)
            finishSend(SendResult::Full);
        return;
    default:
        return;
    }
}

void CXModem::finishSend(SendResult result)
{
    sending_ = false;
    fileOpen_ = false;
    started_ = false;
    file_.clear();
    observer_.sendFinished(result);
}

void CXModem::cancelSend()
{
    if (!sending_)
        return;
    sending_ = false;
    fileOpen_ = false;
    started_ = false;
    file_.clear();
    port_.write(QByteArray(1, kCan));
}

// ---------------------------------------------------------------- receiver

void CXModem::beginReceive(int periodMs, int maxRequests, bool giveUp)
{
    receiving_ = true;
    receiveFileOpen_ = false;
    assembled_ = 0;
    expectedBlock_ = 1;
    startRequests_ = 0;
    maxStartRequests_ = maxRequests;
    giveUp_ = giveUp;
    port_.startTimer(kStartTimerId, periodMs, true);
}

void CXModem::restartStartRequests(int periodMs, int maxRequests, bool giveUp)
{
    if (!awaitingFirstFrame())
        return;
    startRequests_ = 0;
    maxStartRequests_ = maxRequests;
    giveUp_ = giveUp;
    port_.startTimer(kStartTimerId, periodMs, true);
}

void CXModem::onTimer(int id)
{
    if (id != kStartTimerId || !receiving_ || receiveFileOpen_)
        return;
    if (startRequests_ >= maxStartRequests_) {
        port_.stopTimer(kStartTimerId);
        if (giveUp_) {
            receiving_ = false;
            observer_.receiveFinished(ReceiveResult::TimedOut);
        }
        return;
    }
    ++startRequests_;
    port_.write(QByteArray(1, kStartCrc));
    if (startRequests_ >= maxStartRequests_ && !giveUp_)
        port_.stopTimer(kStartTimerId);
}

void CXModem::onReceiverChunk(QByteArrayView chunk)
{
    if (!receiving_ || chunk.isEmpty())
        return;
    if (assembled_ == 0) {
        switch (chunk.front()) {
        case kSoh:
            if (!receiveFileOpen_) {
                port_.stopTimer(kStartTimerId);
                if (!observer_.openReceiveFile()) {
                    port_.write(QByteArray(1, kCan));
                    receiving_ = false;
                    observer_.receiveFinished(ReceiveResult::OpenFailed);
                    return;
                }
                receiveFileOpen_ = true;
                expectedBlock_ = 1;
            }
            gather(chunk);
            return;
        case kEot:
            if (!observer_.completeReceiveFile()) {
                port_.stopTimer(kStartTimerId);
                port_.write(QByteArray(1, kCan));
                receiving_ = false;
                receiveFileOpen_ = false;
                observer_.receiveFinished(ReceiveResult::WriteFailed);
                return;
            }
            finishReceive(ReceiveResult::Received, true);
            return;
        case kCan:
            finishReceive(ReceiveResult::Failed, true);
            return;
        case kDle:
            port_.stopTimer(kStartTimerId);
            receiving_ = false;
            receiveFileOpen_ = false;
            observer_.receiveFinished(ReceiveResult::NoRight);
            return;
        default:
            break;
        }
    }
    if (!receiveFileOpen_)
        return;
    if (assembled_ > 0 || chunk.front() == kSoh) {
        gather(chunk);
    } else {
        observer_.badBlock(false);
        port_.write(QByteArray(1, kNak));
    }
}

void CXModem::gather(QByteArrayView chunk)
{
    const qsizetype total = assembled_ + chunk.size();
    if (total > kFrameSize) {
        abortGarbled();
        return;
    }
    std::copy(chunk.begin(), chunk.end(), frame_.begin() + assembled_);
    assembled_ = static_cast<int>(total);
    if (assembled_ == kFrameSize)
        verifyFrame();
}

void CXModem::verifyFrame()
{
    assembled_ = 0;
    const auto number = static_cast<unsigned char>(frame_[1]);
    const auto complement = static_cast<unsigned char>(frame_[2]);
    const QByteArrayView data(frame_.data() + kFrameDataOffset, kBlockSize);
    const std::uint16_t crc = crc16Xmodem(data);
    const std::uint16_t sent = static_cast<std::uint16_t>(
        (static_cast<unsigned char>(frame_[kFrameCrcOffset]) << 8) | static_cast<unsigned char>(frame_[kFrameCrcOffset + 1]));
    const bool intact = complement == 255 - number && crc == sent;
    if (intact && number == (expectedBlock_ & 0xFF)) {
        if (!observer_.writeBlock(data)) {
            port_.write(QByteArray(1, kCan));
            receiving_ = false;
            receiveFileOpen_ = false;
            observer_.receiveFinished(ReceiveResult::WriteFailed);
            return;
        }
        observer_.blockReceived(expectedBlock_);
        ++expectedBlock_;
        port_.write(QByteArray(1, kAck));
        return;
    }
    // A repeat of the block just taken means our ACK was lost; only an intact copy counts,
    // otherwise a damaged frame with a stale number would be acknowledged unseen.
    if (intact && expectedBlock_ > 1 && number == ((expectedBlock_ - 1) & 0xFF)) {
        port_.write(QByteArray(1, kAck));
        return;
    }
    const bool crcError = complement == 255 - number && crc != sent;
    observer_.badBlock(crcError);
    port_.write(QByteArray(1, kNak));
}

void CXModem::abortGarbled()
{
    port_.write(QByteArray(1, kCan));
    port_.pause(10);
    port_.write(QByteArray(1, kLf));
    port_.purge();
    assembled_ = 0;
    receiving_ = false;
    receiveFileOpen_ = false;
    observer_.receiveFinished(ReceiveResult::Garbled);
}

void CXModem::finishReceive(ReceiveResult result, bool ackAndPurge)
{
    port_.stopTimer(kStartTimerId);
    if (ackAndPurge) {
        port_.write(QByteArray(1, kAck));
        port_.pause(10);
        port_.purge();
        port_.pause(10);
    }
    assembled_ = 0;
    receiving_ = false;
    receiveFileOpen_ = false;
    observer_.receiveFinished(result);
}

void CXModem::cancelReceive()
{
    if (!receiving_)
        return;
    port_.stopTimer(kStartTimerId);
    port_.write(QByteArray(1, kCan));
    port_.pause(100);
    port_.purge();
    port_.pause(10);
    assembled_ = 0;
    receiving_ = false;
    receiveFileOpen_ = false;
}

}  // namespace vantor
