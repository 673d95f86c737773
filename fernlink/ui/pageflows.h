// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A transfer page's serial and Ethernet flows, and which of them the link's bytes, ticks
// and closing belong to.
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/serialflows.h"
#include "fernlink/ui/linkhub.h"

namespace vantor::fernlink::ui {

class PageFlows {
public:
    PageFlows(LinkHub& hub, Prompter& prompter, EthernetObserver& observer);

    SerialFlowSet serial;
    EthernetFlowSet ethernet;
    // The link the page's last operation started on.
    LinkType running = LinkType::LinkNone;

    // After a lost link the type is none; what is still in flight belongs to the link it ran on.
    LinkType route() const;
    void onBytes(QByteArrayView chunk);
    void onTimer(int id);
    void stop();
    // The socket closed or failed: ends what ran over it. False when nothing did, so that the
    // page itself has to tell the main window the controller went away.
    bool ethernetLost();
    // The serial port went away: what ran over it ends as Stop ends it (no half file). False
    // when nothing did.
    bool serialLost();

private:
    const ProgramState& state_;
};

}  // namespace vantor::fernlink::ui
