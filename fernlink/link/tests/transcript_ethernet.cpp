// SPDX-License-Identifier: GPL-3.0-or-later
// Scripts for the Ethernet link's list, send, receive and delete.
#include "fernlink/link/tests/flowtests.h"
#include "fernlink/link/tests/transcript_rig.h"

#include <QFile>

namespace vantor::fernlink::transcript {

namespace {

using namespace flowtests;

using namespace net;

RemoteFileRow remote(const char* name, const QString& label = QStringLiteral("USER"))
{
    return {QString::fromLatin1(name), {}, label, {}, true};
}

const QString kUsb = QString::fromUtf8(kLabelUsb);

void queue(Rig& r, const char* name, const QByteArray& data, TargetArea area = TargetArea::User)
{
    const QString path = r.file(QString::fromLatin1(name), data);
    r.net.send.rows.push_back(makeSendRow(path, QString::fromLatin1(name), data.size(), area, QStringLiteral("unsend")));
}

void onNet(Rig& r)
{
    r.state.link = LinkType::LinkEthernet;
}

}  // namespace

std::vector<Scenario> ethernetScenarios()
{
    return {
        {"list: both passes, split replies, system files dropped", [](Rig& r) {
             onNet(r);
             r.started("list", r.net.list.start(false));
             r.in("sc");
             r.in("dok\r\n");
             r.in("sls");
             r.in("ok1: O00001.txt\t 120\r\n2: PARA.VAL\t 9\r\n");
             r.in(one(kCan) + "junk");
             r.in("scdok");
             r.in("slsok1: ladinit.val\t 1\r\n2: sys.cfg\t 44\r\n" + one(kCan));
             r.summary(r.net.list.rows);
         }},
        {"list: USB, refusals, a short reply judged at the gather's end, stop", [](Rig& r) {
             onNet(r);
             r.started("list usb", r.net.list.start(true));
             r.in("scdok");
             r.in("slsok1: a.nc\t 3\r\n" + one(kCan));
             r.started("list", r.net.list.start(false));
             r.in("scder");
             r.started("list", r.net.list.start(false));
             r.in("scdok");
             r.in("no");
             r.tick(nettimers::kReplyGather);
             r.started("list", r.net.list.start(false));
             r.in("scdok\r\n");
             r.in("slser\r\n");
             r.started("list", r.net.list.start(false));
             r.in("scdok");
             r.in("slsok\r\n");
             r.in("scdok");
             r.in("slser");
             r.started("list", r.net.list.start(false));
             r.stop();
             r.in("scdok");
             r.summary(r.net.list.rows);
         }},
        {"idle bytes are dropped", [](Rig& r) {
             onNet(r);
             r.in(one(kAck));
             r.in("sdlok");
             r.tick(nettimers::kReplyGather);
             r.linkLost();
         }},
        {"delete: USB rows, a user row, then a refusal", [](Rig& r) {
             onNet(r);
             r.prompter.answers = {Answer::Yes};
             r.net.remove.rows = {remote("a.nc", kUsb), remote("b.nc", kUsb), remote("O00001.txt"), remote("O00002.txt", QStringLiteral("SYS"))};
             r.started("delete", r.net.remove.start());
             r.in("scdok");
             r.in("x" + one(kAck));
             r.in("scdok");
             r.in(one(kAck));
             r.in("scdok");
             r.in(one(kAck));
             r.in("scdok");
             r.in(one(kDle));
             r.summary(r.net.remove.rows);
         }},
        {"delete: partition refused; stop ends at the next answer; forced end", [](Rig& r) {
             onNet(r);
             r.prompter.answers = {Answer::Yes, Answer::Yes, Answer::Yes};
             r.net.remove.rows = {remote("O00001.txt"), remote("O00002.txt")};
             r.started("delete", r.net.remove.start());
             r.in("scder");
             r.started("delete", r.net.remove.start());
             r.in("scdok");
             r.stop();
             r.stop();
             r.in(one(kAck));
             r.started("delete", r.net.remove.start());
             r.stop();
             r.tick(nettimers::kForcedEnd);
             r.summary(r.net.remove.rows);
         }},
        {"receive: three sizes, ticks", [](Rig& r) {
             onNet(r);
             r.net.receive.rows = {remote("O0.txt"), remote("O2047.txt", kUsb), remote("O4095.txt", QStringLiteral("SYS"))};
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.in("sulok 0\r\n");
             r.in(one(kEot));
             r.in("scdok");
             r.in("sulok 2047\r\n");
             r.in(controllerFrames(patterned(2047)));
             r.in(one(kEot));
             r.in("scdok");
             r.in("sul");
             r.in("ok 4095");
             r.tick(nettimers::kReplyGather);
             const QByteArray f = controllerFrames(patterned(4095));
             r.in(f.left(1000));
             r.in(f.mid(1000, 1500));
             r.tick(nettimers::kReceiveStats, 2);
             r.in(f.mid(2500) + one(kEot));
             r.summary(r.net.receive.rows);
         }},
        {"receive: short stream, CAN, too many frames, EOT inside a frame", [](Rig& r) {
             onNet(r);
             r.net.receive.rows = {remote("O1.txt"), remote("O2.txt"), remote("O3.txt"), remote("O4.txt")};
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.in("sulok 3000\r\n");
             r.in(controllerFrames(patterned(2047)));
             r.in(one(kEot));
             r.in("scdok");
             r.in("sulok 3000\r\n");
             r.in(one(kCan));
             r.in("scdok");
             r.in("sulok 10\r\n");
             r.in(controllerFrames(patterned(10)) + controllerFrames(patterned(10)));
             r.in("scdok");
             QByteArray data = patterned(20);
             data[0] = kEot;
             r.in("sulok 20\r\n");
             r.in(controllerFrames(data) + one(kEot));
             r.summary(r.net.receive.rows);
         }},
        {"receive: bad name, existing file, no right, not sulok, bad size, refused partition", [](Rig& r) {
             onNet(r);
             r.file(QStringLiteral("O2.txt"), "old");
             r.net.receive.rows = {remote("../x"), remote("O2.txt"), remote("O3.txt"), remote("O4.txt"), remote("O5.txt"),
                                   remote("O6.txt"), remote("O7.txt")};
             r.prompter.answers = {Answer::No};
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.in(one(kDle));
             r.in("scdok");
             r.in(one(kCan));
             r.in("scdok");
             r.in("suler\r\n");
             r.in("scdok");
             r.in("sulok -5\r\n");
             r.in("scder");
             r.summary(r.net.receive.rows);
         }},
        {"receive: stop mid-stream, stop before the upload, forced end", [](Rig& r) {
             onNet(r);
             r.net.receive.rows = {remote("O4.txt")};
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.in("sulok 5000\r\n");
             const QByteArray f = controllerFrames(patterned(5000));
             r.in(f.left(2048));
             r.stop();
             r.in(f.mid(2048, 2048));
             r.started("receive", r.net.receive.start(r.folder));
             r.stop();
             r.in("scdok");
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.stop();
             r.in("sulok 5000\r\n");
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.in("sulok 5000\r\n");
             r.stop();
             r.tick(nettimers::kForcedEnd);
             r.summary(r.net.receive.rows);
         }},
        {"receive: link lost mid-stream", [](Rig& r) {
             onNet(r);
             r.net.receive.rows = {remote("O5.txt")};
             r.started("receive", r.net.receive.start(r.folder));
             r.in("scdok");
             r.in("sulok 5000\r\n");
             r.in(controllerFrames(patterned(5000)).left(3000));
             r.linkLost();
             r.summary(r.net.receive.rows);
         }},
        {"send: three sizes, proof, ticks", [](Rig& r) {
             onNet(r);
             queue(r, "O0.txt", {});
             queue(r, "O1.txt", patterned(2047), TargetArea::Usb);
             queue(r, "O2.txt", patterned(4095), TargetArea::Sys);
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in("sdlok");
             r.in("scdok\r\n");
             r.in("scdok");
             r.tick(nettimers::kSendReply, 2);
             r.in("sdlok\r\n");
             r.in(one(kAck));
             r.in("scd");
             r.tick(nettimers::kReplyGather);
             r.in("scdok");
             r.in("sdlok");
             r.tick(nettimers::kSendStats);
             r.in(one(kAck));
             r.in("\r\n" + one(kAck));
             r.in(one(kDle));
             r.summary(r.net.send.rows);
         }},
        {"send: verify, same and different", [](Rig& r) {
             onNet(r);
             r.net.send.verify = true;
             const QByteArray data = patterned(3000);
             queue(r, "O1.txt", data);
             queue(r, "O2.txt", data);
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in("sdlok");
             r.in(one(kAck));
             r.in(one(kAck));
             r.in("scdok");
             r.in("sulok 3000\r\n");
             r.in(controllerFrames(data));
             r.in(one(kEot));
             r.in("scdok");
             r.in("sdlok");
             r.in(one(kAck));
             r.in(one(kAck));
             r.in("scdok");
             QByteArray other = data;
             other[5] = 'X';
             r.in("sulok 3000\r\n");
             r.in(controllerFrames(other));
             r.in(one(kEot));
             r.summary(r.net.send.rows);
         }},
        {"send: verify refused, wrong size, stop while reading back", [](Rig& r) {
             onNet(r);
             r.net.send.verify = true;
             queue(r, "O1.txt", "abc");
             queue(r, "O2.txt", "abc");
             queue(r, "O3.txt", "abc");
             r.started("send", r.net.send.start());
             for (int i = 0; i < 2; ++i) {
                 r.in("scdok");
                 r.in("sdlok");
                 r.in(one(kAck));
                 r.in("scdok");
                 r.in(i == 0 ? one(kDle) : QByteArray("sulok 4\r\n"));
             }
             r.in("scdok");
             r.in("sdlok");
             r.in(one(kAck));
             r.in("scdok");
             r.in("sulok 3\r\n");
             r.stop();
             r.in(controllerFrames("abc"));
             r.summary(r.net.send.rows);
         }},
        {"send: existing name: overwrite, renamed, skipped", [](Rig& r) {
             onNet(r);
             queue(r, "O1.txt", "a");
             queue(r, "O2.txt", "b");
             queue(r, "O3.txt", "c");
             r.prompter.answers = {Answer::Yes, Answer::No, Answer::Cancel};
             r.prompter.texts = {QStringLiteral("O9")};
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in(one(kEsc));
             r.in("sdlok");
             r.in(one(kAck));
             r.in("scdok");
             r.in("scdok");
             r.in(one(kEsc));
             r.in("sdlok");
             r.in(one(kAck));
             r.in("scdok");
             r.in("scdok");
             r.in(one(kEsc));
             r.summary(r.net.send.rows);
         }},
        {"send: refusals DLE go on, DLE end, CAN, SUB, FS, disk full, other bytes", [](Rig& r) {
             onNet(r);
             for (const char* n : {"O1.txt", "O2.txt", "O3.txt", "O4.txt", "O5.txt", "O6.txt"})
                 queue(r, n, "z");
             r.prompter.answers = {Answer::No, Answer::Yes};
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in(one(kDle));
             r.in("scdok");
             r.in("xyzzy\r\n");
             r.in(one(kDle));
             for (char refusal : {kCan, kSub, kFs}) {
                 r.started("send", r.net.send.start());
                 r.in("scdok");
                 r.in(one(refusal));
             }
             r.net.send.rows = {r.net.send.rows[0]};
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in("sdlok");
             r.in(one(kNak));
             r.summary(r.net.send.rows);
         }},
        {"send: partition refused, time-outs, stop at each step, forced end", [](Rig& r) {
             onNet(r);
             queue(r, "O1.txt", patterned(5000));
             r.started("send", r.net.send.start());
             r.in("scder boo\r\n");
             r.started("send", r.net.send.start());
             r.tick(nettimers::kSendReply, 9);
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in("sdlok");
             r.in(one(kAck));
             r.in(one(kAck));
             r.in(one(kAck));
             r.tick(nettimers::kSendReply, 9);
             r.started("send", r.net.send.start());
             r.stop();
             r.in("scdok");
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.stop();
             r.in("sdlok");
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in("sdlok");
             r.stop();
             r.in(one(kAck));
             r.started("send", r.net.send.start());
             r.stop();
             r.tick(nettimers::kSendForcedEnd);
             r.summary(r.net.send.rows);
         }},
        {"send: file gone (go on, end), link lost in the proof", [](Rig& r) {
             onNet(r);
             queue(r, "O1.txt", "a");
             queue(r, "O2.txt", "b");
             QFile::remove(r.net.send.rows[0].path);
             r.prompter.answers = {Answer::No, Answer::Yes};
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.in("scdok");
             r.in("sdlok");
             r.in(one(kAck));
             r.linkLost();
             r.state.link = LinkType::LinkEthernet;
             r.started("send", r.net.send.start());
             r.in("scdok");
             r.summary(r.net.send.rows);
         }},
    };
}

}  // namespace vantor::fernlink::transcript
