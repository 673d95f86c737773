// fernlink-cli's link verbs: the controller's file list, send, receive and delete over the
// serial link, and bare XModem transfers. They drive the same flow objects as the pages.
#include "cli/cli_commands.h"

#include "common/archive.h"
#include "common/prompter.h"
#include "fernlink/app/messages.h"
#include "fernlink/link/serialflows.h"
#include "serialcore/linkdriver.h"
#include "serialcore/vantorcomm.h"
#include "serialcore/xmodem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace vantor::cli {

using namespace vantor::fernlink;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The XModem sender waits for the controller without limit; a command-line run gives up
// after this long without a byte from the line.
constexpr int kLineSilenceLimitMs = 30000;

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool startsLike(const QString& text, Msg id)
{
    const QString t = messageEnglish(id);
    const QString head = t.section(QLatin1String("%1"), 0, 0);
    return text.startsWith(head.isEmpty() ? t : head);
}

// Answers the flows' questions from the command line's flags and reports on stderr.
class CliPrompter : public Prompter {
public:
    bool overwriteLocal = false;
    bool overwriteRemote = false;
    QString current;  // the file the flow is on, for the reports

    Answer ask(const QString& text, Buttons) override
    {
        if (startsLike(text, Msg::FileExistsOverwrite)) {
            if (!overwriteLocal)
                report(text.section(QLatin1Char('!'), 0, 0) + QStringLiteral("! (skipped; --overwrite replaces it)"));
            return overwriteLocal ? Answer::Yes : Answer::No;
        }
        if (startsLike(text, Msg::CncHasFile)) {
            if (!overwriteRemote)
                report(text + QStringLiteral(" (skipped; --if-exists overwrite replaces it)"));
            return overwriteRemote ? Answer::Yes : Answer::Cancel;
        }
        if (startsLike(text, Msg::IncorrectNameQuestion) || startsLike(text, Msg::SizeOver4MQuestion)) {
            report(text.section(QLatin1Char('\n'), 0, 0).trimmed() + QStringLiteral(" (skipped)"));
            return Answer::Yes;
        }
        if (startsLike(text, Msg::SendNoRightQuestion)) {
            report(text.section(QLatin1Char('\n'), 0, 0).trimmed() + QStringLiteral(" (skipped)"));
            return Answer::No;
        }
        return Answer::Yes;  // confirmations of what the command line asked for
    }
    void inform(Severity, const QString& text) override { report(text); }
    std::optional<QString> askText(const QString&, const QString&) override { return std::nullopt; }

    void report(const QString& text)
    {
        clearProgress();
        err() << "fernlink-cli: " << (current.isEmpty() ? QString() : current + QStringLiteral(": ")) << text << "\n";
        err().flush();
    }
    void progress(const QString& line)
    {
        if (!isatty(STDERR_FILENO))
            return;
        err() << "\r" << line << "\x1b[K";
        err().flush();
        shown_ = true;
    }
    void clearProgress()
    {
        if (!shown_)
            return;
        err() << "\r\x1b[K";
        shown_ = false;
    }

private:
    bool shown_ = false;
};

class CliObserver : public FlowObserver {
public:
    explicit CliObserver(CliPrompter& prompter) : prompter_(prompter) {}
    bool done = false;
    bool completed = false;
    QEventLoop* loop = nullptr;

    void currentFile(const QString& path) override { prompter_.current = QFileInfo(path).fileName(); }
    void progress(const TransferStatistics& s) override
    {
        prompter_.progress(QStringLiteral("%1  %2  %3  %4  %5")
                               .arg(prompter_.current, s.packetsText(), s.progressText(), s.elapsedText(), s.speedText()));
    }
    void finished(bool ok) override
    {
        prompter_.clearProgress();
        done = true;
        completed = ok;
        if (loop)
            loop->quit();
    }

private:
    CliPrompter& prompter_;
};

struct LinkOptions {
    QString port;
    int baud = CVantorComm::kDefaultBaud;
};

// The port with a driver in front of it; bytes and ticks go to the handlers given.
class CliLine {
public:
    CVantorComm comm;
    LinkDriver driver;
    QElapsedTimer lastByte;

    bool open(const LinkOptions& o)
    {
        comm.setPort(o.port, o.baud);
        if (!comm.open()) {
            err() << "fernlink-cli: cannot open " << o.port << ": " << comm.lastError() << "\n";
            return false;
        }
        driver.setWriter([this](const QByteArray& b) { comm.write(b); });
        driver.setPurger([this] { comm.purge(); });
        lastByte.start();
        return true;
    }
    // Runs the loop until done() holds, the line stays silent too long, or nothing is left.
    template <typename Done>
    bool run(QEventLoop& loop, Done done)
    {
        QTimer watch;
        bool silent = false;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (done()) {
                loop.quit();
            } else if (lastByte.elapsed() > kLineSilenceLimitMs) {
                silent = true;
                loop.quit();
            }
        });
        watch.start(200);
        if (!done())
            loop.exec();
        // What the flow queued last (a CAN, an ACK) still goes out before the port closes.
        QElapsedTimer drain;
        drain.start();
        while (!driver.idle() && drain.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return !silent;
    }
};

int usage(const QString& why)
{
    err() << "fernlink-cli: " << why << "\n" << linkUsage();
    err().flush();
    return kExitUsage;
}

std::optional<QString> takeValue(QStringList& args, const QString& option, bool* bad)
{
    const qsizetype i = args.indexOf(option);
    if (i < 0)
        return std::nullopt;
    if (i + 1 >= args.size()) {
        *bad = true;
        return std::nullopt;
    }
    QString v = args.at(i + 1);
    args.remove(i, 2);
    return v;
}

bool takeFlag(QStringList& args, const QString& option)
{
    return args.removeAll(option) > 0;
}

std::optional<int> takeBaud(QStringList& args, bool* bad)
{
    const auto v = takeValue(args, QStringLiteral("--baud"), bad);
    if (!v)
        return std::nullopt;
    bool ok = false;
    const int baud = v->toInt(&ok);
    if (!ok || baud <= 0) {
        *bad = true;
        return std::nullopt;
    }
    return baud;
}

// ---------------------------------------------------------------- serial verbs

int runSerial(QStringList args)
{
    bool bad = false;
    LinkOptions link;
    link.port = takeValue(args, QStringLiteral("--serial"), &bad).value_or(QString());
    if (const auto baud = takeBaud(args, &bad))
        link.baud = *baud;
    const QString areaText = takeValue(args, QStringLiteral("--area"), &bad).value_or(QStringLiteral("user"));
    const QString ifExists = takeValue(args, QStringLiteral("--if-exists"), &bad).value_or(QStringLiteral("skip"));
    const QString dir = takeValue(args, QStringLiteral("--dir"), &bad).value_or(QStringLiteral("."));
    const bool overwrite = takeFlag(args, QStringLiteral("--overwrite"));
    if (bad || link.port.isEmpty())
        return usage(QStringLiteral("--serial needs a port, and every option a value"));
    if (areaText != QLatin1String("user") && areaText != QLatin1String("sys"))
        return usage(QStringLiteral("--area takes user or sys"));
    if (ifExists != QLatin1String("skip") && ifExists != QLatin1String("overwrite"))
        return usage(QStringLiteral("--if-exists takes skip or overwrite"));
    if (args.isEmpty())
        return usage(QStringLiteral("a verb is needed after --serial PORT"));
    const QString verb = args.takeFirst();
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--")))
            return usage(QStringLiteral("unknown option ") + a);
    if (verb == QLatin1String("list")) {
        if (!args.isEmpty())
            return usage(QStringLiteral("list takes no names"));
    } else if (verb == QLatin1String("send") || verb == QLatin1String("receive") || verb == QLatin1String("delete")) {
        if (args.isEmpty())
            return usage(verb + QStringLiteral(" needs at least one name"));
    } else {
        return usage(QStringLiteral("unknown serial verb ") + verb);
    }
    if (verb == QLatin1String("receive") && !QFileInfo(dir).isDir()) {
        err() << "fernlink-cli: " << dir << " is not a folder\n";
        return kExitFailed;
    }

    CliPrompter prompter;
    prompter.overwriteLocal = overwrite;
    prompter.overwriteRemote = ifExists == QLatin1String("overwrite");
    CliObserver observer(prompter);
    ProgramState state;
    state.language = Language::English;
    CliLine line;
    if (!line.open(link))
        return kExitFailed;
    state.link = LinkType::LinkSerial;
    SerialFlowSet flows(line.driver, state, prompter, observer);
    QObject::connect(&line.comm, &CVantorComm::received, [&](const QByteArray& chunk) {
        line.lastByte.restart();
        flows.onBytes(chunk);
    });
    line.driver.setTimerHandler([&](int id) { flows.onTimer(id); });

    bool anyRefusedBeforeStart = false;
    bool started = false;
    const TargetArea area = areaText == QLatin1String("sys") ? TargetArea::Sys : TargetArea::User;
    const QString unsend = message(Msg::StateUnsend, state.language);
    if (verb == QLatin1String("list")) {
        started = flows.list.start();
    } else if (verb == QLatin1String("send")) {
        for (const QString& file : args) {
            const QFileInfo info(file);
            if (!info.isFile()) {
                prompter.report(message(Msg::FileCannotOpenSerial, state.language).arg(file));
                anyRefusedBeforeStart = true;
                continue;
            }
            flows.send.rows.push_back(makeSendRow(info.absoluteFilePath(), info.fileName(), info.size(), area, unsend));
        }
        if (!flows.send.rows.empty())
            started = flows.send.start();
    } else {
        auto& rows = verb == QLatin1String("receive") ? flows.receive.rows : flows.remove.rows;
        for (const QString& name : args)
            rows.push_back({name, QString(), areaText, message(Msg::StateNotReceiving, state.language), true});
        started = verb == QLatin1String("receive") ? flows.receive.start(dir) : flows.remove.start();
    }
    if (!started) {
        return kExitFailed;
    }
    QEventLoop loop;
    observer.loop = &loop;
    if (!line.run(loop, [&] { return observer.done; })) {
        prompter.clearProgress();
        flows.stop();
        line.run(loop, [] { return true; });
        prompter.report(message(Msg::TimeOut, state.language));
        return kExitFailed;
    }

    prompter.current.clear();
    QTextStream out(stdout);
    bool allOk = observer.completed && !anyRefusedBeforeStart;
    if (verb == QLatin1String("list")) {
        for (const RemoteFileRow& row : flows.list.rows)
            out << row.name << '\t' << (row.size.isEmpty() ? QStringLiteral("-") : row.size) << '\t' << row.partition.toUpper() << '\n';
    } else if (verb == QLatin1String("send")) {
        for (const SendRow& row : flows.send.rows) {
            const bool ok = row.state == message(Msg::StateSent, state.language);
            allOk = allOk && ok;
            if (ok)
                out << row.path << " -> " << row.targetName << " (" << row.partition << ")\n";
            else if (row.state != unsend)
                prompter.report(QFileInfo(row.path).fileName() + QStringLiteral(": ") + row.state);
            else
                prompter.report(QFileInfo(row.path).fileName() + QStringLiteral(": not sent"));
        }
    } else if (verb == QLatin1String("receive")) {
        for (const RemoteFileRow& row : flows.receive.rows) {
            const bool ok = row.state == message(Msg::StateReceived, state.language);
            allOk = allOk && ok;
            if (ok)
                out << row.name << '\n';
            else
                prompter.report(row.name + QStringLiteral(": ") + row.state);
        }
    } else {
        // Deleted rows leave the list; what stays was not deleted.
        for (const RemoteFileRow& row : flows.remove.rows) {
            allOk = false;
            prompter.report(row.name + QStringLiteral(": not deleted"));
        }
    }
    out.flush();
    return allOk ? kExitOk : kExitFailed;
}

// ---------------------------------------------------------------- bare XModem

class BareTransfer : public XModemObserver {
public:
    CliPrompter& prompter;
    QEventLoop& loop;
    QString path;
    std::unique_ptr<QSaveFile> file;
    std::optional<bool> result;
    TransferStatistics stats;
    qint64 written = 0;

    BareTransfer(CliPrompter& p, QEventLoop& l) : prompter(p), loop(l) {}

    void blockSent(int block, int, qint64 bytes) override
    {
        stats.setProgress(bytes, block);
        prompter.progress(QStringLiteral("%1  %2").arg(stats.packetsText(), stats.progressText()));
    }
    void sendFinished(SendResult r) override
    {
        if (r != SendResult::Sent)
            prompter.report(QStringLiteral("the receiver ended the transfer"));
        finish(r == SendResult::Sent);
    }
    bool openReceiveFile() override
    {
        file = std::make_unique<QSaveFile>(path);
        if (!file->open(QIODevice::WriteOnly)) {
            prompter.report(QStringLiteral("cannot create ") + path);
            file.reset();
            return false;
        }
        return true;
    }
    bool writeBlock(QByteArrayView data) override
    {
        if (!file || file->write(data.data(), data.size()) != data.size())
            return false;
        written += data.size();
        prompter.progress(QStringLiteral("%1 bytes").arg(written));
        return true;
    }
    bool completeReceiveFile() override
    {
        if (!file && !openReceiveFile())
            return false;
        const bool ok = file->commit();
        file.reset();
        return ok;
    }
    void receiveFinished(ReceiveResult r) override
    {
        const bool ok = r == ReceiveResult::Received;
        if (r == ReceiveResult::WriteFailed) {
            prompter.report(QStringLiteral("cannot write ") + path);
        } else if (!ok) {
            prompter.report(r == ReceiveResult::TimedOut ? QStringLiteral("no sender answered") : QStringLiteral("the transfer failed"));
            if (file)
                file->cancelWriting();
        }
        file.reset();
        finish(ok);
    }
    void finish(bool ok)
    {
        prompter.clearProgress();
        result = ok;
        loop.quit();
    }
};

int runXModem(QStringList args)
{
    bool bad = false;
    LinkOptions link;
    if (const auto baud = takeBaud(args, &bad))
        link.baud = *baud;
    if (bad || args.size() != 4 || (args[1] != QLatin1String("send") && args[1] != QLatin1String("receive")))
        return usage(QStringLiteral("xmodem send|receive PORT FILE [--baud N]"));
    const bool sending = args[1] == QLatin1String("send");
    link.port = args[2];
    const QString path = args[3];
    std::optional<QByteArray> data;
    if (sending) {
        QString error;
        data = readWholeFile(path, &error);
        if (!data) {
            err() << "fernlink-cli: " << error << "\n";
            return kExitFailed;
        }
    }
    CliPrompter prompter;
    CliLine line;
    if (!line.open(link))
        return kExitFailed;
    QEventLoop loop;
    BareTransfer transfer(prompter, loop);
    transfer.path = path;
    CXModem xmodem(line.driver, transfer, XModemVariant::Fernlink);
    QObject::connect(&line.comm, &CVantorComm::received, [&](const QByteArray& chunk) {
        line.lastByte.restart();
        if (sending)
            xmodem.onSenderBytes(chunk);
        else
            xmodem.onReceiverChunk(chunk);
    });
    line.driver.setTimerHandler([&](int id) { xmodem.onTimer(id); });
    if (sending) {
        transfer.stats.start(data->size(), TransferDirection::Send);
        xmodem.beginSend(*data);
    } else {
        xmodem.beginReceive(1000, 60, true);
        xmodem.onTimer(CXModem::kStartTimerId);  // the first C at once
    }
    if (!line.run(loop, [&] { return transfer.result.has_value(); })) {
        if (sending)
            xmodem.cancelSend();
        else
            xmodem.cancelReceive();
        line.run(loop, [] { return true; });
        prompter.report(QStringLiteral("the line stayed silent"));
        return kExitFailed;
    }
    return transfer.result.value_or(false) ? kExitOk : kExitFailed;
}

}  // namespace

int runLinkCommand(const QStringList& args)
{
    if (args.isEmpty())
        return -1;
    if (args.first() == QLatin1String("xmodem"))
        return runXModem(args);
    if (args.contains(QLatin1String("--serial")))
        return runSerial(args);
    return -1;
}

QString linkUsage()
{
    return QStringLiteral(
        "Serial link (PORT is a device name such as ttyUSB0, or a path):\n"
        "  fernlink-cli --serial PORT [--baud N] list\n"
        "      one line per file: NAME<TAB>SIZE<TAB>AREA (USER or SYS; SIZE - when not given)\n"
        "  fernlink-cli --serial PORT [--baud N] send FILE... [--area user|sys] [--if-exists skip|overwrite]\n"
        "  fernlink-cli --serial PORT [--baud N] receive NAME... [--area user|sys] [--dir DIR] [--overwrite]\n"
        "  fernlink-cli --serial PORT [--baud N] delete NAME... [--area user|sys]\n"
        "  fernlink-cli xmodem send PORT FILE [--baud N]      bare XModem-CRC, waits for C\n"
        "  fernlink-cli xmodem receive PORT FILE [--baud N]   bare XModem-CRC, sends C\n"
        "  Exit status: 0 every file succeeded, 1 something was refused or failed, 2 usage error.\n\n");
}

}  // namespace vantor::cli
