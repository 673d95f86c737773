// SPDX-License-Identifier: GPL-3.0-or-later
// Scripts for the serial link's list, send, receive and delete.
#include "fernlink/link/tests/flowtests.h"
#include "fernlink/link/tests/transcript_rig.h"

#include "serialcore/serialwire.h"

#include <QFile>

namespace vantor::fernlink::transcript {

namespace {

using namespace flowtests;

QByteArray frame(int block, const QByteArray& data)
{
    return CXModem::buildFrame(block, data);
}

RemoteFileRow remote(const char* name, const char* size = "", const char* partition = "user")
{
    return {QString::fromLatin1(name), QString::fromLatin1(size), QString::fromLatin1(partition), {}, true};
}

void queue(Rig& r, const char* name, const QByteArray& data, TargetArea area = TargetArea::User)
{
    const QString path = r.file(QString::fromLatin1(name), data);
    r.serial.send.rows.push_back(makeSendRow(path, QString::fromLatin1(name), data.size(), area, QStringLiteral("unsend")));
}

// Up to the controller's C after the download command.
void sendToStart(Rig& r)
{
    r.started("send", r.serial.send.start());
    r.in("\r\nuser>");
}

// The controller takes a file of one block: its C, the block's ACK, the EOT's ACK.
void takeOneBlock(Rig& r)
{
    r.in("C");
    r.in(QByteArray(1, wire::kAck));
    r.in(QByteArray(1, wire::kAck));
}

// Up to the controller's answer that it holds the first row's name, with the answers given.
void existing(Rig& r, std::deque<Answer> answers)
{
    r.prompter.answers = std::move(answers);
    sendToStart(r);
    r.in(QByteArray(1, wire::kEsc));
}

}  // namespace

std::vector<Scenario> serialScenarios()
{
    using wire::kAck;
    using wire::kCan;
    using wire::kDle;
    using wire::kEot;
    using wire::kEsc;
    using wire::kFs;
    using wire::kNak;
    using wire::kSub;
    return {
        {"list: user then sys", [](Rig& r) {
             r.started("list", r.serial.list.start());
             r.in("user>1: O00001.txt\t 12\r\n2: para.val\t 5\r\n");
             r.tick(timers::kList, 3);
             r.in(one(kCan));
             r.in(QByteArray("sys>1: back.bak\t 7\r\n") + kCan);
             r.summary(r.serial.list.rows);
         }},
        {"list: time-out after ten seconds", [](Rig& r) {
             r.started("list", r.serial.list.start());
             r.in("user>1: O00001.txt\t 12\r\n");
             r.tick(timers::kList, 10);
             r.tick(timers::kList);
             r.summary(r.serial.list.rows);
         }},
        {"list: stop", [](Rig& r) {
             r.started("list", r.serial.list.start());
             r.stop();
             r.in(one(kCan));
             r.summary(r.serial.list.rows);
         }},
        {"refusals: no link, busy, wrong link, nothing selected, delete not confirmed", [](Rig& r) {
             r.state.link = LinkType::LinkNone;
             r.started("list", r.serial.list.start());
             r.state.link = LinkType::LinkEthernet;
             r.started("serial list on Ethernet", r.serial.list.start());
             r.state.link = LinkType::LinkSerial;
             r.started("list", r.serial.list.start());
             queue(r, "O1.txt", "b");
             r.started("send while listing", r.serial.send.start());
             r.serial.receive.rows.push_back(remote("O00001.txt"));
             r.started("receive while listing", r.serial.receive.start(r.folder));
             r.stop();
             r.serial.receive.rows[0].selected = false;
             r.started("receive none selected", r.serial.receive.start(r.folder));
             r.started("delete none selected", r.serial.remove.start());
             r.serial.remove.rows.push_back(remote("O00001.txt"));
             r.prompter.answers = {Answer::No};
             r.started("delete, not confirmed", r.serial.remove.start());
             r.summaryFiles();
         }},
        {"idle bytes: a transfer nobody asked for is cancelled", [](Rig& r) {
             r.in(one(kAck));
             r.in(frame(1, "x"));
             r.in("user>");
         }},
        {"send: wrong prompt, two blocks, ticks, EOT", [](Rig& r) {
             queue(r, "O12.nc", QByteArray(130, 'x'));
             r.started("send", r.serial.send.start());
             r.in("\r\nsys>");
             r.in("\r\nuser>");
             r.tick(timers::kSendReply, 3);
             r.in("C");
             r.tick(timers::kSendStats);
             r.in(one(kAck));
             r.in(one(kNak));
             r.in(one(kAck));
             r.tick(timers::kSendStats);
             r.in(one(kAck));
             r.summary(r.serial.send.rows);
         }},
        {"send: unsendable rows asked about, then a refusal of the question", [](Rig& r) {
             queue(r, "prog.txt", "a");
             queue(r, "O1.txt", "b");
             queue(r, "O2.txt", QByteArray(5000000, 'z'));
             queue(r, "O3.txt", "c");
             r.prompter.answers = {Answer::Yes, Answer::No};
             sendToStart(r);
             takeOneBlock(r);
             r.summary(r.serial.send.rows);
         }},
        {"send: existing name, overwrite", [](Rig& r) {
             queue(r, "O1.txt", "b");
             existing(r, {Answer::Yes});
             takeOneBlock(r);
             r.summary(r.serial.send.rows);
         }},
        {"send: existing name, renamed after a refused name", [](Rig& r) {
             queue(r, "O1.txt", "b");
             r.prompter.texts = {QStringLiteral("bad name"), QStringLiteral("O7")};
             existing(r, {Answer::No});
             takeOneBlock(r);
             r.summary(r.serial.send.rows);
         }},
        {"send: existing name, skipped, next row sent", [](Rig& r) {
             queue(r, "O1.txt", "b");
             queue(r, "O2.txt", "c");
             existing(r, {Answer::Cancel});
             r.in("\r\nuser>");
             takeOneBlock(r);
             r.summary(r.serial.send.rows);
         }},
        {"send: no right, go on; not suitable ends", [](Rig& r) {
             queue(r, "O1.txt", "b");
             queue(r, "O2.txt", "c");
             r.prompter.answers = {Answer::No};
             sendToStart(r);
             r.in(one(kDle));
             r.in("\r\nuser>");
             r.in(one(kSub));
             r.summary(r.serial.send.rows);
         }},
        {"send: no right, end", [](Rig& r) {
             queue(r, "O1.txt", "b");
             queue(r, "O2.txt", "c");
             r.prompter.answers = {Answer::Yes};
             sendToStart(r);
             r.in(one(kDle));
             r.summary(r.serial.send.rows);
         }},
        {"send: controller full", [](Rig& r) {
             queue(r, "O1.txt", "b");
             sendToStart(r);
             r.in(one(kFs));
             r.summary(r.serial.send.rows);
         }},
        {"send: controller cancels mid-file", [](Rig& r) {
             queue(r, "O1.txt", QByteArray(300, 'q'));
             sendToStart(r);
             r.in("C");
             r.in(one(kAck));
             r.in(one(kCan));
             r.in(one(kCan));
             r.summary(r.serial.send.rows);
         }},
        {"send: time-out waiting for the prompt", [](Rig& r) {
             queue(r, "O1.txt", "b");
             r.started("send", r.serial.send.start());
             r.tick(timers::kSendReply, 8);
             r.tick(timers::kSendReply);
             r.summary(r.serial.send.rows);
         }},
        {"send: time-out waiting for C", [](Rig& r) {
             queue(r, "O1.txt", "b");
             sendToStart(r);
             r.tick(timers::kSendReply, 9);
             r.summary(r.serial.send.rows);
         }},
        {"send: stop before and during the stream", [](Rig& r) {
             queue(r, "O1.txt", "b");
             r.started("send", r.serial.send.start());
             r.stop();
             r.stop();
             queue(r, "O2.txt", QByteArray(300, 'q'));
             r.serial.send.rows[0].selected = false;
             sendToStart(r);
             r.in("C");
             r.stop();
             r.in(one(kAck));
             r.summary(r.serial.send.rows);
         }},
        {"send: file gone, too big, name too long", [](Rig& r) {
             queue(r, "O1.txt", "b");
             QFile::remove(r.serial.send.rows[0].path);
             sendToStart(r);
             r.summary(r.serial.send.rows);
             r.serial.send.rows.clear();
             queue(r, "O2.txt", "b");
             r.file(QStringLiteral("O2.txt"), QByteArray(4 * 1024 * 1024 + 1, 'z'));
             sendToStart(r);
             r.serial.send.rows.clear();
             const QString path = r.file(QStringLiteral("long"), "y");
             r.serial.send.rows.push_back(makeSendRow(path, QString(200, QLatin1Char('n')), 1, TargetArea::Sys, QStringLiteral("unsend")));
             r.started("send", r.serial.send.start());
             r.in("\r\nsys>");
             r.summary(r.serial.send.rows);
         }},
        {"receive: two files, padding cut, ticks", [](Rig& r) {
             r.serial.receive.rows.push_back(remote("O00001.txt", "3"));
             r.serial.receive.rows.push_back(remote("back.bak", "130", "sys"));
             r.started("receive", r.serial.receive.start(r.folder));
             r.in("user>");
             r.tick(CXModem::kStartTimerId);
             r.in(frame(1, "abc"));
             r.tick(timers::kReceiveStats);
             r.in(one(kEot));
             r.in("sys>");
             r.tick(CXModem::kStartTimerId);
             r.in(frame(1, QByteArray(128, 'p')));
             r.in(frame(2, "qr"));
             r.in(one(kEot));
             r.summary(r.serial.receive.rows);
         }},
        {"receive: bad names, existing file kept and replaced", [](Rig& r) {
             r.file(QStringLiteral("O00002.txt"), "old");
             r.file(QStringLiteral("O00003.txt"), "old");
             r.serial.receive.rows.push_back(remote("../evil"));
             r.serial.receive.rows.push_back(remote("O00002.txt"));
             r.serial.receive.rows.push_back(remote("O00003.txt"));
             r.prompter.answers = {Answer::No, Answer::Yes};
             r.started("receive", r.serial.receive.start(r.folder));
             r.in("user>");
             r.tick(CXModem::kStartTimerId);
             r.in(frame(1, "new"));
             r.in(one(kEot));
             r.summary(r.serial.receive.rows);
         }},
        {"receive: no right, cancelled, empty file", [](Rig& r) {
             r.serial.receive.rows.push_back(remote("O00001.txt"));
             r.serial.receive.rows.push_back(remote("O00002.txt"));
             r.serial.receive.rows.push_back(remote("O00003.txt"));
             r.started("receive", r.serial.receive.start(r.folder));
             r.in("user>");
             r.tick(CXModem::kStartTimerId);
             r.in(one(kDle));
             r.tick(CXModem::kStartTimerId);
             r.in(frame(1, "abc"));
             r.in(one(kCan));
             r.in(one(kCan));
             r.tick(CXModem::kStartTimerId);
             r.in(one(kEot));
             r.summary(r.serial.receive.rows);
         }},
        {"receive: start requests quick then slow, then none", [](Rig& r) {
             r.serial.receive.rows.push_back(remote("O00001.txt"));
             r.started("receive", r.serial.receive.start(r.folder));
             r.in("user>");
             r.tick(CXModem::kStartTimerId, 12);
             r.tick(CXModem::kStartTimerId, 50);
             r.summary(r.serial.receive.rows);
         }},
        {"receive: time-out waiting for the prompt", [](Rig& r) {
             r.serial.receive.rows.push_back(remote("O00001.txt", "", "sys"));
             r.started("receive", r.serial.receive.start(r.folder));
             r.in("user>");
             r.tick(timers::kReceiveReply, 9);
             r.summary(r.serial.receive.rows);
         }},
        {"receive: stop mid-file", [](Rig& r) {
             r.serial.receive.rows.push_back(remote("O00003.txt", "300"));
             r.started("receive", r.serial.receive.start(r.folder));
             r.in("user>");
             r.tick(CXModem::kStartTimerId);
             r.in(frame(1, QByteArray(128, 'q')));
             r.stop();
             r.in(frame(2, QByteArray(128, 'q')));
             r.summary(r.serial.receive.rows);
         }},
        {"receive: stop while waiting for the prompt", [](Rig& r) {
             r.serial.receive.rows.push_back(remote("O00003.txt", "", "sys"));
             r.started("receive", r.serial.receive.start(r.folder));
             r.stop();
             r.summary(r.serial.receive.rows);
         }},
        {"delete: two rows, one skipped, then a refusal", [](Rig& r) {
             r.serial.remove.rows.push_back(remote("O00001.txt"));
             r.serial.remove.rows.push_back(remote("O00009.txt"));
             r.serial.remove.rows.back().selected = false;
             r.serial.remove.rows.push_back(remote("back.bak", "", "sys"));
             r.serial.remove.rows.push_back(remote("O00002.txt"));
             r.prompter.answers = {Answer::Yes};
             r.started("delete", r.serial.remove.start());
             r.in("user>");
             r.tick(timers::kDelete, 4);
             r.in(QByteArray("x") + kAck);
             r.in("user>");
             r.in("sys>");
             r.in(one(kAck));
             r.in("user>");
             r.in(one(kDle));
             r.summary(r.serial.remove.rows);
         }},
        {"delete: time-out, stop, name refused", [](Rig& r) {
             r.serial.remove.rows.push_back(remote("O00001.txt"));
             r.prompter.answers = {Answer::Yes, Answer::Yes, Answer::Yes};
             r.started("delete", r.serial.remove.start());
             r.in("user>");
             r.tick(timers::kDelete, 10);
             r.started("delete", r.serial.remove.start());
             r.stop();
             r.in("user>");
             r.serial.remove.rows.push_back(remote("O 1"));
             r.serial.remove.rows[0].selected = false;
             r.started("delete", r.serial.remove.start());
             r.in("user>");
             r.summary(r.serial.remove.rows);
         }},
        {"delete: all rows done", [](Rig& r) {
             r.serial.remove.rows.push_back(remote("O00001.txt"));
             r.prompter.answers = {Answer::Yes};
             r.started("delete", r.serial.remove.start());
             r.in("user>");
             r.in(one(kAck));
             r.summary(r.serial.remove.rows);
         }},
    };
}

}  // namespace vantor::fernlink::transcript
