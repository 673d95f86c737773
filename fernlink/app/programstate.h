// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program-wide values every CNC operation consults: which operation runs, how the PC
// is linked to the controller, and which column of the message catalogue is shown.
#include <cstdint>

namespace vantor::fernlink {

enum class OperationState : std::uint8_t {
    OpIdle = 0,
    OpSerialSend = 1,
    OpSerialReceive = 2,
    OpSerialDelete = 3,
    OpSerialDnc = 4,
    OpSerialList = 5,
    OpNetDnc = 6,
    OpNetDelete = 7,
    OpNetReceive = 8,
    OpNetSend = 9,
    OpNetList = 10,
};

enum class LinkType { LinkNone = 0, LinkSerial = 1, LinkEthernet = 2 };

enum class Language { Chinese = 0, English = 1 };

// The user-visible kind of an operation; serial and Ethernet pairs mean the same.
enum class OperationKind { None, Send, Receive, Delete, Dnc, List };
OperationKind kindOf(OperationState state);

struct ProgramState {
    OperationState operation = OperationState::OpIdle;
    LinkType link = LinkType::LinkNone;
    Language language = Language::Chinese;

    bool idle() const { return operation == OperationState::OpIdle; }
};

}  // namespace vantor::fernlink
