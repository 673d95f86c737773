// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/ethernetlink.h"

#include "common/testing/ptypair.h"

#include <QTcpServer>

#include <gtest/gtest.h>

using namespace vantor;
using namespace vantor::fernlink;
using vantor::testing::waitUntil;

namespace {

// A controller that answers each command line with a fixed reply.
struct FakeController {
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    QByteArray received;
    std::vector<std::pair<QByteArray, QByteArray>> script;  // command -> reply

    FakeController()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, [this] {
                received += peer->readAll();
                for (const auto& [command, reply] : script) {
                    if (received.endsWith(command)) {
                        peer->write(reply);
                        break;
                    }
                }
            });
        });
    }
};

}  // namespace

TEST(EthernetLink, ListsOverALoopbackConnection)
{
    FakeController controller;
    ASSERT_TRUE(controller.server.isListening());
    controller.script = {
        {"scd  user \r\n", "scdok\r\n"},
        {"scd  sys \r\n", "scd"},  // the rest follows in the listing's read
        {"sls \r\n", "slsok"},
    };
    EthernetLink link;
    bool up = false;
    QObject::connect(&link, &EthernetLink::connected, [&] { up = true; });
    link.connectTo(QStringLiteral("127.0.0.1"), controller.server.serverPort());
    ASSERT_TRUE(waitUntil([&] { return up && controller.peer; }));

    ProgramState state{OperationState::OpIdle, LinkType::LinkEthernet, Language::English};
    ScriptedPrompter prompter;
    EthernetObserver observer;
    EthernetFlowSet flows(link.port(), state, prompter, observer);
    QObject::connect(&link, &EthernetLink::bytesReceived, [&](const QByteArray& b) { flows.onBytes(b); });
    link.port().setTimerHandler([&](int id) { flows.onTimer(id); });

    ASSERT_TRUE(flows.list.start(false));
    ASSERT_TRUE(waitUntil([&] { return controller.received.endsWith("sls \r\n"); }));
    controller.peer->write("1: O00001.txt\t 12\r\n\x18");
    ASSERT_TRUE(waitUntil([&] { return controller.received.endsWith("scd  sys \r\n"); }));
    controller.peer->write("ok");
    ASSERT_TRUE(waitUntil([&] { return controller.received.count("sls \r\n") == 2; }));
    controller.peer->write("1: sys.cfg\t 3\r\n\x18");
    ASSERT_TRUE(waitUntil([&] { return state.operation == OperationState::OpIdle; }));
    ASSERT_EQ(flows.list.rows.size(), 2u);
    EXPECT_EQ(flows.list.rows[1].partition, "SYS");
    EXPECT_EQ(controller.received, "scd  user \r\nsls \r\nscd  sys \r\nsls \r\n");

    bool down = false;
    QObject::connect(&link, &EthernetLink::closed, [&] { down = true; });
    controller.peer->disconnectFromHost();
    EXPECT_TRUE(waitUntil([&] { return down; }));
}

TEST(EthernetLink, ARefusedConnectionIsReported)
{
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    EthernetLink link;
    bool failed = false;
    QObject::connect(&link, &EthernetLink::connectFailed, [&](int, const QString&) { failed = true; });
    link.connectTo(QStringLiteral("127.0.0.1"), port);
    EXPECT_TRUE(waitUntil([&] { return failed; }));
    EXPECT_FALSE(link.isConnected());
}

TEST(EthernetLink, DestroyedWhileConnectedTellsNobody)
{
    FakeController controller;
    ASSERT_TRUE(controller.server.isListening());
    bool closed = false;
    {
        EthernetLink link;
        bool up = false;
        QObject::connect(&link, &EthernetLink::connected, [&] { up = true; });
        QObject::connect(&link, &EthernetLink::closed, [&] { closed = true; });
        link.connectTo(QStringLiteral("127.0.0.1"), controller.server.serverPort());
        ASSERT_TRUE(waitUntil([&] { return up && controller.peer; }));
        link.port().write("sls \r\n");
        link.port().pause(5000);  // queued work the dying link must drop
        link.port().write("never");
    }
    // The owner is gone too by then: a late "closed" would reach freed objects.
    EXPECT_FALSE(closed);
    ASSERT_TRUE(waitUntil([&] { return controller.peer->state() != QAbstractSocket::ConnectedState; }));
    EXPECT_FALSE(controller.received.contains("never"));
}
