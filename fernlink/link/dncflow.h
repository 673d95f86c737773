// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// DNC streaming of the editor's program over either link: over the serial line as an
// XModem-CRC send that the controller starts with its C, over Ethernet as raw 2048-byte
// chunks after the controller agreed. No I/O of its own: bytes, ticks and answers come in,
// writes and timers go out through the LinkPort of the link in use.
#include "common/prompter.h"
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/questionguard.h"
#include "fernlink/link/rowloop.h"
#include "serialcore/dncrestart.h"
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
    // Asks first, holding the stream while the question is open; No lets it go on, Yes
    // cancels it unless it ended meanwhile.
    void stop();
    // Ethernet: the socket reported an error while reading.
    void receiveError();
    // Ethernet: the connection closed.
    void closed();
    // Serial: the port went away (unplugged, I/O error).
    void serialLost();

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

    // What goes before a stream that starts after line 1.
    dnc::HeaderMode headerMode = dnc::HeaderMode::ProgramStart;
    QByteArray customHeader;

    // Where the last stream that the link cut off can start again: the program and the first
    // line the controller did not acknowledge whole. Offered at the next start of that program.
    struct RestartPoint {
        QString path;
        qint64 line = 0;
    };
    const RestartPoint& restartPoint() const { return restart_; }
    // The last end was the link's loss in the middle of a stream.
    bool cutByLink() const { return cutByLink_; }
    // The last end was the user's Stop.
    bool cancelled() const { return cancelled_; }
    // The line of the program the controller has acknowledged up to (whole lines before it).
    qint64 restartLine() const;

private:
    QString text(Msg id) const { return message(id, state_.language); }
    LinkPort& port() { return ethernet_ ? ethernetPort_ : serialPort_; }
    void finish(bool completed);
    void serialByte(char b);
    void ethernetReply();
    void progress(qint64 done);
    std::optional<qint64> askStartLine(const DncDocument& document, const QByteArray& file);
    void linkCut(Msg fallback);
    void askToStop();
    void ethernetEnd();

    void blockSent(int block, int totalBlocks, qint64 bytesSent) override;
    void sendFinished(SendResult result) override;

    LinkPort& serialPort_;
    LinkPort& ethernetPort_;
    ProgramState& state_;
    GuardedPrompter prompter_;  // holds the controller's answers while Stop asks
    EthernetObserver& observer_;
    StatsClock clock_{stats, dnctimers::kStats};
    Deadline deadline_{dnctimers::kReply, dnctimers::kReplyTicks};
    CXModem xmodem_;
    net::ReplyGatherer reply_;
    QString path_;
    QByteArray file_;      // the whole program, for the restart point
    QByteArray data_;      // what is streamed: the restart header, then the program from the start line
    qint64 headerSize_ = 0;
    qint64 startLine_ = 1;
    qint64 acked_ = 0;     // bytes of data_ the controller acknowledged
    bool eotWritten_ = false;
    bool cutByLink_ = false;
    bool cancelled_ = false;
    RestartPoint restart_;
    qint64 offset_ = 0;
    qint64 total_ = 0;
    qint64 done_ = 0;
    int block_ = 0;
    int packetsTotal_ = 0;
    int retries_ = 0;
    int totalErrors_ = 0;
    int phase_ = 0;  // Ethernet: 0 waiting for "dncok", 1 streaming, 2 waiting for the proof of the EOT
    bool started_ = false;
    bool ethernet_ = false;
    bool running_ = false;
    bool gatherExpired_ = false;
};

}  // namespace vantor::fernlink
