// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// DNC streaming of the editor's program over either link: over the serial line as an
// XModem-CRC send that the controller starts with its C, over Ethernet as raw 2048-byte
// chunks after the controller agreed. No I/O of its own: bytes, ticks and answers come in,
// writes and timers go out through the LinkPort of the link in use.
#include "common/prompter.h"
#include "fernlink/link/ethernetflows.h"
#include "serialcore/xmodem.h"

namespace vantor::fernlink {

namespace dnctimers {
constexpr int kStats = 1;  // 1 s statistics
constexpr int kReply = 2;  // 1 s ticks waiting for the controller's first reply
constexpr int kReplyGather = 3;
constexpr int kReplyTicks = 6;
constexpr int kMaxRetries = 21;  // the NAK that aborts the stream
}  // namespace dnctimers

// What the editor knows about the program it holds.
struct DncDocument {
    QString path;         // empty when the document has no file
    bool modified = false;
    qint64 lines = 0;     // the editor's line count
    bool empty = false;   // the editor text is empty
};

class DncFlow : private XModemObserver {
public:
    DncFlow(LinkPort& serialPort, LinkPort& ethernetPort, ProgramState& state, Prompter& prompter,
            EthernetObserver& observer);

    bool start(const DncDocument& document);
    void onBytes(QByteArrayView chunk);
    void onTimer(int id);
    // Asks first; No leaves everything as it is.
    void stop();
    // Ethernet: the socket reported an error while reading.
    void receiveError();
    // Ethernet: the connection closed.
    void closed();

    bool running() const { return running_; }
    qint64 total() const { return total_; }
    qint64 done() const { return done_; }
    qint64 startOffset() const { return offset_; }
    int block() const { return block_; }
    int packetsTotal() const { return packetsTotal_; }
    int retries() const { return retries_; }
    int totalErrors() const { return totalErrors_; }
    QString packetsText() const;
    QString progressText() const;
    TransferStatistics stats;

private:
    QString text(Msg id) const { return message(id, state_.language); }
    LinkPort& port() { return ethernet_ ? ethernetPort_ : serialPort_; }
    void finish();
    void serialByte(char b);
    void ethernetReply();
    void progress(qint64 done);

    void blockSent(int block, int totalBlocks, qint64 bytesSent) override;
    void sendFinished(SendResult result) override;

    LinkPort& serialPort_;
    LinkPort& ethernetPort_;
    ProgramState& state_;
    Prompter& prompter_;
    EthernetObserver& observer_;
    CXModem xmodem_;
    net::ReplyGatherer reply_;
    QString path_;
    QByteArray data_;
    qint64 offset_ = 0;
    qint64 total_ = 0;
    qint64 done_ = 0;
    int block_ = 0;
    int packetsTotal_ = 0;
    int retries_ = 0;
    int totalErrors_ = 0;
    int replyTicks_ = 0;
    int phase_ = 0;
    bool started_ = false;
    bool ethernet_ = false;
    bool running_ = false;
    bool gatherExpired_ = false;
};

}  // namespace vantor::fernlink
