// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the XModem receiver fed whatever the line delivers, in reads of any size,
// with ticks of its start-request timer in between. What it hands on must be whole blocks.
#include "serialcore/fuzz/fuzzinput.h"
#include "serialcore/xmodem.h"

#include <cstdlib>

namespace {

struct Keeper : vantor::XModemObserver {
    bool open = false;
    bool finished = false;
    qint64 kept = 0;
    bool openReceiveFile() override { return open = true; }
    bool writeBlock(QByteArrayView data) override
    {
        if (!open || finished || data.size() != 128)
            std::abort();
        kept += data.size();
        return true;
    }
    void receiveFinished(vantor::ReceiveResult) override
    {
        if (finished)
            std::abort();   // one result per file
        finished = true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vantor::fuzzing::EventReader input(data, size);
    vantor::fuzzing::FuzzLinkPort port;
    Keeper keeper;
    const int setup = input.take();
    vantor::CXModem x(port, keeper, setup & 1 ? vantor::XModemVariant::Fernlink : vantor::XModemVariant::Fernport);
    x.beginReceive(1500, 1 + (setup >> 1) % 8, setup & 0x10);
    for (auto e = input.next(); e.kind != vantor::fuzzing::EventReader::Kind::End; e = input.next()) {
        if (e.kind == vantor::fuzzing::EventReader::Kind::Read) {
            x.onReceiverChunk(e.bytes);
        } else {
            const int id = port.fire(e.selector);
            if (id >= 0)
                x.onTimer(id);
        }
        if (!x.isReceiving())
            break;
    }
    return 0;
}
