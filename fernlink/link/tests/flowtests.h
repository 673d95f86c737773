// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Ethernet and DNC flow tests share: an observer that keeps what it heard, a
// prompter that runs something while a question is open, and the controller's byte streams.
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/ethernetprotocol.h"

#include <functional>
#include <vector>

namespace vantor::fernlink::flowtests {

inline QByteArray one(char c)
{
    return QByteArray(1, c);
}

struct Recorder : EthernetObserver {
    int drops = 0;
    std::vector<bool> ends;
    std::vector<std::pair<LogEntry, QString>> logs;
    void log(LogEntry entry, const QString& text) override { logs.emplace_back(entry, text); }
    void dropLink() override { ++drops; }
    void finished(bool completed) override { ends.push_back(completed); }
};


// Runs something while a question is open, as the event loop under a message box would.
struct HookedPrompter : ScriptedPrompter {
    std::function<void()> whileAsking;
    using ScriptedPrompter::ask;
    Answer ask(const QString& text, Buttons buttons) override
    {
        if (whileAsking)
            whileAsking();
        return ScriptedPrompter::ask(text, buttons);
    }
};

inline QByteArray patterned(int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(i * 7 + 3);
    return b;
}

// The stream the controller sends for a file: 2048-byte frames of a header byte and 2047
// payload bytes, the last one padded.
inline QByteArray controllerFrames(const QByteArray& data)
{
    QByteArray all;
    for (qsizetype pos = 0; pos < data.size(); pos += net::kFramePayload) {
        QByteArray frame(net::kFrameSize, '\0');
        frame[0] = net::kSoh;
        const QByteArray part = data.mid(pos, net::kFramePayload);
        std::copy(part.begin(), part.end(), frame.begin() + 1);
        all += frame;
    }
    return all;
}


}  // namespace vantor::fernlink::flowtests
