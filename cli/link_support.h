// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What fernlink-cli's link verbs share: the answers the flows' questions get from the
// command line, the reports on stderr, and one connection to the controller over either link.
#include "cli/commandline.h"
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/ethernetlink.h"
#include "serialcore/linkdriver.h"
#include "serialcore/vantorcomm.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

namespace vantor::cli {

// The XModem sender and the Ethernet list, receive and delete exchanges wait for the
// controller without limit; a command-line run gives up after this long without a byte.
constexpr int kDefaultSilenceLimitMs = 30000;

// Answers the flows' questions from the command line's flags and reports on stderr.
class CliPrompter : public Prompter {
public:
    bool overwriteLocal = false;
    enum class IfExists { Skip, Overwrite, Rename } ifExists = IfExists::Skip;
    QString renameTo;     // used for the first name the controller already has
    QString startLine;    // the DNC start line
    QString current;      // the file the flow is on, for the reports

    QString lastShown;    // the last message a flow showed (why a delete ended short)

    Answer ask(const QString& text, Buttons buttons) override;
    void inform(Severity, const QString& text) override
    {
        lastShown = text;
        report(text);
    }
    std::optional<QString> askText(const QString& prompt, const QString& initial) override;

    void report(const QString& text);
    void progress(const QString& line);
    void clearProgress();

private:
    bool shown_ = false;
    bool renameUsed_ = false;
    bool startLineGiven_ = false;
};

class CliObserver : public fernlink::EthernetObserver {
public:
    explicit CliObserver(CliPrompter& prompter) : prompter_(prompter) {}
    bool done = false;
    bool completed = false;
    QEventLoop* loop = nullptr;
    std::function<void()> onDropLink;

    void currentFile(const QString& path) override;
    void progress(const fernlink::TransferStatistics& s) override;
    void finished(bool ok) override;
    // The same lines as the window writes, in the same folder; a line that cannot be
    // written is reported (the transfer's own result stands).
    void transferred(const fernlink::TransferRecord& record) override;
    fernlink::TransferLog transferLog{fernlink::transferLogFolder(fernlink::fernlinkDataFolder())};
    void dropLink() override
    {
        if (onDropLink)
            onDropLink();
    }

private:
    CliPrompter& prompter_;
    QElapsedTimer lastDrawn_;  // the progress line is redrawn at most ten times a second
};

// Where the controller is: a serial port or a TCP address.
struct Endpoint {
    bool tcp = false;
    QString port;  // serial device
    int baud = CVantorComm::kDefaultBaud;
    QString host;
    quint16 tcpPort = fernlink::net::kPort;
    bool keepEarlyInput = false;  // serial: keep what arrived before the port was opened
};

// "HOST", "HOST:PORT" or "[V6]:PORT"; nullopt when the port is not 1..65535.
std::optional<Endpoint> parseTcpAddress(const QString& text);

// One open link: the driver the flows write through, and the bytes, closing and read
// errors of the line handed to the callbacks.
class CliConnection {
public:
    CliConnection();
    ~CliConnection();

    std::function<void(QByteArrayView)> onBytes;
    std::function<void()> onClosed;
    std::function<void()> onReceiveError;
    int silenceLimitMs = kDefaultSilenceLimitMs;
    // How far the operation has got, where it can say (bytes streamed). Set, a line that keeps
    // talking without the figure moving for the silence limit counts as silent: a controller
    // asking for the same block again and again would otherwise hold the tool for ever.
    std::function<qint64()> progress;

    bool open(const Endpoint& endpoint, const CliPrompter& prompter);
    LinkDriver& driver();
    bool tcp() const { return endpoint_.tcp; }
    bool connected() const;
    // Closes the TCP connection at once (the flows asked to drop the link).
    void drop();

    // Runs the loop until done() holds or the line stays silent too long; false on silence.
    // What the flows queued last (a CAN, an ACK, the EOT) still goes out before it returns.
    bool run(QEventLoop& loop, const std::function<bool()>& done);
    // Writes what is still queued and closes the line.
    void close();
    // run() and close(); on silence the operation is stopped first and "Time out" reported.
    bool runOperation(QEventLoop& loop, const std::function<bool()>& done, const std::function<void()>& stop,
                      CliPrompter& prompter, bool closeAfter = true);

private:
    void drain();

    Endpoint endpoint_;
    CVantorComm comm_;
    LinkDriver serialDriver_;
    fernlink::EthernetLink net_;
    QElapsedTimer lastByte_;
    bool dropped_ = false;
};

}  // namespace vantor::cli
