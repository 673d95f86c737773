// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Layouts of the ladder files (.plf/.grp), of the code image file and of the signal comment
// files, as the controller and the older editor versions read and write them.
#include <cstdint>

namespace rungpad::fileformat {

// --- Ladder part -------------------------------------------------------------------------
// u16 "line count minus 1"; 0xFFFF means a ladder without lines.
inline constexpr std::uint16_t kNoLinesWord = 0xFFFF;
inline constexpr int kMaxLines = 5000;
inline constexpr int kCellsPerLine = 10;

// Information texts after the four header words, NUL-padded, in this order.
inline constexpr int kVersionBytes = 15;
inline constexpr int kMachineBytes = 40;
inline constexpr int kModifierBytes = 20;
inline constexpr int kSaveTimeBytes = 25;
inline constexpr int kHeaderBytes = 8 + kVersionBytes + kMachineBytes + kModifierBytes + kSaveTimeBytes;  // 108

// A cell: u16 code, u16 vertical link (0/1), i16 number, 7 text bytes NUL-terminated.
inline constexpr int kCellTextBytes = 7;
inline constexpr int kCellTextMax = kCellTextBytes - 1;
inline constexpr int kCellBytes = 6 + kCellTextBytes;          // 13
inline constexpr int kLineBytes = kCellsPerLine * kCellBytes;   // 130

// Save time as the older editors write it (local time).
inline constexpr const char* kSaveTimeFormat = "yyyy-MM-dd HH:mm";

// --- Comment records after the ladder part of a .plf file ------------------------------
// u16 tag, u32 index, u16 length, length text bytes (no terminator).
inline constexpr std::uint16_t kTagLineNote = 5354;
inline constexpr std::uint16_t kTagNotation = 5609;
inline constexpr std::uint16_t kTagRelayNotation = 5864;
inline constexpr int kCommentRecordHeaderBytes = 8;
// The older readers hold a comment text in 127 bytes plus terminator; longer records are
// refused on load and texts are cut (at a character boundary) on save so files stay readable.
inline constexpr int kMaxCommentTextBytes = 127;

// --- Comment tables ----------------------------------------------------------------------
inline constexpr int kNotationEntries = 24576;      // (byte + letter base) * 8 + bit
inline constexpr int kRelayNotationEntries = 8000;  // R000.0..R999.7
inline constexpr int kMCodeCount = 98;              // M00..M97
inline constexpr int kBaseF = 0;
inline constexpr int kBaseG = 256;
inline constexpr int kBaseX = 512;
inline constexpr int kBaseY = 640;
inline constexpr int kBaseK = 768;
inline constexpr int kBaseA = 832;

// --- Signal comment text files -----------------------------------------------------------
inline constexpr const char* kDiagnosisFileName = "Diag.mea";
inline constexpr const char* kUserNotationFileName = "LadChi01.txt";
inline constexpr const char* kSectionSeparator = "%";
inline constexpr const char* kEndLine = "end";
inline constexpr int kCommentColumn = 10;        // signal and M lines carry their text from here
inline constexpr int kMCommentMax = 64;          // an M-section comment is cut to this many bytes
inline constexpr int kMSectionFirstFByte = 26;   // M codes may only map to F026.0..F033.7
inline constexpr int kMSectionLastFByte = 33;

// --- Code image file (Ladbin.dat) --------------------------------------------------------
inline constexpr int kCodeRecordBytes = 8;
inline constexpr const char* kDefaultBinaryName = "Ladbin.dat";

}  // namespace rungpad::fileformat
