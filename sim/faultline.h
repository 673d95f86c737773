// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The random fault mode of the simulated controller (cncsim --chaos SEED): a seeded choice,
// made afresh for every read and every connection, of what a bad line or a busy controller
// does to an exchange. It decides only; cncsim applies the verdicts to its pty and sockets.
//
// Byte faults (noise, lost and doubled bytes) are played on what the controller sends, where
// the PC's XModem checks catch them; a command line has no check, and a garbled name on the
// way in would only store a file under another name, which tells nothing about the PC side.
// Ethernet delivers bytes exactly, so there the faults are the connection's: refused, dropped,
// hung (silent for good) and replies in small pieces.
//
// No moment is spared: the PC's lone EOT that ends a file or a DNC stream gets no answer of its
// own, and a controller that goes away just as it arrives has stored nothing. The PC must not
// call such a file sent; it learns that the EOT arrived only from the controller's answer to
// its next command.
#include <QByteArray>

#include <cstdint>
#include <random>

namespace vantor::sim {

struct FaultCounts {
    int noise = 0;
    int dropped = 0;
    int duplicated = 0;
    int silences = 0;
    int refusals = 0;
    int disconnects = 0;
    int splitSessions = 0;
};

class FaultLine {
public:
    // Chances in thousandths, per read or write unless said otherwise.
    struct Rates {
        int noise = 12;
        int drop = 12;
        int duplicate = 12;
        int silence = 2;
        int disconnect = 3;
        int refuse = 60;      // per connection
        int split = 250;      // per connection: its replies and frames go in pieces
    };
    // Serial silences last longer than the PC's patience (its time-out is set below this).
    static constexpr int kSerialSilenceMs = 2500;

    explicit FaultLine(std::uint32_t seed) : FaultLine(seed, Rates{}) {}
    FaultLine(std::uint32_t seed, Rates rates) : random_(seed), rates_(rates) {}

    // What of bytes the controller writes reaches the PC: a byte lost, doubled or one of
    // line noise put in, now and then.
    QByteArray garble(QByteArray bytes);
    // A new serial silence starts now (the caller drops everything for kSerialSilenceMs).
    bool startSilence() { return chance(rates_.silence, &counts_.silences); }
    // TCP: what happens to a new connection and, on each read, to one already open.
    bool refuseConnection() { return chance(rates_.refuse, &counts_.refusals); }
    bool dropConnection() { return chance(rates_.disconnect, &counts_.disconnects); }
    bool hangConnection() { return chance(rates_.silence, &counts_.silences); }
    // 0: replies whole; otherwise the piece size for this connection.
    int pieceSize();

    const FaultCounts& counts() const { return counts_; }

private:
    bool chance(int perThousand, int* counter);
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    std::mt19937 random_;
    Rates rates_;
    FaultCounts counts_;
};

}  // namespace vantor::sim
