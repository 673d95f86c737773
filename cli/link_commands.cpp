// SPDX-License-Identifier: GPL-3.0-or-later
// fernlink-cli's link verbs: the controller's file list, send, receive, delete and DNC over
// the serial or the Ethernet link, bare XModem transfers, and saved transfer lists. They
// drive the same flow objects as the pages.
#include "cli/cli_commands.h"
#include "cli/link_support.h"

#include "common/archive.h"
#include "fernlink/app/messages.h"
#include "fernlink/link/deleterun.h"
#include "fernlink/link/dncflow.h"
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/filelist_store.h"
#include "fernlink/link/serialflows.h"
#include "serialcore/xmodem.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <type_traits>

namespace vantor::cli {

using namespace vantor::fernlink;

namespace {

std::optional<int> intValue(const QString& text, int min, int max)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < min || n > max)
        return std::nullopt;
    return n;
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
    bool verify = false;
    dnc::HeaderMode header = dnc::HeaderMode::ProgramStart;
    QByteArray customHeader;
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
    DeleteRun deleteRun;
    std::vector<RemoteFileRow> asked;
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
        if constexpr (requires { flows.send.verify; })
            flows.send.verify = r.verify;
        if (!flows.send.rows.empty())
            started = flows.send.start();
        else if (!r.listFile.isEmpty())
            prompter.report(r.listFile + QStringLiteral(": the list holds no rows"));
    } else {
        auto& rows = r.verb == QLatin1String("receive") ? flows.receive.rows : flows.remove.rows;
        for (const QString& name : r.names)
            rows.push_back({name, QString(), partitionLabel(r.area), english(Msg::StateNotReceiving), true});
        // XModem pads the last block; only the size the controller lists tells the padding
        // from the file, so the serial receive lists first, as the window's list does.
        if constexpr (std::is_same_v<Flows, SerialFlowSet>) {
            if (r.verb == QLatin1String("receive") && flows.list.start()) {
                QEventLoop loop;
                observer.loop = &loop;
                const bool listed = line.runOperation(loop, [&] { return observer.done; }, [&] { flows.stop(); }, prompter, false);
                observer.loop = nullptr;
                observer.done = false;
                observer.completed = false;
                if (!listed)
                    return kExitFailed;
                // The listing ends in another area: the receive chooses its own again.
                flows.context.currentPartition.clear();
                for (RemoteFileRow& row : rows)
                    for (const RemoteFileRow& listedRow : flows.list.rows)
                        if (listedRow.name.compare(row.name, Qt::CaseInsensitive) == 0
                            && listedRow.partition.compare(row.partition, Qt::CaseInsensitive) == 0)
                            row.size = listedRow.size;
            }
        }
        if (r.verb != QLatin1String("receive")) {
            deleteRun.begin(rows, r.endpoint.tcp);
            asked = rows;
        }
        started = r.verb == QLatin1String("receive") ? flows.receive.start(r.dir) : flows.remove.start();
    }
    if (!started)
        return kExitFailed;

    QEventLoop loop;
    observer.loop = &loop;
    prompter.lastShown.clear();
    const bool answered = line.runOperation(loop, [&] { return observer.done; }, [&] { flows.stop(); }, prompter);
    if (deleteRun.active()) {
        // The same transfer log lines as the window writes: deleted rows left the list.
        for (const RemoteFileRow& row : asked) {
            const bool left = std::none_of(flows.remove.rows.begin(), flows.remove.rows.end(),
                                           [&](const RemoteFileRow& kept) { return kept.name == row.name; });
            if (left)
                if (const auto record = deleteRun.deleted(row.name))
                    observer.transferred(*record);
        }
        deleteRun.shown(answered ? prompter.lastShown : english(Msg::TimeOut));
        if (const auto record = deleteRun.ended(answered && observer.completed, english(Msg::StateDeleteStopped),
                                                english(Msg::EthernetDisconnected)))
            observer.transferred(*record);
    }
    if (!answered)
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
    line.onReceiveError = [&] { line.tcp() ? dnc.receiveError() : dnc.serialLost(); };
    line.driver().setTimerHandler([&](int id) { dnc.onTimer(id); });
    DncDocument document;
    document.path = QFileInfo(path).absoluteFilePath();
    document.lines = net::lineCount(*data);
    document.empty = data->isEmpty();
    prompter.startLine = r.fromLine;
    dnc.headerMode = r.header;
    dnc.customHeader = r.customHeader;
    if (!dnc.start(document))
        return kExitFailed;

    QEventLoop loop;
    observer.loop = &loop;
    line.progress = [&] { return dnc.done(); };
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

int runLink(const CommandLine& command, const CommonOptions& c)
{
    const QString verb = command.verb().name;
    QCommandLineParser parser;
    parser.addOptions({c.serial, c.baud, c.tcp, c.timeout});
    const QCommandLineOption areaOpt(QStringLiteral("area"), QStringLiteral("Controller area (usb over Ethernet only; default user)."),
                                     QStringLiteral("user|sys|usb"));
    const QCommandLineOption ifExistsOpt(QStringLiteral("if-exists"),
                                         QStringLiteral("When the controller has the file already (default skip)."),
                                         QStringLiteral("skip|overwrite|rename=NAME"));
    const QCommandLineOption listOpt(QStringLiteral("list"), QStringLiteral("Send the ticked rows of a saved transfer list."),
                                     QStringLiteral("LIST.dat"));
    const QCommandLineOption dirOpt(QStringLiteral("dir"), QStringLiteral("Folder the files go to (default: the current one)."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption overwriteOpt(QStringLiteral("overwrite"), QStringLiteral("Replace local files of the same name."));
    const QCommandLineOption usbOpt(QStringLiteral("usb"), QStringLiteral("List the controller's USB disk (Ethernet only)."));
    const QCommandLineOption fromLineOpt(QStringLiteral("from-line"),
                                         QStringLiteral("Start the stream at line N, or at block number N (NNUMBER, for example N120); default 1."),
                                         QStringLiteral("N"));
    const QCommandLineOption headerOpt(
        QStringLiteral("start-header"),
        QStringLiteral("What a stream that starts after line 1 sends first: program (the lines before the first motion; the default), "
                       "none, or the text of FILE."),
        QStringLiteral("program|none|FILE"));
    const QCommandLineOption verifyOpt(QStringLiteral("verify"),
                                       QStringLiteral("Read each file back once stored and compare it (Ethernet only); a difference fails."));
    int minNames = 1;
    int maxNames = -1;
    if (verb == QLatin1String("list")) {
        parser.setApplicationDescription(
            QStringLiteral("One line per file: NAME<TAB>SIZE<TAB>AREA (USER, SYS or USB; SIZE - when not given)."));
        parser.addOption(usbOpt);
        minNames = maxNames = 0;
    } else if (verb == QLatin1String("send")) {
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Files to send."), QStringLiteral("FILE..."));
        parser.addOptions({areaOpt, ifExistsOpt, listOpt, verifyOpt});
        minNames = 0;
    } else if (verb == QLatin1String("receive")) {
        parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("Files on the controller."), QStringLiteral("NAME..."));
        parser.addOptions({areaOpt, dirOpt, overwriteOpt});
    } else if (verb == QLatin1String("delete")) {
        parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("Files on the controller."), QStringLiteral("NAME..."));
        parser.addOption(areaOpt);
    } else {
        parser.setApplicationDescription(QStringLiteral(
            "Streams FILE for direct execution (serial: the controller starts it with C; Ethernet: after the controller agreed)."));
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The program to stream."));
        parser.addOptions({fromLineOpt, headerOpt});
        maxNames = 1;
    }
    if (const auto status = parseVerbArguments(parser, command, c, minNames, maxNames))
        return *status;
    const auto usage = [&](const QString& why) { return verbUsageError(command, why); };
    // A link option after the verb wins over the same one before it.
    const auto common = [&](const QCommandLineOption& o) -> std::optional<QString> {
        if (parser.isSet(o))
            return parser.value(o);
        if (command.isSet(o))
            return command.value(o);
        return std::nullopt;
    };
    // Each verb has only its own options; asking about another's would only earn a warning.
    const QStringList given = parser.optionNames();
    const auto isSet = [&](const QCommandLineOption& o) { return given.contains(o.names().constFirst()); };
    const auto optional = [&](const QCommandLineOption& o) -> std::optional<QString> {
        return isSet(o) ? std::optional<QString>(parser.value(o)) : std::nullopt;
    };

    Request r;
    r.verb = verb;
    const auto serial = common(c.serial);
    const auto tcp = common(c.tcp);
    if (serial.has_value() == tcp.has_value())
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
    if (const auto baudText = common(c.baud)) {
        if (tcp)
            return usage(QStringLiteral("--baud is for the serial link"));
        const auto baud = intValue(*baudText, 1, 4000000);
        if (!baud)
            return usage(QStringLiteral("--baud takes a number from 1 to 4000000, not ") + *baudText);
        r.endpoint.baud = *baud;
    }
    if (const auto timeoutText = common(c.timeout)) {
        const auto seconds = intValue(*timeoutText, 1, 86400);
        if (!seconds)
            return usage(QStringLiteral("--timeout takes seconds from 1 to 86400, not ") + *timeoutText);
        r.silenceLimitMs = *seconds * 1000;
    }
    const auto areaText = optional(areaOpt);
    const QString ifExists = optional(ifExistsOpt).value_or(QStringLiteral("skip"));
    r.dir = optional(dirOpt).value_or(QStringLiteral("."));
    r.fromLine = optional(fromLineOpt).value_or(QString());
    r.listFile = optional(listOpt).value_or(QString());
    r.overwrite = isSet(overwriteOpt);
    r.usbList = isSet(usbOpt);
    r.verify = isSet(verifyOpt);
    if (const auto header = optional(headerOpt)) {
        if (*header == QLatin1String("none")) {
            r.header = dnc::HeaderMode::None;
        } else if (*header != QLatin1String("program")) {
            QString error;
            const auto text = readWholeFile(*header, &error);
            if (!text) {
                err() << "fernlink-cli: " << *header << ": " << error << "\n";
                return kExitFailed;
            }
            r.header = dnc::HeaderMode::Custom;
            r.customHeader = *text;
        }
    }
    if (r.verify && !tcp)
        return usage(QStringLiteral("--verify reads files back over the Ethernet link only"));
    r.names = parser.positionalArguments();
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
    if (r.usbList && !tcp)
        return usage(QStringLiteral("the serial link lists the controller's own areas only"));
    if (verb == QLatin1String("send") && r.names.isEmpty() && r.listFile.isEmpty())
        return usage(QStringLiteral("send needs at least one file or --list LIST.dat"));
    if (verb == QLatin1String("receive") && !QFileInfo(r.dir).isDir()) {
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

int runListFile(const CommandLine& command, const CommonOptions& c)
{
    const bool show = command.verb().name == QLatin1String("list-file show");
    QCommandLineParser parser;
    const QCommandLineOption areaOpt(QStringLiteral("area"), QStringLiteral("Controller area of the rows (default user)."),
                                     QStringLiteral("user|sys|usb"));
    parser.addPositionalArgument(QStringLiteral("LIST.dat"), QStringLiteral("The saved transfer list."));
    if (show) {
        parser.setApplicationDescription(
            QStringLiteral("Prints the list's rows: MARK<TAB>PATH<TAB>TARGET<TAB>SIZE<TAB>AREA<TAB>STATE."));
    } else {
        parser.setApplicationDescription(QStringLiteral("Saves FILE... as the send page saves its queue, and prints the rows."));
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Files to list."), QStringLiteral("FILE..."));
        parser.addOption(areaOpt);
    }
    if (const auto status = parseVerbArguments(parser, command, c, show ? 1 : 2, show ? 1 : -1))
        return *status;
    const QStringList args = parser.positionalArguments();
    const QString path = args.at(0);
    QTextStream out(stdout);
    CliPrompter prompter;
    if (show) {
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
    const auto area = areaFromOption(parser.isSet(areaOpt) ? parser.value(areaOpt) : QStringLiteral("user"));
    if (!area)
        return verbUsageError(command, QStringLiteral("--area takes user, sys or usb"));
    // Rows as the send page adds them: each new file at the top of the queue.
    std::vector<CFileListItem> queue;
    bool allFound = true;
    for (const QString& file : args.mid(1)) {
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
        prompter.report(saved.error);
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
    std::unique_ptr<vantor::AtomicFileWriter> file;
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
        file = std::make_unique<vantor::AtomicFileWriter>(path);
        if (!file->open()) {
            prompter.report(QStringLiteral("cannot create ") + file->errorString());
            file.reset();
            return false;
        }
        return true;
    }
    bool writeBlock(QByteArrayView data) override
    {
        if (!file || !file->write(data))
            return false;
        written += data.size();
        prompter.progress(QStringLiteral("%1 bytes").arg(written));
        return true;
    }
    bool completeReceiveFile() override
    {
        if (!file && !openReceiveFile())
            return false;
        return file->commit();
    }
    void receiveFinished(ReceiveResult r) override
    {
        const bool ok = r == ReceiveResult::Received;
        if (r == ReceiveResult::WriteFailed) {
            prompter.report(QStringLiteral("cannot write ") + (file && file->failed() ? file->errorString() : path));
        } else if (!ok) {
            prompter.report(r == ReceiveResult::TimedOut ? QStringLiteral("no sender answered") : QStringLiteral("the transfer failed"));
        }
        // Committed or not, nothing but a complete file ever carries the name.
        if (file)
            file->cancelWriting();
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

int runXModem(const CommandLine& command, const CommonOptions& c)
{
    const bool sending = command.verb().name == QLatin1String("xmodem send");
    QCommandLineParser parser;
    parser.setApplicationDescription(sending ? QStringLiteral("Bare XModem-CRC: waits for the receiver's C, then sends FILE.")
                                             : QStringLiteral("Bare XModem-CRC: sends C and saves what arrives as FILE."));
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("Serial port, a device name such as ttyUSB0 or a path."));
    parser.addPositionalArgument(QStringLiteral("FILE"), sending ? QStringLiteral("File to send.") : QStringLiteral("File to write."));
    parser.addOption(c.baud);
    if (const auto status = parseVerbArguments(parser, command, c, 2, 2))
        return *status;
    Endpoint link;
    const QString baudText = parser.isSet(c.baud) ? parser.value(c.baud) : command.isSet(c.baud) ? command.value(c.baud) : QString();
    if (!baudText.isEmpty()) {
        const auto baud = intValue(baudText, 1, 4000000);
        if (!baud)
            return verbUsageError(command, QStringLiteral("--baud takes a number from 1 to 4000000, not ") + baudText);
        link.baud = *baud;
    }
    const QStringList args = parser.positionalArguments();
    link.port = args[0];
    // A receiver started first has sent its C already; it waits many seconds before the next.
    link.keepEarlyInput = sending;
    const QString path = args[1];
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

bool isLinkVerb(const QString& verb)
{
    return verb == QLatin1String("list") || verb == QLatin1String("send") || verb == QLatin1String("receive")
        || verb == QLatin1String("delete") || verb == QLatin1String("dnc");
}

int runLinkCommand(const CommandLine& line, const CommonOptions& common)
{
    const QString verb = line.verb().name;
    if (verb.startsWith(QLatin1String("xmodem")))
        return runXModem(line, common);
    if (verb.startsWith(QLatin1String("list-file")))
        return runListFile(line, common);
    return runLink(line, common);
}

QList<Verb> linkVerbs()
{
    const QString area = QStringLiteral("[--area user|sys|usb]");
    return {
        {QStringLiteral("list"), QStringLiteral("[--usb]"), QStringLiteral("the controller's files (--usb: its USB disk)")},
        {QStringLiteral("send"), QStringLiteral("FILE... ") + area + QStringLiteral(" [--if-exists skip|overwrite|rename=NAME] [--list LIST.dat]"),
         QStringLiteral("send files, or the ticked rows of a saved list")},
        {QStringLiteral("receive"), QStringLiteral("NAME... ") + area + QStringLiteral(" [--dir DIR] [--overwrite]"),
         QStringLiteral("fetch files from the controller")},
        {QStringLiteral("delete"), QStringLiteral("NAME... ") + area, QStringLiteral("delete files on the controller")},
        {QStringLiteral("dnc"), QStringLiteral("FILE [--from-line N]"), QStringLiteral("stream FILE for direct execution")},
        {QStringLiteral("list-file show"), QStringLiteral("LIST.dat"), QStringLiteral("the rows of a saved transfer list")},
        {QStringLiteral("list-file save"), QStringLiteral("LIST.dat FILE... ") + area,
         QStringLiteral("save a transfer list as the send page does")},
        {QStringLiteral("xmodem send"), QStringLiteral("PORT FILE [--baud N]"), QStringLiteral("bare XModem-CRC, waits for C")},
        {QStringLiteral("xmodem receive"), QStringLiteral("PORT FILE [--baud N]"), QStringLiteral("bare XModem-CRC, sends C")},
    };
}

}  // namespace vantor::cli
