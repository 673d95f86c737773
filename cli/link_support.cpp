// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/link_support.h"

#include "fernlink/app/messages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace vantor::cli {

using namespace vantor::fernlink;

namespace {

// Asked once: the progress paths run for every frame.
bool stderrIsTerminal()
{
    static const bool terminal = isatty(STDERR_FILENO) != 0;
    return terminal;
}

bool startsLike(const QString& text, Msg id)
{
    const QString t = messageEnglish(id);
    const QString head = t.section(QLatin1String("%1"), 0, 0);
    return text.startsWith(head.isEmpty() ? t : head);
}

}  // namespace

// ---------------------------------------------------------------- answers and reports

Answer CliPrompter::ask(const QString& text, Buttons)
{
    if (startsLike(text, Msg::FileExistsOverwrite)) {
        if (!overwriteLocal)
            report(text.section(QLatin1Char('!'), 0, 0) + QStringLiteral("! (skipped; --overwrite replaces it)"));
        return overwriteLocal ? Answer::Yes : Answer::No;
    }
    if (startsLike(text, Msg::CncHasFile)) {
        switch (ifExists) {
        case IfExists::Overwrite:
            return Answer::Yes;
        case IfExists::Rename:
            if (!renameUsed_)
                return Answer::No;
            report(text + QStringLiteral(" (skipped; the new name was used already)"));
            return Answer::Cancel;
        case IfExists::Skip:
            break;
        }
        report(text + QStringLiteral(" (skipped; --if-exists overwrite replaces it)"));
        return Answer::Cancel;
    }
    if (startsLike(text, Msg::IncorrectNameQuestion) || startsLike(text, Msg::SizeOver4MQuestion)) {
        report(text.section(QLatin1Char('\n'), 0, 0).trimmed() + QStringLiteral(" (skipped)"));
        return Answer::Yes;
    }
    if (startsLike(text, Msg::SendNoRightQuestion) || startsLike(text, Msg::NetFileCannotOpenQuestion)) {
        report(text.section(QLatin1Char('\n'), 0, 0).trimmed() + QStringLiteral(" (skipped)"));
        return Answer::No;
    }
    return Answer::Yes;  // confirmations of what the command line asked for
}

std::optional<QString> CliPrompter::askText(const QString& prompt, const QString& initial)
{
    if (prompt == messageEnglish(Msg::DncStartLine) || prompt == messageChinese(Msg::DncStartLine)) {
        if (startLineGiven_) {
            report(QStringLiteral("--from-line takes a line number from 1 to 2147483647, not ") + initial);
            return std::nullopt;
        }
        startLineGiven_ = true;
        return startLine.isEmpty() ? QStringLiteral("1") : startLine;
    }
    // The rename question of a name the controller already holds.
    if (ifExists == IfExists::Rename && !renameUsed_) {
        renameUsed_ = true;
        return renameTo;
    }
    report(QStringLiteral("the name ") + initial + QStringLiteral(" is not accepted (skipped)"));
    return std::nullopt;
}

void CliPrompter::report(const QString& text)
{
    clearProgress();
    err() << "fernlink-cli: " << (current.isEmpty() ? QString() : current + QStringLiteral(": ")) << text << "\n";
    err().flush();
}

void CliPrompter::progress(const QString& line)
{
    if (!stderrIsTerminal())
        return;
    err() << "\r" << line << "\x1b[K";
    err().flush();
    shown_ = true;
}

void CliPrompter::clearProgress()
{
    if (!shown_)
        return;
    err() << "\r\x1b[K";
    shown_ = false;
}

void CliObserver::currentFile(const QString& path)
{
    prompter_.current = QFileInfo(path).fileName();
}

void CliObserver::progress(const TransferStatistics& s)
{
    // The flows report every 2 KB frame; formatting a line for each (for nobody, when stderr
    // is not a terminal) cost more than moving the frame.
    if (!stderrIsTerminal() || (lastDrawn_.isValid() && lastDrawn_.elapsed() < 100))
        return;
    lastDrawn_.start();
    prompter_.progress(QStringLiteral("%1  %2  %3  %4  %5")
                           .arg(prompter_.current, s.packetsText(), s.progressText(), s.elapsedText(), s.speedText()));
}

void CliObserver::transferred(const fernlink::TransferRecord& record)
{
    if (!transferLog.append(record))
        prompter_.report(fernlink::message(fernlink::Msg::LogFileFailed, fernlink::Language::English).arg(transferLog.error()));
}

void CliObserver::finished(bool ok)
{
    prompter_.clearProgress();
    done = true;
    completed = ok;
    if (loop)
        loop->quit();
}

// ---------------------------------------------------------------- the connection

std::optional<Endpoint> parseTcpAddress(const QString& text)
{
    Endpoint e;
    e.tcp = true;
    QString host = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            port = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        host = text.section(QLatin1Char(':'), 0, 0);
        port = text.section(QLatin1Char(':'), 1);
    }
    if (host.isEmpty())
        return std::nullopt;
    e.host = host;
    if (!port.isEmpty()) {
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!ok || n < 1 || n > 65535)
            return std::nullopt;
        e.tcpPort = static_cast<quint16>(n);
    }
    return e;
}

CliConnection::CliConnection() = default;

CliConnection::~CliConnection()
{
    // The callbacks refer to flows that may be gone by now.
    onBytes = nullptr;
    onClosed = nullptr;
    onReceiveError = nullptr;
}

LinkDriver& CliConnection::driver()
{
    return endpoint_.tcp ? net_.port() : serialDriver_;
}

bool CliConnection::connected() const
{
    return endpoint_.tcp ? net_.isConnected() && !dropped_ : comm_.isOpen();
}

bool CliConnection::open(const Endpoint& endpoint, const CliPrompter&)
{
    endpoint_ = endpoint;
    if (!endpoint.tcp) {
        comm_.setPort(endpoint.port, endpoint.baud);
        if (!comm_.open(endpoint.keepEarlyInput ? CVantorComm::EarlyInput::Keep : CVantorComm::EarlyInput::Drop)) {
            err() << "fernlink-cli: cannot open " << endpoint.port << ": " << comm_.lastError() << "\n";
            return false;
        }
        serialDriver_.setWriter([this](const QByteArray& b) { comm_.write(b); });
        serialDriver_.setPurger([this] { comm_.purge(); });
        QObject::connect(&comm_, &CVantorComm::received, [this](const QByteArray& chunk) {
            lastByte_.restart();
            if (onBytes)
                onBytes(chunk);
        });
        // The port went away (unplugged, I/O error): what runs learns it as a failed read.
        QObject::connect(&comm_, &CVantorComm::lost, [this](const QString&) {
            if (onReceiveError)
                onReceiveError();
        });
        lastByte_.start();
        return true;
    }

    QEventLoop wait;
    bool ok = false;
    int code = 0;
    QString why;
    const auto c1 = QObject::connect(&net_, &EthernetLink::connected, [&] {
        ok = true;
        wait.quit();
    });
    const auto c2 = QObject::connect(&net_, &EthernetLink::connectFailed, [&](int errorCode, const QString& text) {
        code = errorCode;
        why = text;
        wait.quit();
    });
    net_.connectTo(endpoint.host, endpoint.tcpPort);
    wait.exec();
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    if (!ok) {
        err() << "fernlink-cli: " << message(Msg::UnableToConnect, Language::English).arg(code) << " (" << endpoint.host
              << ':' << endpoint.tcpPort << ": " << why << ")\n";
        err().flush();
        return false;
    }
    QObject::connect(&net_, &EthernetLink::bytesReceived, [this](const QByteArray& chunk) {
        lastByte_.restart();
        if (onBytes)
            onBytes(chunk);
    });
    QObject::connect(&net_, &EthernetLink::closed, [this] {
        if (onClosed)
            onClosed();
    });
    QObject::connect(&net_, &EthernetLink::receiveError, [this](int) {
        if (onReceiveError)
            onReceiveError();
    });
    lastByte_.start();
    return true;
}

void CliConnection::drop()
{
    if (!endpoint_.tcp || dropped_)
        return;
    dropped_ = true;
    net_.disconnectFromController();
}

bool CliConnection::run(QEventLoop& loop, const std::function<bool()>& done)
{
    QTimer watch;
    bool silent = false;
    QElapsedTimer lastMove;
    lastMove.start();
    qint64 reached = progress ? progress() : 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (progress) {
            if (const qint64 now = progress(); now != reached) {
                reached = now;
                lastMove.restart();
            }
        }
        if (done()) {
            loop.quit();
        } else if (lastByte_.elapsed() > silenceLimitMs || (progress && lastMove.elapsed() > silenceLimitMs)) {
            silent = true;
            loop.quit();
        }
    });
    watch.start(50);
    if (!done())
        loop.exec();
    drain();
    return !silent;
}

void CliConnection::drain()
{
    // Paced bytes go out on the driver's timers: sleep until the next event instead of
    // spinning a core between them. The limit's own timeout wakes the loop at the end.
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(3000);
    while (!driver().idle() && limit.isActive())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (endpoint_.tcp && connected()) {
        QTcpSocket& s = net_.socket();
        while (s.bytesToWrite() > 0 && s.waitForBytesWritten(3000)) {
        }
    }
}

void CliConnection::close()
{
    drain();
    if (endpoint_.tcp) {
        dropped_ = true;
        QTcpSocket& s = net_.socket();
        if (s.state() == QAbstractSocket::ConnectedState) {
            s.disconnectFromHost();
            if (s.state() != QAbstractSocket::UnconnectedState)
                s.waitForDisconnected(1000);
        }
    } else {
        comm_.close();
    }
}

bool CliConnection::runOperation(QEventLoop& loop, const std::function<bool()>& done, const std::function<void()>& stop,
                                 CliPrompter& prompter, bool closeAfter)
{
    const bool answered = run(loop, done);
    if (!answered) {
        prompter.clearProgress();
        stop();
        drain();
        prompter.report(message(Msg::TimeOut, Language::English));
    }
    if (closeAfter || !answered)
        close();
    return answered;
}

}  // namespace vantor::cli
