// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// XModem-CRC with 128-byte blocks in both directions, as the controller speaks it. The
// engine does no I/O: it is handed the line's bytes and its timer ticks, and answers
// through a LinkPort (bytes, pauses, purges, timers) and an observer (progress, file data,
// results). One object serves one direction at a time.
#include "serialcore/linkport.h"
#include "serialcore/serialwire.h"

#include <QByteArray>

#include <array>
#include <cstdint>

namespace vantor {

// The two programs share the block exchange but differ in a few reactions.
enum class XModemVariant { Fernport, Fernlink };

enum class SendResult {
    Sent,
    Failed,     // CAN from the controller (after the retry, where there is one)
    NoRight,    // 0x10
    NotSuit,    // 0x1A
    Exists,     // 0x1B
    Full,       // 0x1C: the controller holds as many files as it can
    Cancelled,  // ended from our side
};

enum class ReceiveResult {
    Received,
    Failed,      // CAN from the controller
    NoRight,     // 0x10 instead of the first frame
    Garbled,     // more bytes than one frame; aborted with CAN + LF
    OpenFailed,  // the target could not be created; CAN sent
    WriteFailed, // the target refused data; CAN sent
    TimedOut,    // no frame after the last start request
    Cancelled,   // ended from our side
};

class XModemObserver {
public:
    virtual ~XModemObserver() = default;
    // Sender.
    virtual void sendStarted(int /*totalBlocks*/) {}
    // A frame (or, at block totalBlocks + 1, EOT) went out for the first time.
    virtual void blockSent(int /*block*/, int /*totalBlocks*/, qint64 /*bytesSent*/) {}
    virtual void nakReceived() {}
    // CAN retry: the engine has queued a 100 ms pause; the owner sends xdel, a 100 ms pause
    // and xdl for the same file, and the file starts again from block 1 at the next C.
    virtual void canRetryRequested() {}
    virtual void sendFinished(SendResult) {}
    // Receiver. openReceiveFile() is asked on the first frame; false fails the file.
    virtual bool openReceiveFile() { return true; }
    virtual bool writeBlock(QByteArrayView /*data*/) { return true; }
    // EOT arrived: store the file under its name. EOT is acknowledged only after this
    // returned true, so the sender never reports a file the receiver failed to keep.
    virtual bool completeReceiveFile() { return true; }
    virtual void blockReceived(int /*block*/) {}
    virtual void badBlock(bool /*crcError*/) {}
    virtual void receiveFinished(ReceiveResult) {}
};

class CXModem {
public:
    static constexpr int kStartTimerId = 5101;   // repeated start requests of the receiver
    static constexpr int kNoTimerLimit = -1;

    CXModem(LinkPort& port, XModemObserver& observer, XModemVariant variant);

    // ---- sender ----
    // The file is open and the controller has been asked to receive it; nothing goes out
    // before its C. In DNC mode a CAN fails the file at once.
    void beginSend(QByteArray file, bool dncMode = false);
    // Bytes the controller sent while a send is under way; unknown bytes are ignored.
    void onSenderBytes(QByteArrayView bytes);
    void onSenderByte(char byte);
    // Writes CAN and forgets the file; no result is reported.
    void cancelSend();
    bool isSending() const { return sending_; }
    bool sendStartedByPeer() const { return started_; }
    int totalBlocks() const { return totalBlocks_; }

    // ---- receiver ----
    // Writes C every periodMs until the first frame, at most maxRequests times; with
    // giveUp set the file fails one period after the last request, otherwise it waits on.
    void beginReceive(int periodMs, int maxRequests, bool giveUp);
    // A new round of start requests (another period and count) while no frame has come yet;
    // does nothing once the transfer has begun.
    void restartStartRequests(int periodMs, int maxRequests, bool giveUp);
    bool awaitingFirstFrame() const { return receiving_ && !receiveFileOpen_ && assembled_ == 0; }
    void onReceiverChunk(QByteArrayView chunk);
    void onTimer(int id);
    // Writes CAN, waits 100 ms, purges; no result is reported.
    void cancelReceive();
    bool isReceiving() const { return receiving_; }
    int startRequests() const { return startRequests_; }

    XModemVariant variant() const { return variant_; }

    static QByteArray buildFrame(int blockCounter, QByteArrayView data, char pad = wire::kPadByte);
    static int blocksFor(qint64 length);

private:
    void startSend();
    void sendNextBlock();
    void finishSend(SendResult result);
    void gather(QByteArrayView chunk);
    void verifyFrame();
    void finishReceive(ReceiveResult result, bool ackAndPurge);
    void abortGarbled();

    LinkPort& port_;
    XModemObserver& observer_;
    XModemVariant variant_;

    // sender
    QByteArray file_;
    qint64 position_ = 0;
    bool sending_ = false;
    bool fileOpen_ = false;   // false once EOT has been written
    bool started_ = false;
    bool dncMode_ = false;
    bool retried_ = false;
    int generation_ = 0;
    int totalBlocks_ = 0;
    int blockCounter_ = 0;
    QByteArray lastFrame_;
    char padByte_ = wire::kInitialPadByte;
    int canRetry_ = 1;  // lives as long as the engine; a CAN before the first C ever fails at once

    // receiver
    bool receiving_ = false;
    bool receiveFileOpen_ = false;
    int expectedBlock_ = 1;
    int assembled_ = 0;
    std::array<char, 133> frame_{};
    int startRequests_ = 0;
    int maxStartRequests_ = 0;
    bool giveUp_ = false;
};

}  // namespace vantor
