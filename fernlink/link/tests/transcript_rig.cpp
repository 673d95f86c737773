// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/tests/transcript_rig.h"

#include "common/testing/testfiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace vantor::fernlink::transcript {

namespace {

QString yes(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

QString answerName(Answer a)
{
    switch (a) {
    case Answer::Yes: return QStringLiteral("Yes");
    case Answer::No: return QStringLiteral("No");
    case Answer::Cancel: return QStringLiteral("Cancel");
    }
    return {};
}

QString buttonsName(Buttons b)
{
    switch (b) {
    case Buttons::Ok: return QStringLiteral("Ok");
    case Buttons::YesNo: return QStringLiteral("YesNo");
    case Buttons::YesNoCancel: return QStringLiteral("YesNoCancel");
    case Buttons::OkCancel: return QStringLiteral("OkCancel");
    }
    return {};
}

QString severityName(Severity s)
{
    switch (s) {
    case Severity::Information: return QStringLiteral("info");
    case Severity::Warning: return QStringLiteral("warning");
    case Severity::Error: return QStringLiteral("error");
    }
    return {};
}

QString entryName(LogEntry e)
{
    switch (e) {
    case LogEntry::Deleted: return QStringLiteral("Deleted");
    case LogEntry::Receiving: return QStringLiteral("Receiving");
    case LogEntry::Sent: return QStringLiteral("Sent");
    case LogEntry::DncStarted: return QStringLiteral("DncStarted");
    case LogEntry::Failed: return QStringLiteral("Failed");
    case LogEntry::BatchEnded: return QStringLiteral("BatchEnded");
    }
    return {};
}

QString shown(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return t;
}

}  // namespace

QString bytesText(QByteArrayView bytes)
{
    auto plain = [](QByteArrayView b) {
        QString s;
        for (char c : b) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '\r')
                s += QStringLiteral("\\r");
            else if (c == '\n')
                s += QStringLiteral("\\n");
            else if (c == '\\')
                s += QStringLiteral("\\\\");
            else if (u >= 0x20 && u < 0x7f)
                s += QLatin1Char(c);
            else
                s += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        }
        return s;
    };
    if (bytes.size() <= 48)
        return QLatin1Char('"') + plain(bytes) + QLatin1Char('"');
    return QStringLiteral("[%1 bytes crc %2] \"%3...\"")
        .arg(bytes.size())
        .arg(crc32(bytes), 8, 16, QLatin1Char('0'))
        .arg(plain(bytes.first(12)));
}

void RecordingPort::output(const QString& text)
{
    // Writes and pauses that follow each other form one line, as the shell works through them.
    if (outputLine_ >= 0 && outputLine_ == log_.lines.size() - 1) {
        log_.lines.back() += text;
        return;
    }
    log_.add(name_ + QStringLiteral(" out ") + text);
    outputLine_ = log_.lines.size() - 1;
}

void RecordingPort::write(const QByteArray& bytes)
{
    output(bytesText(bytes));
}

void RecordingPort::pause(int ms)
{
    output(QStringLiteral("<%1>").arg(ms));
}

void RecordingPort::purge()
{
    output(QStringLiteral("<purge>"));
}

void RecordingPort::startTimer(int id, int ms, bool repeat)
{
    running_[id] = {ms, repeat};
    started_.insert(id);
}

void RecordingPort::stopTimer(int id)
{
    running_.erase(id);
    started_.erase(id);
}

void RecordingPort::flushTimers()
{
    QStringList changes;
    std::set<int> ids;
    for (const auto& [id, t] : running_)
        ids.insert(id);
    for (const auto& [id, t] : before_)
        ids.insert(id);
    for (int id : ids) {
        const auto now = running_.find(id);
        if (now != running_.end() && started_.count(id))
            changes << QStringLiteral("start %1 %2ms%3").arg(id).arg(now->second.ms).arg(now->second.repeat ? QStringLiteral(" repeat") : QString());
        else if (now == running_.end() && before_.count(id))
            changes << QStringLiteral("stop %1").arg(id);
    }
    before_ = running_;
    started_.clear();
    if (!changes.isEmpty())
        log_.add(name_ + QStringLiteral(" timers ") + changes.join(QStringLiteral(", ")));
}

void RecordingObserver::rowChanged(int row)
{
    log_.add(QStringLiteral("observer row %1 changed").arg(row));
}

void RecordingObserver::rowRemoved(int row)
{
    log_.add(QStringLiteral("observer row %1 removed").arg(row));
}

void RecordingObserver::listChanged()
{
    log_.add(QStringLiteral("observer list changed"));
}

void RecordingObserver::currentFile(const QString& path)
{
    log_.add(QStringLiteral("observer file ") + path);
}

void RecordingObserver::progress(const TransferStatistics& s)
{
    log_.add(QStringLiteral("observer progress %1 | %2 | %3 %4 %5 | %6%")
                 .arg(s.packetsText(), s.progressText(), s.elapsedText(), s.speedText(), s.remainingText())
                 .arg(s.percent()));
}

void RecordingObserver::log(LogEntry entry, const QString& text)
{
    log_.add(QStringLiteral("observer log %1: %2").arg(entryName(entry), shown(text)));
}

void RecordingObserver::finished(bool completed)
{
    log_.add(QStringLiteral("observer finished completed=") + yes(completed));
}

void RecordingObserver::transferred(const TransferRecord& r)
{
    static const char* const directions[] = {"send", "receive", "delete", "dnc"};
    log_.add(QStringLiteral("observer record %1 %2 %3 size=%4 crc=%5 ok=%6%7")
                 .arg(r.ethernet ? QStringLiteral("net") : QStringLiteral("serial"))
                 .arg(QLatin1String(directions[static_cast<int>(r.direction)]))
                 .arg(r.file)
                 .arg(r.size)
                 .arg(r.crc ? QStringLiteral("%1").arg(*r.crc, 8, 16, QLatin1Char('0')) : QStringLiteral("-"))
                 .arg(yes(r.ok))
                 .arg(r.reason.isEmpty() ? QString() : QStringLiteral(" reason=") + r.reason));
}

void RecordingObserver::dropLink()
{
    log_.add(QStringLiteral("observer drop link"));
}

Answer RecordingPrompter::ask(const QString& text, Buttons buttons, const QString& caption)
{
    if (whileAsking)
        whileAsking();
    Answer a = Answer::No;
    if (!answers.empty()) {
        a = answers.front();
        answers.pop_front();
    }
    log_.add(QStringLiteral("ask [%1] %2 (%3) -> %4").arg(caption, shown(text), buttonsName(buttons), answerName(a)));
    return a;
}

void RecordingPrompter::inform(Severity severity, const QString& text, const QString& caption)
{
    log_.add(QStringLiteral("inform %1 [%2] %3").arg(severityName(severity), caption, shown(text)));
}

std::optional<QString> RecordingPrompter::askText(const QString& prompt, const QString& initial)
{
    std::optional<QString> a;
    if (!texts.empty()) {
        a = texts.front();
        texts.pop_front();
    }
    log_.add(QStringLiteral("askText %1 [%2] -> %3").arg(shown(prompt), initial, a ? QLatin1Char('"') + *a + QLatin1Char('"') : QStringLiteral("cancel")));
    return a;
}

Rig::Rig(const QString& f) : folder(f)
{
    log.dir = f;
}

QString Rig::file(const QString& name, const QByteArray& data)
{
    const QString path = folder + QLatin1Char('/') + name;
    vantor::testing::writeFile(path, data);
    return path;
}

namespace {

// One input to DNC or to the flows of the link in use, written down with what it caused.
template <typename Event>
void deliver(Rig& r, const QString& what, Event event)
{
    r.log.add(QStringLiteral("<- ") + what);
    if (r.toDnc)
        event(r.dnc);
    else if (r.state.link == LinkType::LinkEthernet)
        event(r.net);
    else
        event(r.serial);
    r.flush();
}

}  // namespace

void Rig::in(const QByteArray& bytes)
{
    deliver(*this, bytesText(bytes), [&](auto& target) { target.onBytes(bytes); });
}

void Rig::tick(int id, int times)
{
    deliver(*this, QStringLiteral("tick %1 x%2").arg(id).arg(times), [&](auto& target) {
        for (int i = 0; i < times; ++i)
            target.onTimer(id);
    });
}

void Rig::stop()
{
    deliver(*this, QStringLiteral("stop"), [](auto& target) { target.stop(); });
}

void Rig::linkLost()
{
    log.add(QStringLiteral("<- link lost"));
    if (toDnc)
        dnc.closed();
    else
        net.linkLost();
    flush();
}

void Rig::flush()
{
    serialPort.flushTimers();
    netPort.flushTimers();
}

void Rig::started(const char* what, bool result)
{
    flush();
    log.add(QStringLiteral("start %1 -> %2").arg(QLatin1String(what), yes(result)));
}

void Rig::summary(const std::vector<SendRow>& rows)
{
    for (const SendRow& r : rows)
        log.add(QStringLiteral("= row %1 %2/%3 size=%4 state=%5").arg(QFileInfo(r.path).fileName(), r.partition, r.targetName).arg(r.size).arg(r.state));
    summaryFiles();
}

void Rig::summary(const std::vector<RemoteFileRow>& rows)
{
    for (const RemoteFileRow& r : rows)
        log.add(QStringLiteral("= row %1/%2 size=%3 selected=%4 state=%5").arg(r.partition, r.name, r.size, yes(r.selected), r.state));
    summaryFiles();
}

void Rig::summaryFiles()
{
    flush();
    log.add(QStringLiteral("= operation %1").arg(static_cast<int>(state.operation)));
    for (const QString& name : vantor::testing::filesIn(folder))
        log.add(QStringLiteral("= file %1 %2").arg(name, bytesText(vantor::testing::readFile(folder + QLatin1Char('/') + name))));
}

QString runAll(const std::vector<Scenario>& scenarios)
{
    QString all;
    for (const Scenario& s : scenarios) {
        QTemporaryDir dir;
        Rig rig(dir.path());
        s.run(rig);
        rig.flush();
        all += QStringLiteral("== ") + QLatin1String(s.name) + QLatin1Char('\n');
        for (const QString& line : rig.log.lines)
            all += line + QLatin1Char('\n');
    }
    return all;
}

}  // namespace vantor::fernlink::transcript
