// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bytes and limits the controller fixes on the serial line: XModem control characters,
// the frame layout and the pacing of the text command set.
#include <cstdint>

namespace vantor::wire {

// XModem control characters.
constexpr char kSoh = 0x01;   // start of a 128-byte frame
constexpr char kEot = 0x04;   // end of file, sent by the sender after the last block
constexpr char kAck = 0x06;   // frame accepted / end of file acknowledged
constexpr char kLf = 0x0A;    // sent once after CAN when the receiver aborts on a garbled frame
constexpr char kDle = 0x10;   // controller refuses: the user has not enough rights
constexpr char kNak = 0x15;   // frame rejected, send it again
constexpr char kCan = 0x18;   // cancel
constexpr char kSub = 0x1A;   // controller refuses: the file does not suit the controller type
constexpr char kEsc = 0x1B;   // controller refuses: the file name already exists
constexpr char kFs = 0x1C;    // controller refuses: it already holds as many files as it can
constexpr char kStartCrc = 'C';  // receiver is ready for a CRC transfer
constexpr char kPrompt = '>';    // ends the controller's prompt after a change of partition

constexpr char kPadByte = 0x1A;         // fills the data area of the last block
constexpr char kInitialPadByte = 0x20;  // pad byte before the first send starts
constexpr int kBlockSize = 128;
constexpr int kFrameSize = 133;  // SOH, number, complement, 128 data bytes, CRC high, CRC low
constexpr int kFrameDataOffset = 3;
constexpr int kFrameCrcOffset = 131;

// Pacing of the text commands: every byte is followed by a short pause, a line end by a
// longer one first, so the controller's slow command reader keeps up.
constexpr int kCommandBytePauseMs = 10;
constexpr int kChangePartitionLinePauseMs = 1000;
constexpr int kListLinePauseMs = 200;
constexpr int kDeleteLinePauseMs = 200;
constexpr int kUploadLinePauseMs = 200;
constexpr int kUploadLeadPauseMs = 50;  // after the lone line feed that precedes "xul"
constexpr int kDownloadLinePauseFernportMs = 200;
constexpr int kDownloadLinePauseFernlinkMs = 1000;
// Longest commands the controller's command reader accepts.
constexpr int kMaxShortCommand = 19;  // change partition, list
constexpr int kMaxLongCommand = 39;   // every other command

// Partition words as the controller spells them.
constexpr const char* kPartUser = "user";
constexpr const char* kPartSys = "sys";
constexpr const char* kPartBios = "bios";
constexpr const char* kPartUsb = "usb";
// Transfer-type argument of xdl/xul: text for the user area, data for every other partition.
constexpr const char* kTypeText = "-t";
constexpr const char* kTypeData = "-d";

constexpr int kListingBufferSize = 100000;
constexpr int kPromptBufferSize = 100;

}  // namespace vantor::wire
