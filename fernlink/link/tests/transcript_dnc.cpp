// SPDX-License-Identifier: GPL-3.0-or-later
// Scripts for DNC over either link.
#include "fernlink/link/tests/flowtests.h"
#include "fernlink/link/tests/transcript_rig.h"

namespace vantor::fernlink::transcript {

namespace {

using namespace flowtests;

using namespace net;

QByteArray program(int lines)
{
    QByteArray text = "O0007\r\nG21 G90\r\n";
    for (int i = 1; i <= lines; ++i)
        text += "N" + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i) + "\r\n";
    return text;
}

DncDocument document(Rig& r, const QByteArray& data)
{
    return {r.file(QStringLiteral("prog.nc"), data), false, lineCount(data), data.isEmpty()};
}

void start(Rig& r, const QByteArray& data, const char* line = "1")
{
    r.toDnc = true;
    r.prompter.texts.push_back(QString::fromLatin1(line));
    r.started("dnc", r.dnc.start(document(r, data)));
}

}  // namespace

std::vector<Scenario> dncScenarios()
{
    return {
        {"start checks", [](Rig& r) {
             r.toDnc = true;
             r.state.link = LinkType::LinkNone;
             r.started("dnc", r.dnc.start(document(r, "G1\n")));
             r.state.link = LinkType::LinkEthernet;
             r.state.operation = OperationState::OpNetList;
             r.started("dnc busy", r.dnc.start(document(r, "G1\n")));
             r.state.operation = OperationState::OpIdle;
             DncDocument d = document(r, "G1\n");
             d.modified = true;
             r.started("dnc modified", r.dnc.start(d));
             d = {};
             r.started("dnc no file", r.dnc.start(d));
             r.started("dnc empty", r.dnc.start(document(r, {})));
             start(r, "G1\nG2\n", "3");
             start(r, "G1\nG2\n", "NX");
             r.prompter.texts = {QStringLiteral("bad"), std::nullopt};
             r.started("dnc", r.dnc.start(document(r, "G1\n")));
         }},
        {"Ethernet: chunks, ticks, EOT and its proof", [](Rig& r) {
             r.state.link = LinkType::LinkEthernet;
             start(r, program(300));
             r.in("dnc");
             r.in("ok");
             r.tick(dnctimers::kStats);
             r.in(one(kAck));
             r.in(one(kAck));
             r.in(one(kAck));
             r.in(one(kAck));
             r.in("scd");
             r.tick(dnctimers::kReplyGather);
         }},
        {"Ethernet: refusals and time-outs", [](Rig& r) {
             r.state.link = LinkType::LinkEthernet;
             start(r, "G1\n");
             r.in("xxxxx AUTO\r\n");
             start(r, "G1\n");
             r.in("abcde BUF");
             r.in("F NOT EMPTY\r\n");
             start(r, "G1\n");
             r.in("q");
             r.tick(dnctimers::kReplyGather);
             start(r, "G1\n");
             r.tick(dnctimers::kReply, 6);
             start(r, QByteArray(3000, 'g'));
             r.in("dncok");
             r.in(one(kNak));
             start(r, "G1\n");
             r.in("dncok");
             r.tick(dnctimers::kReply, 6);
         }},
        {"Ethernet: stop asks; No goes on with what came meanwhile, Yes cancels", [](Rig& r) {
             r.state.link = LinkType::LinkEthernet;
             start(r, program(300));
             r.in("dncok");
             r.prompter.whileAsking = [&r] { r.in(one(kAck)); };
             r.prompter.answers = {Answer::No};
             r.stop();
             r.prompter.whileAsking = {};
             r.prompter.answers = {Answer::Yes};
             r.stop();
             start(r, program(300));
             r.in("dncok");
             r.prompter.whileAsking = [&r] { r.linkLost(); };
             r.prompter.answers = {Answer::Yes};
             r.stop();
         }},
        {"Ethernet: link lost mid-stream, restart offered", [](Rig& r) {
             r.state.link = LinkType::LinkEthernet;
             start(r, program(400), "N30");
             r.in("dncok");
             r.in(one(kAck));
             r.linkLost();
             r.state.link = LinkType::LinkEthernet;
             r.prompter.answers = {Answer::Yes};
             r.started("dnc", r.dnc.start(document(r, program(400))));
             r.in("dncok");
             r.log.add(QStringLiteral("# receive error"));
             r.dnc.receiveError();
         }},
        {"serial: stream, repeated C, EOT", [](Rig& r) {
             start(r, QByteArray(300, 'a'));
             r.in("C");
             r.in("C");
             r.tick(dnctimers::kStats);
             r.in(one(kAck));
             r.in(one(kNak));
             r.in(one(kAck));
             r.in(one(kAck));
             r.stop();
             r.in(one(kAck));
         }},
        {"serial: twenty-first NAK, silence, late C", [](Rig& r) {
             start(r, QByteArray(300, 'a'));
             r.in("C");
             for (int i = 0; i < 21; ++i)
                 r.in(one(kNak));
             start(r, "G1\n");
             r.tick(dnctimers::kReply, 6);
             r.in("C");
         }},
        {"serial: stop holds replies; the controller's CAN does not wait", [](Rig& r) {
             start(r, QByteArray(1000, 'b'));
             r.in("C");
             r.prompter.whileAsking = [&r] { r.in(one(kNak)); };
             r.prompter.answers = {Answer::No};
             r.stop();
             r.prompter.whileAsking = [&r] { r.in(one(kCan)); };
             r.prompter.answers = {Answer::Yes};
             r.stop();
             r.prompter.whileAsking = {};
             start(r, QByteArray(1000, 'b'));
             r.in("C");
             r.prompter.answers = {Answer::Yes};
             r.stop();
             start(r, QByteArray(1000, 'b'));
             r.prompter.answers = {Answer::Yes};
             r.stop();
         }},
    };
}

}  // namespace vantor::fernlink::transcript
