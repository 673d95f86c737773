// cncsim: a controller on a pseudo-terminal, for trying the serial link without a machine
// and for the integration tests.
#include "serialcore/linkdriver.h"
#include "serialcore/serialwire.h"
#include "sim/simcontroller.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace vantor;

namespace {

const char* kHelp = R"(cncsim: a simulated controller on a pseudo-terminal.

It opens a pseudo-terminal, links LINK to its device, prints LINK and serves the serial
command set until it is ended (SIGINT/SIGTERM):
  "\nxcd P\n"   partition user, sys, bios or usb; answers "\r\nP>" (an unknown partition
                keeps the current one, so the prompt names the current one)
  "xls\n"       one line per file "N: NAME<TAB> SIZE\r\n", then CAN
  "xdel N\n"    ACK when the file was deleted, DLE when it does not exist
  "xdl N F\n"   becomes an XModem-CRC receiver (C at once, then every 1 s, ten times) and
                stores the blocks as they came, padding included; the file appears only once
                EOT arrived. A name with a path in it is refused with SUB
  "\nxul N F\n" becomes an XModem-CRC sender waiting for C; CAN when the file does not exist
The type flag F is accepted and ignored. Each partition is a folder below ROOT.

Faults it can play (one run, all on the first occasion unless said otherwise):
  --refuse dle|sub|esc|fs   answer every xdl with that byte instead of C
  --refuse-upload dle       answer every xul with DLE
  --exists-asks             xdl of an existing name answers ESC, then ACK overwrites (C
                            follows), NAK or CAN drops the request
  --nak-block N             answer the first copy of block N with NAK
  --corrupt-crc N           send block N first with a damaged CRC
  --duplicate-block N       send block N again after its ACK (a lost ACK)
  --can-before-c            answer the first xdl with CAN
  --can-after-c             cancel the first download after its first block
  --split N                 write frames in pieces of N bytes, 3 ms apart
  --silent                  answer nothing
  --list-end-prompt         echo "xls" and end the listing with "P\:" instead of CAN
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
    return 0;
}

void onSignal(int)
{
    QCoreApplication::quit();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cncsim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kHelp));
    parser.addHelpOption();
    QCommandLineOption rootOpt(QStringLiteral("root"), QStringLiteral("Folder holding one folder per partition."), QStringLiteral("ROOT"));
    QCommandLineOption linkOpt(QStringLiteral("link"), QStringLiteral("Path of the symlink to the pseudo-terminal."), QStringLiteral("LINK"));
    QCommandLineOption refuseOpt(QStringLiteral("refuse"), QStringLiteral("Refuse every xdl."), QStringLiteral("BYTE"));
    QCommandLineOption refuseUpOpt(QStringLiteral("refuse-upload"), QStringLiteral("Refuse every xul."), QStringLiteral("BYTE"));
    QCommandLineOption existsOpt(QStringLiteral("exists-asks"), QStringLiteral("Ask before overwriting."));
    QCommandLineOption nakOpt(QStringLiteral("nak-block"), QStringLiteral("NAK block N once."), QStringLiteral("N"));
    QCommandLineOption crcOpt(QStringLiteral("corrupt-crc"), QStringLiteral("Damage block N once."), QStringLiteral("N"));
    QCommandLineOption dupOpt(QStringLiteral("duplicate-block"), QStringLiteral("Repeat block N once."), QStringLiteral("N"));
    QCommandLineOption canBeforeOpt(QStringLiteral("can-before-c"), QStringLiteral("CAN the first xdl."));
    QCommandLineOption canAfterOpt(QStringLiteral("can-after-c"), QStringLiteral("CAN the first download after a block."));
    QCommandLineOption splitOpt(QStringLiteral("split"), QStringLiteral("Frame piece size."), QStringLiteral("N"));
    QCommandLineOption silentOpt(QStringLiteral("silent"), QStringLiteral("Answer nothing."));
    QCommandLineOption promptEndOpt(QStringLiteral("list-end-prompt"), QStringLiteral("End listings with the prompt text."));
    parser.addOptions({rootOpt, linkOpt, refuseOpt, refuseUpOpt, existsOpt, nakOpt, crcOpt, dupOpt, canBeforeOpt,
                       canAfterOpt, splitOpt, silentOpt, promptEndOpt});
    parser.process(app);
    QTextStream err(stderr);
    if (!parser.isSet(rootOpt) || !parser.isSet(linkOpt)) {
        err << "cncsim: --root and --link are required (see --help)\n";
        return 2;
    }
    sim::SimFaults faults;
    if (parser.isSet(refuseOpt) && !(faults.refuseDownload = refusalByte(parser.value(refuseOpt)))) {
        err << "cncsim: --refuse takes dle, sub, esc or fs\n";
        return 2;
    }
    if (parser.isSet(refuseUpOpt) && !(faults.refuseUpload = refusalByte(parser.value(refuseUpOpt)))) {
        err << "cncsim: --refuse-upload takes dle\n";
        return 2;
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

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        err << "cncsim: cannot open a pseudo-terminal\n";
        return 1;
    }
    const char* slaveName = ptsname(master);
    // Holding the other end open keeps the line alive between two clients.
    const int slave = ::open(slaveName, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        err << "cncsim: cannot open " << slaveName << "\n";
        return 1;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    const QString link = parser.value(linkOpt);
    QFile::remove(link);
    if (::symlink(slaveName, QFile::encodeName(link).constData()) != 0) {
        err << "cncsim: cannot make the link " << link << "\n";
        return 1;
    }
    QDir().mkpath(parser.value(rootOpt));

    LinkDriver driver;
    driver.setWriter([master](const QByteArray& bytes) {
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
    driver.setPurger([master] { tcflush(master, TCIOFLUSH); });
    sim::SimController controller(driver, parser.value(rootOpt), faults);
    driver.setTimerHandler([&controller](int id) { controller.onTimer(id); });

    QSocketNotifier notifier(master, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
            controller.onBytes(QByteArrayView(buf, n));
    });

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QTextStream out(stdout);
    out << link << "\n";
    out.flush();
    const int status = app.exec();
    QFile::remove(link);
    ::close(slave);
    ::close(master);
    return status;
}
