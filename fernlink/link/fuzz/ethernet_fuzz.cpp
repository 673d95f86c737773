// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the Ethernet flows' readers of the controller's replies, its file
// listings and its frame streams, fed in reads of any size with timer ticks, stops and lost
// connections in between; and the upload-size reply parser on the raw bytes.
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/ethernetprotocol.h"
#include "serialcore/fuzz/fuzzinput.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

using namespace vantor;
using namespace vantor::fernlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir folder(vantor::fuzzing::scratchTemplate());
    if (const auto n = net::parseUploadSize(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size))); n && *n < 0)
        std::abort();

    fuzzing::EventReader input(data, size);
    fuzzing::FuzzLinkPort port;
    ProgramState state{OperationState::OpIdle, LinkType::LinkEthernet, Language::English};
    ScriptedPrompter prompter;
    prompter.defaultAnswer = Answer::Yes;
    EthernetObserver observer;
    EthernetFlowSet flows(port, state, prompter, observer);
    const RemoteFileRow user{QStringLiteral("O00001.txt"), {}, QStringLiteral("USER"), {}, true};
    const RemoteFileRow sys{QStringLiteral("sys.cfg"), QStringLiteral("10"), QStringLiteral("SYS"), {}, true};
    switch (input.take() % 4) {
    case 0: flows.list.start(false); break;
    case 1: flows.list.start(true); break;
    case 2:
        flows.receive.rows = {user, sys};
        flows.receive.start(folder.path());
        break;
    default:
        flows.remove.rows = {user, sys};
        flows.remove.start();
        break;
    }
    for (auto e = input.next(); e.kind != fuzzing::EventReader::Kind::End && !state.idle(); e = input.next()) {
        if (e.kind == fuzzing::EventReader::Kind::Read) {
            flows.onBytes(e.bytes);
        } else if (e.selector >= 0xF0) {
            flows.stop();
        } else if (e.selector >= 0xE0) {
            flows.linkLost();
        } else if (const int id = port.fire(e.selector); id >= 0) {
            flows.onTimer(id);
        }
    }
    flows.linkLost();
    // Received files go away so every input starts from an empty folder.
    QDir dir(folder.path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    return 0;
}
