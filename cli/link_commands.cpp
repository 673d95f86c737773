// fernlink-cli's link verbs: the controller's file list, send, receive, delete and DNC over
// the serial or the Ethernet link, bare XModem transfers, and saved transfer lists. They
// drive the same flow objects as the pages.
#include "cli/cli_commands.h"
#include "cli/link_support.h"

#include "common/archive.h"
#include "fernlink/app/messages.h"
#include "fernlink/link/dncflow.h"
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/filelist_store.h"
#include "fernlink/link/serialflows.h"
#include "serialcore/xmodem.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace vantor::cli {

using namespace vantor::fernlink;

namespace {

int usage(const QString& why)
{
    err() << "fernlink-cli: " << why << "\n" << linkUsage();
    err().flush();
    return kExitUsage;
}

QString english(Msg id)
{
    return message(id, Language::English);
}

// AREA as the command line prints it.
QString areaColumn(const QString& partition)
{
    if (partition == QString::fromUtf8(net::kLabelUsb))
        return QStringLiteral("USB");
    return partition.toUpper();
}

struct Request {
    Endpoint endpoint;
    QString verb;
    QStringList names;
    TargetArea area = TargetArea::User;
    bool usbList = false;
    QString dir = QStringLiteral(".");
    bool overwrite = false;
    CliPrompter::IfExists ifExists = CliPrompter::IfExists::Skip;
    QString renameTo;
    QString fromLine;
    QString listFile;
    int silenceLimitMs = kDefaultSilenceLimitMs;
};

// The rows of a saved transfer list as the send page shows them after loading it into an
// empty queue; nullopt (reported) when the file is not a complete list.
std::optional<std::vector<SendRow>> rowsFromListFile(const QString& path, CliPrompter& prompter)
{
    const FileListReadResult loaded = loadFileList(path);
    switch (loaded.status) {
    case FileListReadResult::Status::Ok:
        break;
    case FileListReadResult::Status::NotOpened:
        prompter.report(path + QStringLiteral(": ") + loaded.error);
        return std::nullopt;
    case FileListReadResult::Status::FormatError:
        prompter.report(path + QStringLiteral(": ") + english(Msg::ListFileFormatError));
        return std::nullopt;
    case FileListReadResult::Status::Truncated:
        // A half list is not what the user saved: sending part of it would look like success.
        prompter.report(path + QStringLiteral(": the list is cut short after %1 complete rows (%2); nothing was sent")
                                   .arg(loaded.items.size())
                                   .arg(loaded.error));
        return std::nullopt;
    }
    std::vector<CFileListItem> queue;
    for (const QString& skipped : mergeIntoQueue(queue, loaded.items))
        prompter.report(english(Msg::ListFileAlreadyQueued).arg(skipped));
    std::vector<SendRow> rows;
    for (const CFileListItem& item : queue) {
        SendRow row;
        row.path = item.path;
        row.targetName = item.targetName;
        row.size = item.size.toLongLong();
        row.partition = areaFromLabel(item.partition) ? partitionLabel(*areaFromLabel(item.partition)) : item.partition;
        row.sendable = item.checkMark == checkMarkText(true);
        row.state = item.state;
        rows.push_back(row);
    }
    return rows;
}

bool startList(SerialListFlow& flow, const Request&)
{
    return flow.start();
}

bool startList(EthernetListFlow& flow, const Request& r)
{
    return flow.start(r.usbList);
}

// The four file verbs, the same on either link: rows in, the flow run, one line of output
// per file that made it and a report for each that did not.
template <typename Flows>
int runFileVerb(Flows& flows, CliConnection& line, CliPrompter& prompter, CliObserver& observer, const Request& r)
{
    const ProgramState& state = flows.context.state;
    bool refusedBeforeStart = false;
    bool started = false;
    const QString unsend = english(Msg::StateUnsend);
    if (r.verb == QLatin1String("list")) {
        started = startList(flows.list, r);
    } else if (r.verb == QLatin1String("send")) {
        if (!r.listFile.isEmpty()) {
            auto rows = rowsFromListFile(r.listFile, prompter);
            if (!rows)
                return kExitFailed;
            flows.send.rows = std::move(*rows);
        }
        for (const QString& file : r.names) {
            const QFileInfo info(file);
            if (!info.isFile()) {
                prompter.report(english(Msg::FileCannotOpenSerial).arg(file));
                refusedBeforeStart = true;
                continue;
            }
            flows.send.rows.push_back(makeSendRow(info.absoluteFilePath(), info.fileName(), info.size(), r.area, unsend));
        }
        if (!flows.send.rows.empty())
            started = flows.send.start();
        else if (!r.listFile.isEmpty())
            prompter.report(r.listFile + QStringLiteral(": the list holds no rows"));
    } else {
        auto& rows = r.verb == QLatin1String("receive") ? flows.receive.rows : flows.remove.rows;
        for (const QString& name : r.names)
            rows.push_back({name, QString(), partitionLabel(r.area), english(Msg::StateNotReceiving), true});
        started = r.verb == QLatin1String("receive") ? flows.receive.start(r.dir) : flows.remove.start();
    }
    if (!started)
        return kExitFailed;

    QEventLoop loop;
    observer.loop = &loop;
    if (!line.runOperation(loop, [&] { return observer.done; }, [&] { flows.stop(); }, prompter))
        return kExitFailed;

    prompter.current.clear();
    QTextStream out(stdout);
    bool allOk = observer.completed && !refusedBeforeStart;
    if (r.verb == QLatin1String("list")) {
        for (const RemoteFileRow& row : flows.list.rows)
            out << row.name << '\t' << (row.size.isEmpty() ? QStringLiteral("-") : row.size) << '\t' << areaColumn(row.partition) << '\n';
    } else if (r.verb == QLatin1String("send")) {
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
    } else if (r.verb == QLatin1String("receive")) {
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

int runDnc(CliConnection& line, CliPrompter& prompter, CliObserver& observer, ProgramState& state, const Request& r)
{
    const QString path = r.names.value(0);
    QString error;
    const auto data = readWholeFile(path, &error);
    if (!data) {
        prompter.report(english(Msg::DncUnableToOpen) + QStringLiteral(" ") + error);
        return kExitFailed;
    }
    DncFlow dnc(line.driver(), line.driver(), state, prompter, observer);
    line.onBytes = [&](QByteArrayView chunk) { dnc.onBytes(chunk); };
    line.onClosed = [&] { dnc.closed(); };
    line.onReceiveError = [&] { dnc.receiveError(); };
    line.driver().setTimerHandler([&](int id) { dnc.onTimer(id); });
    DncDocument document;
    document.path = QFileInfo(path).absoluteFilePath();
    document.lines = net::lineCount(*data);
    document.empty = data->isEmpty();
    prompter.startLine = r.fromLine;
    if (!dnc.start(document))
        return kExitFailed;

    QEventLoop loop;
    observer.loop = &loop;
    // The command line's answer to "cancel?" is yes.
    if (!line.runOperation(loop, [&] { return observer.done || !dnc.running(); }, [&] { dnc.stop(); }, prompter))
        return kExitFailed;
    prompter.current.clear();
    if (!observer.completed)
        return kExitFailed;
    QTextStream out(stdout);
    out << document.path << ": " << dnc.done() << " bytes streamed from line " << (r.fromLine.isEmpty() ? QStringLiteral("1") : r.fromLine)
        << "\n";
    out.flush();
    return kExitOk;
}

std::optional<TargetArea> areaFromOption(const QString& text)
{
    if (text == QLatin1String("user"))
        return TargetArea::User;
    if (text == QLatin1String("sys"))
        return TargetArea::Sys;
    if (text == QLatin1String("usb"))
        return TargetArea::Usb;
    return std::nullopt;
}

int runLink(QStringList args)
{
    bool bad = false;
    Request r;
    const auto serial = takeValue(args, QStringLiteral("--serial"), &bad);
    const auto tcp = takeValue(args, QStringLiteral("--tcp"), &bad);
    if (bad || serial.has_value() == tcp.has_value())
        return usage(QStringLiteral("name the link with --serial PORT or --tcp HOST[:PORT]"));
    if (tcp) {
        const auto e = parseTcpAddress(*tcp);
        if (!e)
            return usage(QStringLiteral("--tcp takes HOST or HOST:PORT with PORT 1..65535, not ") + *tcp);
        r.endpoint = *e;
    } else {
        r.endpoint.port = *serial;
        if (r.endpoint.port.isEmpty())
            return usage(QStringLiteral("--serial needs a port"));
    }
    if (const auto baud = takeInt(args, QStringLiteral("--baud"), 1, 4000000, &bad)) {
        if (tcp)
            return usage(QStringLiteral("--baud is for the serial link"));
        r.endpoint.baud = *baud;
    }
    if (const auto seconds = takeInt(args, QStringLiteral("--timeout"), 1, 86400, &bad))
        r.silenceLimitMs = *seconds * 1000;
    const auto areaText = takeValue(args, QStringLiteral("--area"), &bad);
    const QString ifExists = takeValue(args, QStringLiteral("--if-exists"), &bad).value_or(QStringLiteral("skip"));
    r.dir = takeValue(args, QStringLiteral("--dir"), &bad).value_or(QStringLiteral("."));
    r.fromLine = takeValue(args, QStringLiteral("--from-line"), &bad).value_or(QString());
    r.listFile = takeValue(args, QStringLiteral("--list"), &bad).value_or(QString());
    r.overwrite = takeFlag(args, QStringLiteral("--overwrite"));
    r.usbList = takeFlag(args, QStringLiteral("--usb"));
    if (bad)
        return usage(QStringLiteral("every option needs a value in its range"));
    if (areaText) {
        const auto area = areaFromOption(*areaText);
        if (!area || (!tcp && *area == TargetArea::Usb))
            return usage(tcp ? QStringLiteral("--area takes user, sys or usb") : QStringLiteral("--area takes user or sys on the serial link"));
        r.area = *area;
    }
    if (ifExists == QLatin1String("overwrite")) {
        r.ifExists = CliPrompter::IfExists::Overwrite;
    } else if (ifExists.startsWith(QLatin1String("rename="))) {
        r.ifExists = CliPrompter::IfExists::Rename;
        r.renameTo = ifExists.mid(7);
        if (r.renameTo.isEmpty())
            return usage(QStringLiteral("--if-exists rename= needs the new name"));
    } else if (ifExists != QLatin1String("skip")) {
        return usage(QStringLiteral("--if-exists takes skip, overwrite or rename=NAME"));
    }
    if (args.isEmpty())
        return usage(QStringLiteral("a verb is needed after the link"));
    r.verb = args.takeFirst();
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--")))
            return usage(QStringLiteral("unknown option ") + a);
    r.names = args;
    const bool list = r.verb == QLatin1String("list");
    if (list) {
        if (!r.names.isEmpty() || areaText)
            return usage(QStringLiteral("list takes no names and no --area (--usb lists the USB disk)"));
        if (r.usbList && !tcp)
            return usage(QStringLiteral("the serial link lists the controller's own areas only"));
    } else if (r.usbList) {
        return usage(QStringLiteral("--usb is for list; the other verbs take --area usb"));
    }
    if (r.verb == QLatin1String("send")) {
        if (r.names.isEmpty() && r.listFile.isEmpty())
            return usage(QStringLiteral("send needs at least one file or --list LIST.dat"));
    } else if (!r.listFile.isEmpty()) {
        return usage(QStringLiteral("--list is for send"));
    }
    if (r.verb == QLatin1String("receive") || r.verb == QLatin1String("delete")) {
        if (r.names.isEmpty())
            return usage(r.verb + QStringLiteral(" needs at least one name"));
    } else if (r.verb == QLatin1String("dnc")) {
        if (r.names.size() != 1)
            return usage(QStringLiteral("dnc streams one file"));
    } else if (!list && r.verb != QLatin1String("send")) {
        return usage(QStringLiteral("unknown link verb ") + r.verb);
    }
    if (!r.fromLine.isEmpty() && r.verb != QLatin1String("dnc"))
        return usage(QStringLiteral("--from-line is for dnc"));
    if (r.verb == QLatin1String("receive") && !QFileInfo(r.dir).isDir()) {
        err() << "fernlink-cli: " << r.dir << " is not a folder\n";
        return kExitFailed;
    }

    CliPrompter prompter;
    prompter.overwriteLocal = r.overwrite;
    prompter.ifExists = r.ifExists;
    prompter.renameTo = r.renameTo;
    CliObserver observer(prompter);
    ProgramState state;
    state.language = Language::English;
    CliConnection line;
    line.silenceLimitMs = r.silenceLimitMs;
    if (!line.open(r.endpoint, prompter))
        return kExitFailed;
    observer.onDropLink = [&] { line.drop(); };
    state.link = tcp ? LinkType::LinkEthernet : LinkType::LinkSerial;

    if (r.verb == QLatin1String("dnc"))
        return runDnc(line, prompter, observer, state, r);
    if (tcp) {
        EthernetFlowSet flows(line.driver(), state, prompter, observer);
        line.onBytes = [&](QByteArrayView chunk) { flows.onBytes(chunk); };
        line.onClosed = [&] { flows.linkLost(); };
        line.onReceiveError = [&] { flows.linkLost(); };
        line.driver().setTimerHandler([&](int id) { flows.onTimer(id); });
        return runFileVerb(flows, line, prompter, observer, r);
    }
    SerialFlowSet flows(line.driver(), state, prompter, observer);
    line.onBytes = [&](QByteArrayView chunk) { flows.onBytes(chunk); };
    line.driver().setTimerHandler([&](int id) { flows.onTimer(id); });
    return runFileVerb(flows, line, prompter, observer, r);
}

// ---------------------------------------------------------------- saved transfer lists

int runListFile(QStringList args)
{
    bool bad = false;
    const auto areaText = takeValue(args, QStringLiteral("--area"), &bad);
    if (bad || args.size() < 3)
        return usage(QStringLiteral("list-file show LIST.dat | list-file save LIST.dat FILE... [--area user|sys|usb]"));
    const QString what = args.at(1);
    const QString path = args.at(2);
    QTextStream out(stdout);
    CliPrompter prompter;
    if (what == QLatin1String("show")) {
        if (args.size() != 3 || areaText)
            return usage(QStringLiteral("list-file show takes one file"));
        const FileListReadResult loaded = loadFileList(path);
        for (const CFileListItem& row : loaded.items)
            out << row.checkMark << '\t' << row.path << '\t' << row.targetName << '\t' << row.size << '\t' << row.partition
                << '\t' << row.state << '\n';
        out.flush();
        switch (loaded.status) {
        case FileListReadResult::Status::Ok:
            return kExitOk;
        case FileListReadResult::Status::NotOpened:
            prompter.report(path + QStringLiteral(": ") + loaded.error);
            break;
        case FileListReadResult::Status::FormatError:
            prompter.report(path + QStringLiteral(": ") + english(Msg::ListFileFormatError));
            break;
        case FileListReadResult::Status::Truncated:
            prompter.report(path + QStringLiteral(": cut short after the rows shown (") + loaded.error + QLatin1Char(')'));
            break;
        }
        return kExitFailed;
    }
    if (what != QLatin1String("save"))
        return usage(QStringLiteral("list-file takes show or save"));
    const auto area = areaFromOption(areaText.value_or(QStringLiteral("user")));
    if (!area)
        return usage(QStringLiteral("--area takes user, sys or usb"));
    if (args.size() < 4)
        return usage(QStringLiteral("list-file save needs the files to list"));
    // Rows as the send page adds them: each new file at the top of the queue.
    std::vector<CFileListItem> queue;
    bool allFound = true;
    for (const QString& file : args.mid(3)) {
        const QFileInfo info(file);
        if (!info.isFile()) {
            prompter.report(english(Msg::FileCannotOpenSerial).arg(file));
            allFound = false;
            continue;
        }
        const SendRow row = makeSendRow(info.absoluteFilePath(), info.fileName(), info.size(), *area, english(Msg::StateUnsend));
        const CFileListItem item{checkMarkText(row.sendable), row.path, row.targetName, QString::number(row.size), row.partition, row.state};
        for (const QString& skipped : mergeIntoQueue(queue, {item}))
            prompter.report(english(Msg::ListFileAlreadyQueued).arg(skipped));
    }
    if (!allFound)
        return kExitFailed;  // nothing written: a list without the asked-for files is not what was meant
    const ArchiveFileResult saved = saveFileList(path, queue);
    if (!saved.ok) {
        prompter.report(path + QStringLiteral(": ") + saved.error);
        return kExitFailed;
    }
    for (const CFileListItem& row : queue)
        out << row.checkMark << '\t' << row.path << '\t' << row.targetName << '\t' << row.size << '\t' << row.partition << '\t'
            << row.state << '\n';
    out.flush();
    return kExitOk;
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
    Endpoint link;
    if (const auto baud = takeInt(args, QStringLiteral("--baud"), 1, 4000000, &bad))
        link.baud = *baud;
    if (bad || args.size() != 4 || (args[1] != QLatin1String("send") && args[1] != QLatin1String("receive")))
        return usage(QStringLiteral("xmodem send|receive PORT FILE [--baud N]"));
    const bool sending = args[1] == QLatin1String("send");
    link.port = args[2];
    // A receiver started first has sent its C already; it waits many seconds before the next.
    link.keepEarlyInput = sending;
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
    CliConnection line;
    if (!line.open(link, prompter))
        return kExitFailed;
    QEventLoop loop;
    BareTransfer transfer(prompter, loop);
    transfer.path = path;
    CXModem xmodem(line.driver(), transfer, XModemVariant::Fernlink);
    line.onBytes = [&](QByteArrayView chunk) {
        if (sending)
            xmodem.onSenderBytes(chunk);
        else
            xmodem.onReceiverChunk(chunk);
    };
    line.driver().setTimerHandler([&](int id) { xmodem.onTimer(id); });
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
    if (args.first() == QLatin1String("list-file"))
        return runListFile(args);
    if (args.contains(QLatin1String("--serial")) || args.contains(QLatin1String("--tcp")))
        return runLink(args);
    return -1;
}

QString linkUsage()
{
    return QStringLiteral(
        "Controller link: LINK is --serial PORT [--baud N] (PORT a device name such as ttyUSB0, or a path)\n"
        "or --tcp HOST[:PORT] (PORT 1234 unless given). --timeout S gives up after S seconds of silence (30).\n"
        "  fernlink-cli LINK list [--usb]\n"
        "      one line per file: NAME<TAB>SIZE<TAB>AREA (USER, SYS or USB; SIZE - when not given);\n"
        "      --usb lists the controller's USB disk (Ethernet only)\n"
        "  fernlink-cli LINK send FILE... [--area user|sys|usb] [--if-exists skip|overwrite|rename=NAME]\n"
        "  fernlink-cli LINK send --list LIST.dat [--if-exists ...]   the ticked rows of a saved list\n"
        "  fernlink-cli LINK receive NAME... [--area user|sys|usb] [--dir DIR] [--overwrite]\n"
        "  fernlink-cli LINK delete NAME... [--area user|sys|usb]\n"
        "  fernlink-cli LINK dnc FILE [--from-line N]   streams FILE for direct execution\n"
        "      (serial: the controller starts it with C; Ethernet: after the controller agreed)\n"
        "  The USB area is reached over Ethernet only.\n"
        "  fernlink-cli list-file show LIST.dat            its rows: MARK<TAB>PATH<TAB>TARGET<TAB>SIZE<TAB>AREA<TAB>STATE\n"
        "  fernlink-cli list-file save LIST.dat FILE... [--area user|sys|usb]   as the send page saves its queue\n"
        "  fernlink-cli xmodem send PORT FILE [--baud N]      bare XModem-CRC, waits for C\n"
        "  fernlink-cli xmodem receive PORT FILE [--baud N]   bare XModem-CRC, sends C\n"
        "  Exit status: 0 every file succeeded, 1 something was refused or failed, 2 usage error.\n\n");
}

}  // namespace vantor::cli
