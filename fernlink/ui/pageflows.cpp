// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/pageflows.h"

namespace vantor::fernlink::ui {

PageFlows::PageFlows(LinkHub& hub, Prompter& prompter, EthernetObserver& observer)
    : serial(hub.serialPort(), hub.state, prompter, observer),
      ethernet(hub.ethernetPort(), hub.state, prompter, observer),
      state_(hub.state)
{
}

LinkType PageFlows::route() const
{
    return state_.link != LinkType::LinkNone ? state_.link : running;
}

void PageFlows::onBytes(QByteArrayView chunk)
{
    if (route() == LinkType::LinkEthernet)
        ethernet.onBytes(chunk);
    else if (route() == LinkType::LinkSerial)
        serial.onBytes(chunk);
}

void PageFlows::onTimer(int id)
{
    if (route() == LinkType::LinkEthernet)
        ethernet.onTimer(id);
    else if (route() == LinkType::LinkSerial)
        serial.onTimer(id);
}

void PageFlows::stop()
{
    if (running == LinkType::LinkEthernet)
        ethernet.stop();
    else if (running == LinkType::LinkSerial)
        serial.stop();
}

bool PageFlows::serialLost()
{
    if (running != LinkType::LinkSerial || serial.active() == nullptr)
        return false;
    serial.stop();
    return true;
}

bool PageFlows::ethernetLost()
{
    const bool wasRunning = ethernet.active() != nullptr;
    ethernet.linkLost();
    return wasRunning;
}

}  // namespace vantor::fernlink::ui
