// SPDX-License-Identifier: GPL-3.0-or-later
// cncsim: a controller on a pseudo-terminal, for trying the serial link without a machine
// and for the integration tests.
#include "fernlink/link/ethernetsocket.h"
#include "serialcore/linkdriver.h"
#include "serialcore/serialwire.h"
#include "sim/dncsink.h"
#include "sim/faultline.h"
#include "sim/simcontroller.h"
#include "sim/tcpcontroller.h"
#include "vantor/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace vantor;

namespace {

const char* kHelp = R"(cncsim: a simulated controller on a pseudo-terminal and/or a TCP port.

At least one of --link and --tcp is required. Output lines on stdout, in this order: LINK
(with --link), then "127.0.0.1:PORT" with the port actually listened on (with --tcp). It
runs until it is ended (SIGINT/SIGTERM). Each partition (user, sys, bios, usb) is a folder
below ROOT; programs streamed in DNC mode on either link are kept as ROOT/dnc/stream-NNN.nc
(the number one past the highest there), bytes exactly as received; an aborted stream keeps
nothing.

Serial line (--link): it opens a pseudo-terminal, links LINK to its device and serves the
serial command set:
  "\nxcd P\n"   partition user, sys, bios or usb; answers "\r\nP>" (an unknown partition
                keeps the current one, so the prompt names the current one)
  "xls\n"       one line per file "N: NAME<TAB> SIZE\r\n", then CAN
  "xdel N\n"    ACK when the file was deleted, DLE when it does not exist
  "xdl N F\n"   becomes an XModem-CRC receiver (C at once, then every 1 s, ten times) and
                stores the blocks as they came, padding included; the file appears only once
                EOT arrived. A name with a path in it is refused with SUB
  "\nxul N F\n" becomes an XModem-CRC sender waiting for C; CAN when the file does not exist
The type flag F is accepted and ignored.
With --dnc the line is a DNC input instead: it writes C every second until an XModem-CRC
stream starts, keeps the stream (blocks as they came, padding included) in ROOT/dnc, and
waits for the next one.

TCP (--tcp PORT, on 127.0.0.1; 0 picks a free port): one session per connection, all on the
same ROOT. Commands end with " \r\n"; blanks and the case of the partition word do not matter.
  "scd P"       "scdok"; an unknown partition answers "scder" and keeps the current one
  "sls"         "slsok", one line per file "N: NAME<TAB> SIZE\r\n" (dot-files left out), CAN
  "sdel N"      ACK when deleted, DLE when missing or refused
  "sul N"       "sulok SIZE" (CAN when missing); after each ACK one 2048-byte frame: SOH,
                2047 file bytes, the last zero padded; after the last frame's ACK a lone EOT.
                An empty file: EOT after the first ACK. CAN from the PC ends the stream
  "sdl N SIZE"  "sdlok", then 2048-byte frames (header byte, 2047 bytes), each acknowledged;
                EOT at a frame boundary stores the first SIZE bytes. A shorter stream, CAN or
                a dropped connection stores nothing. A name with / or \ or a leading dot, or a
                SIZE that is not a decimal number, is refused with SUB
  "sdnc" + zero byte  "dncok", then raw chunks of up to 2048 bytes, each acknowledged when
                2048 bytes are in or the PC has been quiet for 30 ms; an EOT alone (right
                after an ACK, nothing else in the same read) ends and keeps the program, a
                CAN alone drops it

Faults it can play (TCP and serial unless said otherwise):
  --refuse dle|sub|esc|fs|can  answer every download (xdl / sdl) with that byte
  --refuse-upload dle|can   answer every upload (xul / sul) with that byte
  --refuse-partition        TCP: answer every scd with "scder"
  --dnc-refuse auto|buff|other  TCP: answer sdnc with "dncer AUTO", "dncer BUFF NOT EMPTY"
                            or "dncer"
  --exists-asks             a download of an existing name answers ESC, then ACK overwrites
                            (serial: C follows; TCP: "sdlok" follows), NAK (the PC renames and
                            sends a new download command) or CAN drops the request
  --split N                 write replies of more than one byte and frames in pieces of N
                            bytes, 3 ms apart
  --silent                  answer nothing (TCP: connections are accepted, never answered)
  --drop-after N            TCP: close the connection once N file frames (either direction,
                            DNC chunks included) have passed: the Nth frame sent to the PC is
                            the last thing written, the Nth frame from the PC gets no answer;
                            0 closes right after the go-ahead of the first stream
  --cancel-after N          TCP: in a file or DNC stream, CAN instead of the (N+1)th frame
                            (upload) or the (N+1)th ACK (download, DNC)
  --nak-block N             serial: answer the first copy of block N with NAK
  --corrupt-crc N           serial: send block N first with a damaged CRC
  --duplicate-block N       serial: send block N again after its ACK (a lost ACK)
  --can-before-c            serial: answer the first xdl with CAN
  --can-after-c             serial: cancel the first download after its first block
  --list-end-prompt         serial: echo "xls" and end the listing with "P\:" instead of CAN
  --drop-at-eot             TCP: a download's final EOT closes the connection; nothing is stored
  --store-altered           TCP: a download is stored with its first byte changed to Z
  --chaos SEED              random faults, the same for the same SEED and the same traffic:
                            serial: bytes of line noise, lost and doubled bytes in what it
                            sends, and silences of 2.5 s; TCP: refused, dropped and hung
                            connections, and connections whose replies go in pieces. The
                            faults played are counted on stderr at the end
)";

char refusalByte(const QString& name)
{
    if (name == QLatin1String("dle"))
        return wire::kDle;
    if (name == QLatin1String("sub"))
        return wire::kSub;
    if (name == QLatin1String("esc"))
        return wire::kEsc;
    if (name == QLatin1String("fs"))
        return wire::kFs;
    if (name == QLatin1String("can"))
        return wire::kCan;
    return 0;
}

int signalPipe[2] = {-1, -1};

// Only a write is safe in a signal handler; the event loop picks the byte up and quits.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// One TCP connection: the socket, the write queue that paces split replies, and the session.
class TcpSession : public QObject {
public:
    TcpSession(QTcpSocket* socket, const QString& root, sim::DncSink& sink, const sim::TcpFaults& faults,
               sim::FaultLine* chaos, QObject* parent)
        : QObject(parent), socket_(socket), chaos_(chaos), controller_(driver_, root, sink, withChaos(faults, chaos))
    {
        socket_->setParent(this);
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        driver_.setWriter([this](const QByteArray& bytes) {
            if (hung_)
                return;
            // Each answer goes out at once rather than on the next turn of the event loop:
            // the PC waits for it before its next frame.
            fernlink::writeThrough(*socket_, bytes);
            answerWatch_.afterWrite();
        });
        driver_.setTimerHandler([this](int id) {
            controller_.onTimer(id);
            checkClose();
        });
        QObject::connect(&driver_, &LinkDriver::queueEmpty, this, [this] { checkClose(); });
        QObject::connect(socket_, &QTcpSocket::readyRead, this, [this] {
            const QByteArray bytes = socket_->readAll();
            if (hung_)
                return;
            // Every read may be the last, the lone EOT that ends a file or a DNC stream
            // included: a PC that calls a file sent must have seen the controller answer
            // something after it.
            if (chaos_ && chaos_->dropConnection()) {
                socket_->abort();
                end();
                return;
            }
            if (chaos_ && chaos_->hangConnection()) {
                hung_ = true;   // reads on, answers nothing, until the PC gives up
                driver_.clear();
                return;
            }
            controller_.onBytes(bytes);
            checkClose();
        });
        QObject::connect(socket_, &QTcpSocket::disconnected, this, [this] { end(); });
        QObject::connect(socket_, &QTcpSocket::errorOccurred, this, [this] { end(); });
    }

private:
    static sim::TcpFaults withChaos(sim::TcpFaults faults, sim::FaultLine* chaos)
    {
        if (chaos && faults.splitPieces == 0)
            faults.splitPieces = chaos->pieceSize();
        return faults;
    }
    void checkClose()
    {
        if (controller_.closeRequested() && driver_.idle() && !closing_) {
            closing_ = true;
            socket_->disconnectFromHost();  // what was written still goes out
        }
    }
    void end()
    {
        if (ended_)
            return;
        ended_ = true;
        driver_.clear();
        deleteLater();
    }

    QTcpSocket* socket_;
    fernlink::AnswerWatch answerWatch_{*socket_};
    sim::FaultLine* chaos_;
    bool hung_ = false;
    LinkDriver driver_;
    sim::TcpController controller_;
    bool closing_ = false;
    bool ended_ = false;
};

std::optional<sim::DncRefusal> dncRefusal(const QString& name)
{
    if (name == QLatin1String("auto"))
        return sim::DncRefusal::Auto;
    if (name == QLatin1String("buff"))
        return sim::DncRefusal::BuffNotEmpty;
    if (name == QLatin1String("other"))
        return sim::DncRefusal::Other;
    return std::nullopt;
}

std::optional<int> count(const QString& text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 0 ? std::optional<int>(n) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cncsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kHelp));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption rootOpt(QStringLiteral("root"), QStringLiteral("Folder holding one folder per partition."), QStringLiteral("ROOT"));
    QCommandLineOption linkOpt(QStringLiteral("link"), QStringLiteral("Path of the symlink to the pseudo-terminal."), QStringLiteral("LINK"));
    QCommandLineOption tcpOpt(QStringLiteral("tcp"), QStringLiteral("Listen on 127.0.0.1:PORT (0: any free port)."), QStringLiteral("PORT"));
    QCommandLineOption dncOpt(QStringLiteral("dnc"), QStringLiteral("Serial line is a DNC input."));
    QCommandLineOption refuseOpt(QStringLiteral("refuse"), QStringLiteral("Refuse every download."), QStringLiteral("BYTE"));
    QCommandLineOption refuseUpOpt(QStringLiteral("refuse-upload"), QStringLiteral("Refuse every upload."), QStringLiteral("BYTE"));
    QCommandLineOption refusePartOpt(QStringLiteral("refuse-partition"), QStringLiteral("TCP: refuse every scd."));
    QCommandLineOption dncRefuseOpt(QStringLiteral("dnc-refuse"), QStringLiteral("TCP: refuse sdnc."), QStringLiteral("WHY"));
    QCommandLineOption existsOpt(QStringLiteral("exists-asks"), QStringLiteral("Ask before overwriting."));
    QCommandLineOption nakOpt(QStringLiteral("nak-block"), QStringLiteral("NAK block N once."), QStringLiteral("N"));
    QCommandLineOption crcOpt(QStringLiteral("corrupt-crc"), QStringLiteral("Damage block N once."), QStringLiteral("N"));
    QCommandLineOption dupOpt(QStringLiteral("duplicate-block"), QStringLiteral("Repeat block N once."), QStringLiteral("N"));
    QCommandLineOption canBeforeOpt(QStringLiteral("can-before-c"), QStringLiteral("CAN the first xdl."));
    QCommandLineOption canAfterOpt(QStringLiteral("can-after-c"), QStringLiteral("CAN the first download after a block."));
    QCommandLineOption splitOpt(QStringLiteral("split"), QStringLiteral("Piece size of what is written."), QStringLiteral("N"));
    QCommandLineOption silentOpt(QStringLiteral("silent"), QStringLiteral("Answer nothing."));
    QCommandLineOption promptEndOpt(QStringLiteral("list-end-prompt"), QStringLiteral("End listings with the prompt text."));
    QCommandLineOption dropOpt(QStringLiteral("drop-after"), QStringLiteral("TCP: close after N frames."), QStringLiteral("N"));
    QCommandLineOption cancelOpt(QStringLiteral("cancel-after"), QStringLiteral("TCP: CAN after N frames."), QStringLiteral("N"));
    QCommandLineOption dropAtEotOpt(QStringLiteral("drop-at-eot"), QStringLiteral("TCP: close at a download's EOT."));
    QCommandLineOption storeAlteredOpt(QStringLiteral("store-altered"), QStringLiteral("TCP: store downloads altered."));
    QCommandLineOption chaosOpt(QStringLiteral("chaos"), QStringLiteral("Random faults from SEED."), QStringLiteral("SEED"));
    parser.addOptions({rootOpt, linkOpt, tcpOpt, dncOpt, refuseOpt, refuseUpOpt, refusePartOpt, dncRefuseOpt, existsOpt,
                       nakOpt, crcOpt, dupOpt, canBeforeOpt, canAfterOpt, splitOpt, silentOpt, promptEndOpt, dropOpt,
                       cancelOpt, chaosOpt, dropAtEotOpt, storeAlteredOpt});
    parser.process(app);
    QTextStream err(stderr);
    if (!parser.isSet(rootOpt) || (!parser.isSet(linkOpt) && !parser.isSet(tcpOpt))) {
        err << "cncsim: --root and at least one of --link and --tcp are required (see --help)\n";
        return 2;
    }
    sim::SimFaults faults;
    sim::TcpFaults tcpFaults;
    if (parser.isSet(refuseOpt) && !(faults.refuseDownload = refusalByte(parser.value(refuseOpt)))) {
        err << "cncsim: --refuse takes dle, sub, esc, fs or can\n";
        return 2;
    }
    if (parser.isSet(refuseUpOpt)) {
        faults.refuseUpload = refusalByte(parser.value(refuseUpOpt));
        if (faults.refuseUpload != wire::kDle && faults.refuseUpload != wire::kCan) {
            err << "cncsim: --refuse-upload takes dle or can\n";
            return 2;
        }
    }
    if (parser.isSet(dncRefuseOpt)) {
        const auto why = dncRefusal(parser.value(dncRefuseOpt));
        if (!why) {
            err << "cncsim: --dnc-refuse takes auto, buff or other\n";
            return 2;
        }
        tcpFaults.dncRefusal = *why;
    }
    for (const QCommandLineOption* opt : {&nakOpt, &crcOpt, &dupOpt, &splitOpt, &dropOpt, &cancelOpt}) {
        if (parser.isSet(*opt) && !count(parser.value(*opt))) {
            err << "cncsim: --" << opt->names().constFirst() << " takes a number (0 or more)\n";
            return 2;
        }
    }
    std::unique_ptr<sim::FaultLine> chaos;
    if (parser.isSet(chaosOpt)) {
        bool ok = false;
        const uint seed = parser.value(chaosOpt).toUInt(&ok);
        if (!ok) {
            err << "cncsim: --chaos takes a seed (a number 0 to 4294967295)\n";
            return 2;
        }
        chaos = std::make_unique<sim::FaultLine>(seed);
    }
    quint16 tcpPort = 0;
    if (parser.isSet(tcpOpt)) {
        bool ok = false;
        tcpPort = parser.value(tcpOpt).toUShort(&ok);
        if (!ok) {
            err << "cncsim: --tcp takes a port number (0 to 65535)\n";
            return 2;
        }
    }
    faults.existsAsks = parser.isSet(existsOpt);
    faults.nakBlock = parser.value(nakOpt).toInt();
    faults.corruptCrcBlock = parser.value(crcOpt).toInt();
    faults.duplicateBlock = parser.value(dupOpt).toInt();
    faults.canBeforeC = parser.isSet(canBeforeOpt);
    faults.canAfterC = parser.isSet(canAfterOpt);
    faults.splitPieces = parser.value(splitOpt).toInt();
    faults.silent = parser.isSet(silentOpt);
    faults.listEndsWithPrompt = parser.isSet(promptEndOpt);
    tcpFaults.refuseDownload = faults.refuseDownload;
    tcpFaults.refuseUpload = faults.refuseUpload;
    tcpFaults.refusePartition = parser.isSet(refusePartOpt);
    tcpFaults.existsAsks = faults.existsAsks;
    tcpFaults.splitPieces = faults.splitPieces;
    tcpFaults.silent = faults.silent;
    tcpFaults.dropAfterFrames = parser.isSet(dropOpt) ? parser.value(dropOpt).toInt() : -1;
    tcpFaults.cancelAfterFrames = parser.isSet(cancelOpt) ? parser.value(cancelOpt).toInt() : -1;
    tcpFaults.dropAtEot = parser.isSet(dropAtEotOpt);
    tcpFaults.storeAltered = parser.isSet(storeAlteredOpt);

    const QString root = parser.value(rootOpt);
    if (!QDir().mkpath(root)) {
        err << "cncsim: cannot make the folder " << root << "\n";
        return 1;
    }
    sim::DncSink dncSink(root);

    // Armed before anything is announced: a caller may end us as soon as it read our lines.
    if (::pipe(signalPipe) != 0) {
        err << "cncsim: cannot make a pipe\n";
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    QTextStream out(stdout);
    int master = -1, slave = -1;
    QString link;
    std::unique_ptr<LinkDriver> driver;
    std::unique_ptr<sim::SimController> controller;
    std::unique_ptr<QSocketNotifier> notifier;
    // A serial silence swallows both directions; the controller itself notices nothing.
    QElapsedTimer clock;
    clock.start();
    qint64 silentUntil = -1;
    auto silent = [clock, &silentUntil] { return clock.elapsed() < silentUntil; };
    if (parser.isSet(linkOpt)) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            err << "cncsim: cannot open a pseudo-terminal\n";
            return 1;
        }
        const char* slaveName = ptsname(master);
        // Holding the other end open keeps the line alive between two clients.
        slave = ::open(slaveName, O_RDWR | O_NOCTTY);
        if (slave < 0) {
            err << "cncsim: cannot open " << slaveName << "\n";
            return 1;
        }
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

        link = parser.value(linkOpt);
        QFile::remove(link);
        if (::symlink(slaveName, QFile::encodeName(link).constData()) != 0) {
            err << "cncsim: cannot make the link " << link << "\n";
            return 1;
        }
        driver = std::make_unique<LinkDriver>();
        driver->setWriter([master, &chaos, silent](const QByteArray& whole) {
            if (chaos && silent())
                return;
            const QByteArray bytes = chaos ? chaos->garble(whole) : whole;
            qsizetype done = 0;
            while (done < bytes.size()) {
                const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
                if (n > 0) {
                    done += n;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    return;
                } else {
                    usleep(1000);
                }
            }
        });
        driver->setPurger([master] { tcflush(master, TCIOFLUSH); });
        controller = parser.isSet(dncOpt) ? std::make_unique<sim::SimController>(*driver, root, dncSink, faults)
                                          : std::make_unique<sim::SimController>(*driver, root, faults);
        sim::SimController* c = controller.get();
        driver->setTimerHandler([c](int id) { c->onTimer(id); });
        notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [master, c, &chaos, clock, &silentUntil, silent] {
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0 && chaos && (silent() || chaos->startSilence())) {
                if (!silent())
                    silentUntil = clock.elapsed() + sim::FaultLine::kSerialSilenceMs;
                return;
            }
            if (n > 0)
                c->onBytes(QByteArrayView(buf, n));
        });
        out << link << "\n";
    }

    QTcpServer server;
    if (parser.isSet(tcpOpt)) {
        if (!server.listen(QHostAddress::LocalHost, tcpPort)) {
            err << "cncsim: cannot listen on 127.0.0.1:" << tcpPort << ": " << server.errorString() << "\n";
            if (!link.isEmpty())
                QFile::remove(link);
            return 1;
        }
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                if (chaos && chaos->refuseConnection()) {
                    socket->abort();
                    socket->deleteLater();
                    continue;
                }
                new TcpSession(socket, root, dncSink, tcpFaults, chaos.get(), &server);
            }
        });
        out << "127.0.0.1:" << server.serverPort() << "\n";
    }
    out.flush();

    const int status = app.exec();
    if (chaos) {
        const sim::FaultCounts& n = chaos->counts();
        err << "cncsim: faults played: noise " << n.noise << ", lost bytes " << n.dropped << ", doubled bytes "
            << n.duplicated << ", silences " << n.silences << ", refused " << n.refusals << ", dropped "
            << n.disconnects << ", split " << n.splitSessions << "\n";
        err.flush();
    }
    // Sessions still open end with the server; their unfinished transfers are dropped.
    server.close();
    if (!link.isEmpty())
        QFile::remove(link);
    notifier.reset();
    controller.reset();
    driver.reset();
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
    return status;
}
