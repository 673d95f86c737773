// SPDX-License-Identifier: GPL-3.0-or-later
// Fernlink's main window under the offscreen platform: start-up from an empty profile, page
// switching, both links against the simulated controller, the refusals while an operation
// runs, the editor, the settings page and the language commands.
#include "fernlink/ui/addressdialog.h"
#include "fernlink/ui/dncpage.h"
#include "fernlink/ui/editorview.h"
#include "fernlink/ui/loginpage.h"
#include "fernlink/ui/onlineuserspage.h"
#include "fernlink/ui/statisticspage.h"
#include "fernlink/ui/usermanagerpage.h"
#include "fernlink/ui/linkhub.h"
#include "fernlink/ui/mainframe.h"
#include "fernlink/ui/operationlogpage.h"
#include "fernlink/ui/outlookbar.h"
#include "fernlink/ui/receivepage.h"
#include "fernlink/ui/sendpage.h"
#include "fernlink/ui/settingspage.h"
#include "fernlink/ui/sortablelist.h"

#include "common/atomicfile.h"
#include "common/gbk.h"
#include "common/testing/ptypair.h"
#include "common/testing/testfiles.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTextBlock>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace vantor;
using namespace vantor::fernlink;
using namespace vantor::fernlink::ui;
using vantor::testing::maybeShoot;
using vantor::testing::programPath;
using vantor::testing::readFile;
using vantor::testing::waitUntil;
using vantor::testing::writeFile;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

class MainFrameTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<CMainFrame> frame;
    QProcess sim;
    QString simLink;
    quint16 simPort = 0;

    QString iniPath() const { return dir.filePath(s("fernlink.ini")); }
    QString autostart() const { return dir.filePath(s("autostart")); }

    void preset(const char* key, const QVariant& value)
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue(QLatin1String(key), value);
    }
    QVariant stored(const char* key) const
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value(QLatin1String(key));
    }

    void make(const QString& sessionPort = {})
    {
        MainFrameOptions o;
        o.settingsFile = iniPath();
        o.dataFolder = dir.filePath(s("data"));
        o.autostartFolder = autostart();
        o.sessionPort = sessionPort;
        o.prompter = &prompter;
        o.assumeTray = true;
        frame = std::make_unique<CMainFrame>(o);
    }
    LinkHub& hub() { return frame->hub(); }
    QString lastShown() const { return prompter.shown.empty() ? QString() : prompter.shown.back(); }

    void startSim(bool serial)
    {
        QStringList args{s("--root"), dir.filePath(s("cnc")), s("--tcp"), s("0")};
        if (serial) {
            simLink = dir.filePath(s("cnc-link"));
            args << s("--link") << simLink;
        }
        sim.start(programPath("cncsim"), args);
        ASSERT_TRUE(sim.waitForStarted(5000));
        if (serial) {
            ASSERT_TRUE(sim.canReadLine() || sim.waitForReadyRead(5000));
            ASSERT_EQ(QString::fromUtf8(sim.readLine()).trimmed(), simLink);
        }
        ASSERT_TRUE(sim.canReadLine() || sim.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(sim.readLine()).trimmed();
        ASSERT_TRUE(address.startsWith(s("127.0.0.1:"))) << address.toStdString();
        simPort = static_cast<quint16>(address.section(QLatin1Char(':'), 1).toUInt());
    }
    void stopSim()
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
        }
    }
    void TearDown() override
    {
        if (frame)
            hub().state.operation = OperationState::OpIdle;
        frame.reset();
        stopSim();
    }
    void connectByEthernet()
    {
        frame->setControllerPort(simPort);
        frame->setAddressAsker([](const CMainFrame::Octets&) { return CMainFrame::Octets{127, 0, 0, 1}; });
        frame->connectEthernet();
        ASSERT_TRUE(waitUntil([&] { return !frame->connectingEthernet(); }));
        ASSERT_EQ(hub().state.link, LinkType::LinkEthernet) << prompter.shown.size();
    }
};

}  // namespace

// ---------------------------------------------------------------- start-up

TEST_F(MainFrameTest, EmptyProfileStartsInChineseDisconnectedOnTheEditor)
{
    make();
    frame->startUp();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(hub().state.language, Language::Chinese);
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageEditor);
    EXPECT_EQ(frame->linkStatusText(), s("尚未连接"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
    EXPECT_EQ(frame->positionText(), s("行 1/1   0 字节"));
    EXPECT_FALSE(hub().server().isRunning());
    EXPECT_EQ(frame->settings().seriesNum, FernlinkSettings::defaultPort());
    EXPECT_EQ(frame->trayIcon()->toolTip(), s("Vantor Comm"));

    SettingsPage* page = frame->settingsPage();
    EXPECT_EQ(page->baudBox()->currentIndex(), -1);  // the stored "1200" is not on the list
    EXPECT_EQ(page->ftpPortBox()->value(), 21);
    EXPECT_EQ(page->maxUsersBox()->value(), 10);
    EXPECT_EQ(page->maxTimeoutBox()->value(), 5);
    EXPECT_EQ(page->machineBox()->currentText(), s("Vantor Q6C"));
    EXPECT_FALSE(page->machineBox()->isEnabled());
    EXPECT_FALSE(page->applyButton()->isEnabled());
    // How to switch the trace on for a support request, in the window's language.
    const auto* trace = page->findChild<QLabel*>(s("traceHelp"));
    ASSERT_NE(trace, nullptr);
    EXPECT_TRUE(trace->text().contains(s("QT_LOGGING_RULES=\"vantor.*.debug=true\"")) && trace->text().contains(s("技术支持")))
        << trace->text().toStdString();

    const char* items[] = {"编辑", "DNC", "PC→CNC", "CNC→PC", "设置", "用户管理", "在线用户"};
    ASSERT_EQ(frame->outlookBar()->count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(frame->outlookBar()->item(i)->text(), s(items[i])) << i;
    EXPECT_EQ(frame->outlookBar()->currentRow(), 0);
    maybeShoot(frame.get(), "fernlink-main-editor.png");

    // Qt's own buttons speak the window's language, as the questions' [是]/[否] expect.
    QMessageBox box(QMessageBox::Question, s("DNC"), s("?"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')).left(1), s("是"));
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')).left(1), s("否"));
}

TEST_F(MainFrameTest, EnglishProfileShowsEnglishTexts)
{
    preset("Setting/Language", 1);
    make();
    EXPECT_EQ(hub().state.language, Language::English);
    EXPECT_EQ(frame->outlookBar()->item(2)->text(), s("PC ->  CNC"));
    EXPECT_EQ(frame->positionText(), s("Line 1/1   0 B"));
    EXPECT_EQ(frame->linkStatusText(), s("disconnect"));
    QMessageBox box(QMessageBox::Question, s("DNC"), s("?"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), s("Yes"));
}

TEST_F(MainFrameTest, StartInTrayLeavesOnlyTheTrayAndMinimisingHidesAgain)
{
    preset("Settings/StartInTray", 1);
    make();
    frame->startUp();
    EXPECT_FALSE(frame->isVisible());
    frame->show();
    frame->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(waitUntil([&] { return !frame->isVisible(); }));
    Q_EMIT frame->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(MainFrameTest, AutoActivateStartsTheServerWithTheStoredLimits)
{
    QTcpServer probe;  // a free port for the server
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    preset("Settings/AutoActivate", 1);
    preset("Settings/Port", port);
    make();
    ASSERT_TRUE(hub().server().isRunning()) << hub().server().lastError().toStdString();
    EXPECT_EQ(hub().server().listeningPort(), port);
    EXPECT_EQ(frame->linkStatusText(), s(" 服务器已开启"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsUp);
    // The server has a lamp of its own beside the pair.
    auto* serverLamp = frame->findChild<QLabel*>(s("serverPane"));
    ASSERT_NE(serverLamp, nullptr);
    EXPECT_TRUE(serverLamp->property("running").toBool());
    EXPECT_EQ(serverLamp->toolTip(), s("服务器已开启"));
    EXPECT_FALSE(frame->action(s("actionStartServer"))->isEnabled());
    frame->stopServer();
    EXPECT_FALSE(hub().server().isRunning());
    EXPECT_EQ(frame->linkStatusText(), s("服务器已停止"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
    EXPECT_FALSE(serverLamp->property("running").toBool());
}

// ---------------------------------------------------------------- pages

TEST_F(MainFrameTest, PagesSwitchOnceAndTheUserManagerNeedsTheRightLevel)
{
    make();
    frame->startUp();
    EXPECT_TRUE(frame->showPage(CMainFrame::PageSend));
    EXPECT_FALSE(frame->showPage(CMainFrame::PageSend));  // the page shown already: nothing happens
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageSend);
    EXPECT_FALSE(frame->editor()->isEnabled());
    EXPECT_FALSE(frame->action(s("actionOpen"))->isEnabled());
    EXPECT_FALSE(frame->action(s("actionGoToLine"))->isEnabled());

    hub().loginLevel = 0;
    EXPECT_FALSE(frame->showPage(CMainFrame::PageUserManager));
    EXPECT_EQ(lastShown(), s("没权限对此进行操作"));
    EXPECT_EQ(prompter.captions.back(), s("用户管理"));
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageSend);
    hub().loginLevel = 2;
    EXPECT_TRUE(frame->showPage(CMainFrame::PageUserManager));

    // The pages without a bar item are reached from the View menu.
    frame->action(s("actionShowStatistics"))->trigger();
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageStatistics);
    EXPECT_EQ(frame->outlookBar()->selectedItems().size(), 0);
    frame->action(s("actionShowLogin"))->trigger();
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageLogin);

    // A click on a bar item, as the user does it.
    COutlookBar* bar = frame->outlookBar();
    const QRect settingsItem = bar->visualItemRect(bar->item(4));
    QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, settingsItem.center());
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageSettings);
    QTest::keyClick(bar, Qt::Key_Down);
    QTest::keyClick(bar, Qt::Key_Return);
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageUserManager);
    QTest::keyClick(bar, Qt::Key_Up);
    QTest::keyClick(bar, Qt::Key_Return);
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageSettings);
    maybeShoot(frame.get(), "fernlink-main-settings.png");
    EXPECT_NE(qobject_cast<SendPage*>(frame->page(CMainFrame::PageSend)), nullptr);
    EXPECT_NE(qobject_cast<ReceivePage*>(frame->page(CMainFrame::PageReceive)), nullptr);
    EXPECT_NE(qobject_cast<DncPage*>(frame->page(CMainFrame::PageDnc)), nullptr);
    EXPECT_NE(qobject_cast<OperationLogPage*>(frame->page(CMainFrame::PageOperationLog)), nullptr);
    EXPECT_NE(qobject_cast<LoginPage*>(frame->page(CMainFrame::PageLogin)), nullptr);
    EXPECT_NE(qobject_cast<UserManagerPage*>(frame->page(CMainFrame::PageUserManager)), nullptr);
    EXPECT_NE(qobject_cast<OnlineUsersPage*>(frame->page(CMainFrame::PageOnlineUsers)), nullptr);
    EXPECT_NE(qobject_cast<StatisticsPage*>(frame->page(CMainFrame::PageStatistics)), nullptr);
    EXPECT_TRUE(frame->showPage(CMainFrame::PageEditor));
    EXPECT_TRUE(frame->editor()->isEnabled());
    EXPECT_TRUE(frame->action(s("actionOpen"))->isEnabled());
}

// ---------------------------------------------------------------- links

TEST_F(MainFrameTest, SerialConnectOpensTheControllersPtyAndDisconnectClosesIt)
{
    startSim(true);
    make(simLink);
    EXPECT_TRUE(frame->connectSerial());
    EXPECT_EQ(hub().state.link, LinkType::LinkSerial);
    EXPECT_TRUE(hub().serial().isOpen());
    EXPECT_EQ(frame->linkStatusText(), s("串口已打开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsUp);
    EXPECT_FALSE(frame->action(s("actionConnectSerial"))->isEnabled());
    EXPECT_FALSE(frame->action(s("actionConnectNet"))->isEnabled());
    EXPECT_TRUE(frame->action(s("actionDisconnect"))->isEnabled());

    frame->disconnectLink();
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    EXPECT_FALSE(hub().serial().isOpen());
    EXPECT_EQ(frame->linkStatusText(), s("串口已断开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
}

// The line goes away under an open port (here the controller's end of the pty): the
// window shows the port closed and may connect again, instead of a link that looks up.
TEST_F(MainFrameTest, ASerialPortThatGoesAwayIsShownClosed)
{
    startSim(true);
    make(simLink);
    ASSERT_TRUE(frame->connectSerial());
    stopSim();
    EXPECT_TRUE(waitUntil([&] { return hub().state.link == LinkType::LinkNone; }));
    EXPECT_FALSE(hub().serial().isOpen());
    EXPECT_EQ(frame->linkStatusText(), s("串口已断开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
    EXPECT_TRUE(frame->action(s("actionConnectSerial"))->isEnabled());
}

TEST_F(MainFrameTest, SerialPortThatDoesNotOpenLeavesTheLinkAsItWas)
{
    make(dir.filePath(s("no-such-tty")));
    EXPECT_FALSE(frame->connectSerial());
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    EXPECT_EQ(frame->linkStatusText(), s("串口已断开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
    EXPECT_TRUE(frame->action(s("actionConnectSerial"))->isEnabled());
}

TEST_F(MainFrameTest, EthernetConnectStoresTheAddressAndDisconnectCloses)
{
    startSim(false);
    preset("IP/IP1", 10);
    make();
    CAddressDlg::Address offered{};
    // The simulator listens on a port of its own: the dialog's port reaches it.
    frame->setControllerAsker([&](const CAddressDlg::Address& initial, const QStringList&) {
        offered = initial;
        return CAddressDlg::Address{{127, 0, 0, 1}, simPort};
    });
    frame->connectEthernet();
    EXPECT_FALSE(frame->action(s("actionConnectSerial"))->isEnabled());  // nothing starts while it waits
    EXPECT_FALSE(frame->menuBar()->isEnabled());
    EXPECT_FALSE(frame->findChild<QToolBar*>(s("standardToolbar"))->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !frame->connectingEthernet(); }));
    EXPECT_EQ(offered, (CAddressDlg::Address{{10, 0, 0, 0}, 1234}));  // 1234 when none was stored
    EXPECT_EQ(hub().state.link, LinkType::LinkEthernet);
    EXPECT_TRUE(hub().ethernet().isConnected());
    EXPECT_EQ(frame->linkStatusText(), s("以太网已连接"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsUp);
    EXPECT_TRUE(prompter.shown.empty());
    const char* keys[] = {"IP/IP1", "IP/IP2", "IP/IP3", "IP/IP4"};
    const int octets[] = {127, 0, 0, 1};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(stored(keys[i]).toInt(), octets[i]) << keys[i];
    EXPECT_TRUE(frame->menuBar()->isEnabled());
    EXPECT_TRUE(frame->findChild<QToolBar*>(s("standardToolbar"))->isEnabled());
    EXPECT_EQ(stored("IP/Port").toInt(), simPort);
    EXPECT_EQ(stored("IP/Recent").toStringList(), QStringList{s("127.0.0.1:%1").arg(simPort)});
    const QString program = dir.filePath(s("O1234.nc"));
    writeFile(program, toGbk(s("%\nO1234 (外圆粗车)\nG00 X100. Z5.\nG71 U2. R0.5\nG71 P10 Q20 U0.5 W0.1 F0.25\nM30\n%\n")));
    ASSERT_TRUE(frame->openDocument(program));
    frame->startUp();
    maybeShoot(frame.get(), "fernlink-main-connected.png");

    frame->disconnectLink();
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    EXPECT_FALSE(hub().ethernet().isConnected());
    EXPECT_EQ(frame->linkStatusText(), s("以太网已断开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
}

TEST_F(MainFrameTest, AddressDialogStartsWithTheStoredOctets)
{
    make();
    CAddressDlg dlg(hub(), {192, 168, 0, 7});
    EXPECT_EQ(dlg.octets(), (CMainFrame::Octets{192, 168, 0, 7}));
    auto* first = dlg.findChild<QSpinBox*>(s("octet1"));
    ASSERT_NE(first, nullptr);
    first->setValue(300);  // an octet cannot leave 0..255
    EXPECT_EQ(dlg.octets()[0], 255);
}

TEST_F(MainFrameTest, AddressDialogTakesATypedOrPastedAddressWithItsPort)
{
    make();
    const QStringList recent{s("10.1.1.2:2000"), s("10.1.1.3")};
    CAddressDlg dlg(hub(), CAddressDlg::Address{{0, 0, 0, 0}, 1234}, recent);
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto* first = dlg.findChild<QSpinBox*>(s("octet1"));
    first->setFocus();
    first->selectAll();
    // Key by key, each key to whichever field has the focus by then.
    for (const QChar c : s("192.168.1.10:8080")) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, c.toLatin1());
    }
    EXPECT_EQ(dlg.address(), (CAddressDlg::Address{{192, 168, 1, 10}, 8080}));
    maybeShoot(&dlg, "fernlink-main-address.png");

    // A whole address pasted into any field fills them all.
    QApplication::clipboard()->setText(s(" 172.16.0.5 "));
    first->setFocus();
    QTest::keySequence(QApplication::focusWidget(), QKeySequence::Paste);
    EXPECT_EQ(dlg.address(), (CAddressDlg::Address{{172, 16, 0, 5}, 8080}));

    // The recent addresses are offered, newest first.
    auto* recentBox = dlg.findChild<QComboBox*>(s("recentAddresses"));
    ASSERT_EQ(recentBox->count(), 2);
    recentBox->setCurrentIndex(0);
    Q_EMIT recentBox->textActivated(recentBox->itemText(0));
    EXPECT_EQ(dlg.address(), (CAddressDlg::Address{{10, 1, 1, 2}, 2000}));

    struct Case { const char* text; bool ok; };
    for (const Case c : {Case{"1.2.3.4", true}, Case{"1.2.3.4:1", true}, Case{"1.2.3", false}, Case{"1.2.3.256", false},
                         Case{"1.2.3.4:0", false}, Case{"1.2.3.4:70000", false}, Case{"a.b.c.d", false}})
        EXPECT_EQ(CAddressDlg::parse(s(c.text), 1234).has_value(), c.ok) << c.text;
}

TEST_F(MainFrameTest, RecentAddressesKeepTheLastEightNewestFirst)
{
    make();
    for (int i = 1; i <= 10; ++i)
        frame->settings().rememberAddress(frame->settingsStore(), {10, 0, 0, i}, i == 10 ? 1234 : 2000 + i);
    frame->settings().rememberAddress(frame->settingsStore(), {10, 0, 0, 9}, 2009);  // again: moves to the front
    const QStringList recent = stored("IP/Recent").toStringList();
    ASSERT_EQ(recent.size(), 8);
    EXPECT_EQ(recent[0], s("10.0.0.9:2009"));
    EXPECT_EQ(recent[1], s("10.0.0.10"));
    EXPECT_EQ(recent[7], s("10.0.0.3:2003"));
    frame.reset();
    make();
    EXPECT_EQ(frame->settings().recentAddresses, recent);
    EXPECT_EQ(frame->settings().controllerPort, 2009);
}

TEST_F(MainFrameTest, EthernetToAClosedPortReportsTheError)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closed = probe.serverPort();
    probe.close();
    make();
    frame->setControllerPort(closed);
    frame->setAddressAsker([](const CMainFrame::Octets&) { return CMainFrame::Octets{127, 0, 0, 1}; });
    frame->connectEthernet();
    ASSERT_TRUE(waitUntil([&] { return !frame->connectingEthernet(); }));
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    ASSERT_EQ(prompter.shown.size(), 1u);
    // The controller software's text, then the system's words for the number.
    EXPECT_EQ(prompter.shown[0], s("连接失败，%1错误 (%2)").arg(ECONNREFUSED).arg(QString::fromLocal8Bit(std::strerror(ECONNREFUSED))));
    EXPECT_EQ(prompter.captions[0], QString());  // the window's own caption, "提示"
    EXPECT_EQ(frame->linkStatusText(), s("连接失败"));
    EXPECT_TRUE(frame->action(s("actionConnectNet"))->isEnabled());
}

TEST_F(MainFrameTest, EthernetConnectCancelledDoesNothing)
{
    make();
    frame->setAddressAsker([](const CMainFrame::Octets&) { return std::nullopt; });
    frame->connectEthernet();
    EXPECT_FALSE(frame->connectingEthernet());
    EXPECT_FALSE(stored("IP/IP1").isValid());
    EXPECT_EQ(frame->linkStatusText(), s("尚未连接"));
}

TEST_F(MainFrameTest, LostEthernetLinkEndsTheOperationAndShowsDisconnect)
{
    startSim(false);
    make();
    connectByEthernet();
    // A page lost the link in the middle of a receive.
    hub().state.operation = OperationState::OpNetReceive;
    hub().dropEthernet();
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    EXPECT_TRUE(hub().state.idle());
    EXPECT_EQ(frame->linkStatusText(), s("以太网已断开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
    EXPECT_TRUE(frame->action(s("actionConnectNet"))->isEnabled());

    // The controller going away with no page at work is handled the same way.
    connectByEthernet();
    stopSim();
    ASSERT_TRUE(waitUntil([&] { return hub().state.link == LinkType::LinkNone; }));
    EXPECT_EQ(frame->linkStatusText(), s("以太网已断开"));
}

TEST_F(MainFrameTest, PagesWorkOverTheLinkTheWindowOpened)
{
    startSim(false);
    writeFile(dir.filePath(s("cnc/user/O00042.txt")), "G0 X0\n");
    make();
    connectByEthernet();
    frame->showPage(CMainFrame::PageReceive);
    auto* receive = qobject_cast<ReceivePage*>(frame->page(CMainFrame::PageReceive));
    ASSERT_NE(receive, nullptr);
    receive->getCncList();
    ASSERT_TRUE(waitUntil([&] { return hub().state.idle() && receive->list()->rowCount() > 0; }, 10000))
        << (prompter.shown.empty() ? std::string() : prompter.shown.back().toStdString());
    EXPECT_EQ(receive->list()->topLevelItem(0)->text(ReceivePage::ColName), s("O00042.txt"));
    EXPECT_EQ(hub().state.link, LinkType::LinkEthernet);
    EXPECT_TRUE(frame->action(s("actionDisconnect"))->isEnabled());

    // The controller goes away after the listing: the page that last used the link tells the window.
    stopSim();
    ASSERT_TRUE(waitUntil([&] { return hub().state.link == LinkType::LinkNone; }));
    EXPECT_EQ(frame->linkStatusText(), s("以太网已断开"));
    EXPECT_EQ(frame->stateIcons(), CMainFrame::kIconsDown);
}

// ---------------------------------------------------------------- refusals

TEST_F(MainFrameTest, DisconnectAndCloseAreRefusedInEveryOperationWithItsOwnText)
{
    make();
    frame->startUp();
    struct Case { OperationState state; const char* close; const char* disconnect; };
    const Case cases[] = {
        {OperationState::OpSerialSend, "正在传输文件,请先停止传输再关闭程序", "正在传输文件,请先停止传输再关闭连接"},
        {OperationState::OpNetSend, "正在传输文件,请先停止传输再关闭程序", "正在传输文件,请先停止传输再关闭连接"},
        {OperationState::OpSerialReceive, "正在接收文件,请先停止传输再关闭程序", "正在接收文件,请先停止传输再关闭连接"},
        {OperationState::OpNetReceive, "正在接收文件,请先停止传输再关闭程序", "正在接收文件,请先停止传输再关闭连接"},
        {OperationState::OpSerialDelete, "正在删除文件,请先停止传输再关闭程序", "正在删除文件,请先停止传输再关闭连接"},
        {OperationState::OpNetDelete, "正在删除文件,请先停止传输再关闭程序", "正在删除文件,请先停止传输再关闭连接"},
        {OperationState::OpSerialDnc, "正在DNC,请先停止传输再关闭程序", "正在DNC,请先停止传输再关闭连接"},
        {OperationState::OpNetDnc, "正在DNC,请先停止传输再关闭程序", "正在DNC,请先停止传输再关闭连接"},
        {OperationState::OpSerialList, "正在获取文件列表,请先停止传输再关闭程序", "正在获取文件列表,请先停止传输再关闭连接"},
        {OperationState::OpNetList, "正在获取文件列表,请先停止传输再关闭程序", "正在获取文件列表,请先停止传输再关闭连接"},
    };
    hub().state.link = LinkType::LinkSerial;
    for (const Case& c : cases) {
        hub().state.operation = c.state;
        prompter.shown.clear();
        EXPECT_FALSE(frame->close());
        EXPECT_TRUE(frame->isVisible());
        frame->disconnectLink();
        EXPECT_EQ(hub().state.link, LinkType::LinkSerial);
        ASSERT_EQ(prompter.shown.size(), 2u);
        EXPECT_EQ(prompter.shown[0], s(c.close)) << static_cast<int>(c.state);
        EXPECT_EQ(prompter.shown[1], s(c.disconnect)) << static_cast<int>(c.state);
    }
    hub().state.operation = OperationState::OpIdle;
    hub().state.link = LinkType::LinkNone;
    EXPECT_TRUE(frame->close());
}

TEST_F(MainFrameTest, EnglishRefusalsShareOneText)
{
    preset("Setting/Language", 1);
    make();
    frame->startUp();
    hub().state.operation = OperationState::OpNetReceive;
    EXPECT_FALSE(frame->close());
    hub().state.link = LinkType::LinkEthernet;
    frame->disconnectLink();
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0], s("Please close program after stop transfer "));
    EXPECT_EQ(prompter.shown[1], s("Please disconnect after stop transfer"));
}

TEST_F(MainFrameTest, CloseAsksToSaveAChangedProgram)
{
    make();
    frame->startUp();
    frame->editor()->insertPlainText(s("O0001"));
    prompter.answers = {Answer::Cancel};
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(prompter.asked.size(), 1u);
    prompter.answers = {Answer::No};
    EXPECT_TRUE(frame->close());
}

// ---------------------------------------------------------------- editor

TEST_F(MainFrameTest, EditorReadsAndWritesGbkAndSavesAtomically)
{
    make();
    const QString path = dir.filePath(s("O0001.nc"));
    writeFile(path, toGbk(s("O0001 (程序)\nG00 X0\nM30\n")));
    ASSERT_TRUE(frame->openDocument(path));
    EXPECT_EQ(frame->editor()->toPlainText(), s("O0001 (程序)\nG00 X0\nM30\n"));
    EXPECT_EQ(frame->positionText(), s("行 1/4   22 字节"));
    EXPECT_EQ(frame->recentFiles(), QStringList{QFileInfo(path).absoluteFilePath()});

    frame->editor()->moveCursor(QTextCursor::End);
    frame->editor()->insertPlainText(s("%注释\n"));
    ASSERT_TRUE(frame->saveDocument());
    EXPECT_EQ(readFile(path), toGbk(s("O0001 (程序)\nG00 X0\nM30\n%注释\n")));
    EXPECT_EQ(QDir(dir.path()).entryList({s("O0001*")}, QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_FALSE(frame->editor()->isModified());

    // The DNC page sees the program as it stands.
    const DncDocument doc = hub().currentDocument();
    EXPECT_EQ(doc.path, QFileInfo(path).absoluteFilePath());
    EXPECT_FALSE(doc.modified);
    EXPECT_EQ(doc.lines, 5);
    EXPECT_FALSE(doc.empty);

    // A save that cannot happen says so and keeps the text.
    EXPECT_FALSE(frame->saveDocumentAs(dir.filePath(s("missing/folder/x.nc"))));
    EXPECT_TRUE(lastShown().startsWith(s("保存文件 ")));
    EXPECT_EQ(frame->editor()->path(), QFileInfo(path).absoluteFilePath());
}

TEST_F(MainFrameTest, EditorSavesEveryByteItDidNotChange)
{
    make();
    struct Case {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"CRLF GBK", "O0001 (\xB3\xCC\xD0\xF2)\r\nG00 X0\r\nM30\r\n"},
        {"UTF-8", "O0002 (Ma\xC3\x9F B\xC3\xA4r \xC2\xA0)\nM30\n"},
        {"UTF-8 BOM CRLF", "\xEF\xBB\xBF(\xC3\xA4)\r\nM30"},
        {"mixed ends", "N1\r\nN2\nN3\rN4\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(s("roundtrip.nc"));
        writeFile(path, c.bytes);
        ASSERT_TRUE(frame->openDocument(path));
        ASSERT_TRUE(frame->saveDocument());
        EXPECT_EQ(readFile(path), c.bytes);
        // A typed line takes the file's encoding and usual line end.
        frame->editor()->moveCursor(QTextCursor::Start);
        frame->editor()->insertPlainText(s("(é)\n"));
        ASSERT_TRUE(frame->saveDocument());
        const QByteArray bom = c.bytes.startsWith("\xEF\xBB\xBF") ? QByteArray("\xEF\xBB\xBF") : QByteArray();
        const QByteArray typed = c.bytes.startsWith("O0001") || c.bytes.startsWith("N1") ? QByteArray("(\xA8\xA6)")
                                                                                         : QByteArray("(\xC3\xA9)");
        const QByteArray end = c.bytes.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
        EXPECT_EQ(readFile(path), bom + typed + end + c.bytes.mid(bom.size()));
    }
}

TEST_F(MainFrameTest, EditorRefusesACharacterTheFileCannotHoldBeforeWriting)
{
    make();
    const QString path = dir.filePath(s("O0003.nc"));
    const QByteArray gbk("O0003\r\nG00 X0\r\nM30\r\n");
    writeFile(path, gbk);
    ASSERT_TRUE(frame->openDocument(path));
    frame->editor()->setCaret({1, frame->editor()->store().lineLength(1)});
    frame->editor()->insertPlainText(s(" (Maß)"));
    EXPECT_FALSE(frame->saveDocument());
    EXPECT_EQ(lastShown(), message(Msg::SaveUnencodable, Language::Chinese).arg(path, s("2"), s("ß"), s("GBK")));
    EXPECT_EQ(readFile(path), gbk);
    EXPECT_TRUE(frame->editor()->isModified());
}

TEST_F(MainFrameTest, RecentListKeepsTheLastFourNewestFirst)
{
    make();
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
        paths << QFileInfo(dir.filePath(s("O000%1.nc").arg(i))).absoluteFilePath();
        writeFile(paths.last(), "G0\n");
        ASSERT_TRUE(frame->openDocument(paths.last()));
    }
    ASSERT_TRUE(frame->openDocument(paths[2]));
    EXPECT_EQ(frame->recentFiles(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
}

TEST_F(MainFrameTest, EditorIsReadOnlyWhileAnOperationRunsAndOpeningIsRefusedDuringDnc)
{
    make();
    frame->startUp();
    const QString path = dir.filePath(s("O0002.nc"));
    writeFile(path, "G01 X1\n");
    ASSERT_TRUE(frame->openDocument(path));

    hub().state.operation = OperationState::OpSerialSend;
    hub().operationChanged();
    EXPECT_TRUE(frame->editor()->isReadOnly());
    EXPECT_FALSE(frame->action(s("actionCut"))->isEnabled());
    EXPECT_FALSE(frame->action(s("actionPaste"))->isEnabled());
    EXPECT_FALSE(frame->action(s("actionFind"))->isEnabled());
    EXPECT_TRUE(frame->action(s("actionOpen"))->isEnabled());  // only DNC blocks the file commands
    frame->editor()->setFocus();
    QTest::keyClicks(frame->editor(), s("abc"));
    EXPECT_EQ(frame->editor()->toPlainText(), s("G01 X1\n"));
    EXPECT_FALSE(frame->editor()->mayEdit());
    EXPECT_EQ(lastShown(), s("正在传输，不能编辑文件"));

    hub().state.operation = OperationState::OpNetDnc;
    hub().operationChanged();
    EXPECT_FALSE(frame->action(s("actionOpen"))->isEnabled());
    EXPECT_FALSE(frame->action(s("actionPrint"))->isEnabled());
    EXPECT_FALSE(frame->openDocument(path));
    EXPECT_EQ(lastShown(), s("正在DNC,不能打开文件"));
    EXPECT_EQ(prompter.asked.size(), 0u);
    auto* recent = frame->findChild<QMenu*>(s("recentMenu"));
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_FALSE(recent->menuAction()->isEnabled());
    recent->actions().first()->trigger();
    EXPECT_EQ(lastShown(), s("正在DNC,不能打开文件"));  // the recent list's own text; same in Chinese

    hub().state.operation = OperationState::OpIdle;
    hub().operationChanged();
    EXPECT_FALSE(frame->editor()->isReadOnly());
    QTest::keyClicks(frame->editor(), s("N"));
    EXPECT_EQ(frame->editor()->toPlainText().size(), 8);
}

TEST_F(MainFrameTest, OpeningDuringDncNamesTheWayTheFileWasChosen)
{
    preset("Setting/Language", 1);
    make();
    const QString path = dir.filePath(s("O0009.nc"));
    writeFile(path, "G0\n");
    ASSERT_TRUE(frame->openDocument(path));
    hub().state.operation = OperationState::OpSerialDnc;
    EXPECT_FALSE(frame->openDocument(path));
    EXPECT_EQ(lastShown(), s("DNC,Unable to open file."));
    EXPECT_FALSE(frame->openDocument(path, true));
    EXPECT_EQ(lastShown(), s("DNC,Can't open file"));
}

TEST_F(MainFrameTest, GoToLineMovesTheCaretOrSaysTheNumberIsTooBig)
{
    make();
    frame->editor()->setPlainText(s("N10\nN20\nN30"));
    prompter.texts = {s("2")};
    frame->goToLineCommand();
    EXPECT_EQ(frame->editor()->caretLine(), 2);
    EXPECT_EQ(frame->positionText(), s("行 2/3   11 字节"));
    ASSERT_FALSE(prompter.asked.empty());
    EXPECT_EQ(prompter.asked.back(), s("行号 (当前 1, 最后 3):"));

    prompter.texts = {s("4")};
    frame->goToLineCommand();
    EXPECT_EQ(lastShown(), s("输入的行号大于现有的行数"));
    EXPECT_EQ(frame->editor()->caretLine(), 2);

    prompter.texts = {std::nullopt};
    frame->goToLineCommand();
    EXPECT_EQ(frame->editor()->caretLine(), 2);
}

TEST_F(MainFrameTest, FindAndReplaceReportTheirOutcome)
{
    make();
    frame->editor()->setPlainText(s("G01 X1\nG01 X2\nM30\n"));
    frame->showFind(true);
    auto* dlg = frame->findChild<CFindReplaceDlg*>();
    ASSERT_NE(dlg, nullptr);

    struct Case { const char* what; const char* with; const char* message; const char* text; };
    const Case cases[] = {
        {"G01", "G02", "已完成搜索并完成2处替换", "G02 X1\nG02 X2\nM30\n"},
        {"G01", "G03", "已完成搜索并完成0处替换", "G02 X1\nG02 X2\nM30\n"},
    };
    for (const Case& c : cases) {
        dlg->setPattern(s(c.what), s(c.with));
        dlg->replaceAll();
        EXPECT_EQ(lastShown(), s(c.message));
        EXPECT_EQ(frame->editor()->toPlainText(), s(c.text));
    }
    frame->editor()->moveCursor(QTextCursor::Start);
    dlg->setPattern(s("M30"), s("M02"));
    dlg->replaceOne();  // selects the first match
    dlg->replaceOne();  // replaces it; no further match
    EXPECT_EQ(frame->editor()->toPlainText(), s("G02 X1\nG02 X2\nM02\n"));
    prompter.shown.clear();
    dlg->replaceOne();
    EXPECT_EQ(lastShown(), s("已完成搜索，未找到搜索项"));
    dlg->setPattern(s("Z9"));
    dlg->findNext();
    EXPECT_EQ(lastShown(), s("已完成搜索。"));
}

TEST_F(MainFrameTest, FindNextSelectsTheNextMatchAfterTheSelection)
{
    make();
    CFernlinkView* view = frame->editor();
    view->setPlainText(s("N1 g01\nN2 G01 X1\nN3 G01\n"));
    view->moveCursor(QTextCursor::Start);
    const auto selected = [view] {
        const NcTextCursor c = view->textCursor();
        return std::make_pair(c.blockNumber() + 1, c.selectedText());
    };
    ASSERT_TRUE(view->findNext(s("G01"), true));
    EXPECT_EQ(selected(), std::make_pair(2, s("G01")));
    ASSERT_TRUE(view->findNext(s("G01"), true));
    EXPECT_EQ(selected(), std::make_pair(3, s("G01")));
    EXPECT_FALSE(view->findNext(s("G01"), true));
    EXPECT_EQ(selected(), std::make_pair(3, s("G01")));  // nothing moves
    view->moveCursor(QTextCursor::Start);
    ASSERT_TRUE(view->findNext(s("G01"), false));
    EXPECT_EQ(selected(), std::make_pair(1, s("g01")));
    // A match never runs over a line end.
    view->moveCursor(QTextCursor::Start);
    EXPECT_FALSE(view->findNext(s("X1N3"), false));
    EXPECT_FALSE(view->findNext(s("X1\nN3"), false));
}

TEST_F(MainFrameTest, FindFarAwayFollowsEditsMadeBetweenSearches)
{
    make();
    CFernlinkView* view = frame->editor();
    QString program;
    for (int i = 1; i <= 5000; ++i)
        program += s("N%1 G01 X%2\n").arg(i).arg(i % 7);
    view->setPlainText(program + s("M30\n"));
    view->moveCursor(QTextCursor::Start);
    ASSERT_TRUE(view->findNext(s("m30"), false));
    EXPECT_EQ(view->textCursor().blockNumber(), 5000);
    EXPECT_EQ(view->textCursor().selectedText(), s("M30"));
    // An edit between two searches: the second sees the text as it is now.
    view->moveCursor(QTextCursor::Start);
    view->insertPlainText(s("(TOP)\n"));
    view->moveCursor(QTextCursor::Start);
    ASSERT_TRUE(view->findNext(s("M30"), true));
    EXPECT_EQ(view->textCursor().blockNumber(), 5001);
    EXPECT_EQ(view->textCursor().selectedText(), s("M30"));
    EXPECT_FALSE(view->findNext(s("M30"), true));
}

TEST_F(MainFrameTest, FileChangedOnDiskIsReloadedWhenTheUserAgrees)
{
    make();
    const QString path = dir.filePath(s("O0003.nc"));
    writeFile(path, "G00\n");
    ASSERT_TRUE(frame->openDocument(path));
    frame->editor()->checkFileChanged();
    EXPECT_TRUE(prompter.asked.empty());  // unchanged: no question

    writeFile(path, "G00\nG01\n");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    }
    prompter.answers = {Answer::Yes};
    frame->editor()->checkFileChanged();
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0], s("内容已经改变,是否重新导入文件"));
    EXPECT_EQ(frame->editor()->toPlainText(), s("G00\nG01\n"));
    frame->editor()->checkFileChanged();
    EXPECT_EQ(prompter.asked.size(), 1u);
}

TEST_F(MainFrameTest, ControllerOutputIsAppendedEvenWhileAPageShows)
{
    make();
    frame->editor()->setPlainText(s("O0001\n"));
    frame->showPage(CMainFrame::PageReceive);
    Q_EMIT hub().server().cncOutput(s("X10.5 Y2\n"));
    EXPECT_EQ(frame->editor()->toPlainText(), s("O0001\nX10.5 Y2\n"));
}

// ---------------------------------------------------------------- settings and language

TEST_F(MainFrameTest, SettingsApplyStoresEverythingAndWritesTheAutostartEntry)
{
    make();
    frame->startUp();
    SettingsPage* page = frame->settingsPage();
    frame->showPage(CMainFrame::PageSettings);
    page->baudBox()->setCurrentIndex(page->baudBox()->findText(s("19200")));
    EXPECT_TRUE(page->applyButton()->isEnabled());
    page->portBox()->setEditText(s("/dev/ttyUSB7"));
    page->startInTrayBox()->setChecked(true);
    page->launchOnStartupBox()->setChecked(true);
    page->autoActivateBox()->setChecked(true);
    page->ftpPortBox()->setValue(2121);
    page->maxUsersBox()->setValue(4);
    page->maxTimeoutBox()->setValue(9);
    maybeShoot(page, "fernlink-settings-page.png");
    QTest::mouseClick(page->applyButton(), Qt::LeftButton);
    EXPECT_FALSE(page->applyButton()->isEnabled());

    const struct { const char* key; const char* value; } expected[] = {
        {"Settings/BaudRate", "19200"},   {"Settings/SeriesNum", "/dev/ttyUSB7"}, {"Settings/StartInTray", "1"},
        {"Settings/LaundOnStartup", "1"}, {"Settings/AutoActivate", "1"},         {"Settings/Port", "2121"},
        {"Settings/MaxUeser", "4"},       {"Settings/MaxTimeout", "9"},           {"Settings/MachineType", "Vantor Q6C"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(stored(e.key).toString(), s(e.value)) << e.key;
    EXPECT_EQ(hub().server().port(), 2121);
    EXPECT_TRUE(QFile::exists(autostartEntryPath(autostart())));

    page->launchOnStartupBox()->setChecked(false);
    EXPECT_TRUE(page->apply());
    EXPECT_FALSE(QFile::exists(autostartEntryPath(autostart())));
    EXPECT_EQ(stored("Settings/LaundOnStartup").toInt(), 0);
    EXPECT_FALSE(page->apply());  // nothing pending
}

TEST_F(MainFrameTest, SettingsApplyWithNoBaudChosenKeepsTheStoredRate)
{
    make();
    SettingsPage* page = frame->settingsPage();
    page->maxUsersBox()->setValue(3);
    EXPECT_TRUE(page->apply());
    EXPECT_EQ(stored("Settings/BaudRate").toString(), s("1200"));
    EXPECT_EQ(stored("Settings/SeriesNum").toString(), FernlinkSettings::defaultPort());
}

TEST_F(MainFrameTest, PassivePortRangeIsCheckedStoredAndGivenToTheServer)
{
    make();
    SettingsPage* page = frame->settingsPage();
    for (const char* bad : {"3000", "80-90", "6000-5000", "50000-70000"}) {
        page->pasvPortsBox()->setText(s(bad));
        Q_EMIT page->pasvPortsBox()->textEdited(page->pasvPortsBox()->text());
        prompter.shown.clear();
        EXPECT_FALSE(page->apply()) << bad;
        EXPECT_TRUE(lastShown().contains(s("1024"))) << bad;
    }
    page->pasvPortsBox()->setText(s(" 50000-50100 "));
    Q_EMIT page->pasvPortsBox()->textEdited(page->pasvPortsBox()->text());
    EXPECT_TRUE(page->apply());
    EXPECT_EQ(stored("Settings/PasvPorts").toString(), s("50000-50100"));
    EXPECT_EQ(hub().server().passivePorts(), (ftp::PassivePorts{50000, 50100}));
    page->pasvPortsBox()->clear();
    Q_EMIT page->pasvPortsBox()->textEdited(QString());
    EXPECT_TRUE(page->apply());
    EXPECT_TRUE(hub().server().passivePorts().any());
}

TEST_F(MainFrameTest, BaudAndPortCannotChangeWhileASerialOperationRuns)
{
    preset("Settings/BaudRate", "9600");
    make();
    SettingsPage* page = frame->settingsPage();
    struct Case { OperationState state; const char* baud; const char* port; };
    const Case cases[] = {
        {OperationState::OpSerialSend, "串口正在发送文件,不能改变波特率!", "串口正在发送文件,不能改变串口!"},
        {OperationState::OpSerialReceive, "串口正在接收文件,不能改变波特率!", "串口正在接收文件,不能改变串口!"},
        {OperationState::OpSerialDelete, "串口正在删除CNC文件,不能改变波特率!", "串口正在删除CNC文件,不能改变串口!"},
        {OperationState::OpSerialDnc, "串口正在DNC,不能改变波特率!", "串口正在DNC,不能改变串口!"},
        {OperationState::OpSerialList, "串口正在获取CNC文件,不能改变波特率!", "串口正在获取CNC文件,不能改变串口!"},
    };
    const int stored9600 = page->baudBox()->findText(s("9600"));
    ASSERT_EQ(page->baudBox()->currentIndex(), stored9600);
    for (const Case& c : cases) {
        hub().state.operation = c.state;
        prompter.shown.clear();
        page->baudBox()->setCurrentIndex(0);
        EXPECT_EQ(page->baudBox()->currentIndex(), stored9600);
        page->portBox()->setEditText(s("/dev/ttyUSB9"));
        EXPECT_EQ(page->portBox()->currentText(), FernlinkSettings::defaultPort());
        ASSERT_EQ(prompter.shown.size(), 2u);
        EXPECT_EQ(prompter.shown[0], s(c.baud));
        EXPECT_EQ(prompter.shown[1], s(c.port));
        EXPECT_FALSE(page->applyButton()->isEnabled());
    }
    // An Ethernet operation does not hold the serial settings.
    hub().state.operation = OperationState::OpNetSend;
    page->baudBox()->setCurrentIndex(0);
    EXPECT_EQ(page->baudBox()->currentText(), s("2400"));
    EXPECT_TRUE(page->applyButton()->isEnabled());
}

TEST_F(MainFrameTest, SettingsApplyReopensTheOpenSerialLink)
{
    startSim(true);
    make(simLink);  // the port given for this run, as ./run does
    ASSERT_TRUE(frame->connectSerial());
    SettingsPage* page = frame->settingsPage();
    page->baudBox()->setCurrentIndex(page->baudBox()->findText(s("57600")));
    ASSERT_TRUE(page->apply());
    EXPECT_TRUE(hub().serial().isOpen());
    EXPECT_EQ(hub().serial().portName(), simLink);  // the session's port stays in use ...
    EXPECT_EQ(hub().serial().baudRate(), 57600);
    EXPECT_EQ(stored("Settings/SeriesNum").toString(), FernlinkSettings::defaultPort());  // ... and is not stored
    EXPECT_EQ(frame->linkStatusText(), s("串口已打开"));

    page->portBox()->setEditText(dir.filePath(s("gone")));
    ASSERT_TRUE(page->apply());
    EXPECT_FALSE(hub().serial().isOpen());
    EXPECT_EQ(hub().state.link, LinkType::LinkNone);
    EXPECT_EQ(frame->linkStatusText(), s("串口已断开"));
}

TEST_F(MainFrameTest, LanguageCommandsStoreTheChoiceForTheNextStart)
{
    make();
    frame->action(s("actionEnglish"))->trigger();
    EXPECT_EQ(stored("Setting/Language").toInt(), 1);
    EXPECT_EQ(lastShown(), s("Please restart the program"));
    frame->action(s("actionChinese"))->trigger();
    EXPECT_EQ(stored("Setting/Language").toInt(), 0);
    EXPECT_EQ(lastShown(), s("重启程序后生效"));
    EXPECT_EQ(hub().state.language, Language::Chinese);  // this run keeps its language
}

TEST_F(MainFrameTest, KeyboardSelectAllFollowsTheFocusAndCommandsHaveShortcuts)
{
    make();
    frame->startUp();
    frame->editor()->setPlainText(s("G00 X0\nM30\n"));
    ASSERT_TRUE(frame->showPage(CMainFrame::PageSend));
    auto* send = static_cast<SendPage*>(frame->page(CMainFrame::PageSend));
    const QString a = dir.filePath(s("O1.nc"));
    const QString b = dir.filePath(s("O2.nc"));
    writeFile(a, "1");
    writeFile(b, "2");
    send->addFiles({a, b}, TargetArea::User);
    send->list()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    send->list()->setFocus();
    frame->action(s("actionSelectAll"))->trigger();
    EXPECT_EQ(send->list()->selectedRows().size(), 2u);  // the rows, not the editor's text
    EXPECT_FALSE(frame->editor()->textCursor().hasSelection());

    EXPECT_EQ(frame->action(s("actionConnectSerial"))->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(frame->action(s("actionConnectNet"))->shortcut(), QKeySequence(Qt::Key_F6));
    EXPECT_EQ(frame->action(s("actionDisconnect"))->shortcut(), QKeySequence(Qt::Key_F8));
    QAction* receivePage = frame->action(s("actionPage%1").arg(CMainFrame::PageReceive));
    ASSERT_NE(receivePage, nullptr);
    EXPECT_EQ(receivePage->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_4));
    receivePage->trigger();
    EXPECT_EQ(frame->currentPage(), CMainFrame::PageReceive);

    // F9 works from anywhere in the window, for the page that shows (not only after a click
    // into it, and not for the hidden pages, whose keys would make it ambiguous).
    frame->outlookBar()->setFocus();
    QTest::keyClick(frame->outlookBar(), Qt::Key_F9);
    EXPECT_EQ(lastShown(), hub().text(Msg::ReceiveSelectFile));
    ASSERT_TRUE(frame->showPage(CMainFrame::PageSend));
    frame->outlookBar()->setFocus();
    QTest::keyClick(frame->outlookBar(), Qt::Key_F9);
    EXPECT_EQ(lastShown(), hub().text(Msg::PleaseConnect));
}

// ---------------------------------------------------------------- a full or failing disk

// The settings page switching the autostart entry on, and the user log written at close, on
// a disk that takes nothing: the message box names the file and the system's reason, no
// entry appears, the earlier log stays, and closing is not held up by the log.
TEST_F(MainFrameTest, FullDiskIsToldForTheAutostartEntryAndTheUserLog)
{
    QDir().mkpath(dir.filePath(s("data")));
    {
        vantor::ftp::CUserLogStore earlier(dir.filePath(s("data/userlog.dat")));
        earlier.records = {vantor::ftp::CUserLog{1, 2, "a", "b", "c"}};
        ASSERT_TRUE(earlier.save());
    }
    const QByteArray earlierLog = readFile(dir.filePath(s("data/userlog.dat")));
    make();
    frame->startUp();
    SettingsPage* page = frame->settingsPage();
    frame->showPage(CMainFrame::PageSettings);
    vantor::ScopedFileFault fault({vantor::FileFault::Step::Write, ENOSPC, 0, dir.path()});
    const QString reason = vantor::systemErrorText(ENOSPC);

    prompter.shown.clear();
    ASSERT_FALSE(page->launchOnStartupBox()->isChecked());
    page->launchOnStartupBox()->click();   // as the user does: the page then has a change to apply
    EXPECT_TRUE(page->apply());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_TRUE(prompter.shown.back().contains(reason)) << prompter.shown.back().toStdString();
    EXPECT_TRUE(prompter.shown.back().contains(s("Fernlink.desktop")));
    EXPECT_EQ(vantor::testing::filesIn(autostart()), QStringList{});

    prompter.shown.clear();
    EXPECT_TRUE(frame->close());
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_TRUE(prompter.shown.back().contains(reason)) << prompter.shown.back().toStdString();
    EXPECT_TRUE(prompter.shown.back().contains(s("userlog.dat")));
    EXPECT_EQ(readFile(dir.filePath(s("data/userlog.dat"))), earlierLog);
    EXPECT_EQ(vantor::testing::filesIn(dir.filePath(s("data"))).filter(s(".part")), QStringList{});
}
