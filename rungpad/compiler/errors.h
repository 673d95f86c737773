// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversion errors: the numbered codes 1001..1041, their texts in both languages and the
// line the frame and the editor write to the output window.
#include <QString>

namespace rungpad {

struct ConvertError {
    int code = 0;
    int line = 0;     // 0-based ladder line
    int detail = 0;
    bool operator==(const ConvertError&) const = default;
};

namespace err {
inline constexpr int AddressNotSet = 1001;
inline constexpr int InputCodeMissing = 1002;
inline constexpr int ComComeMisused = 1003;
inline constexpr int BeyondMaxLinesOrSteps = 1004;
inline constexpr int End1End2 = 1005;
inline constexpr int IllegalOutput = 1006;
inline constexpr int BlockNotConnected = 1008;
inline constexpr int HorizontalNotConnected = 1009;
inline constexpr int AddressMalformed = 1011;
inline constexpr int DataBeyondLimit = 1012;
inline constexpr int NumberOutOfRange = 1013;
inline constexpr int CtrDuplicate = 1014;
inline constexpr int JumpLabel = 1015;
inline constexpr int Incomplete = 1016;
inline constexpr int Unsupported = 1017;
inline constexpr int TmrDuplicate = 1019;
inline constexpr int ParameterMissing = 1020;
inline constexpr int NameMissing = 1022;
inline constexpr int MovnRange = 1023;
inline constexpr int Unnecessary = 1024;
inline constexpr int CoilNotOutput = 1025;
inline constexpr int NetworkTooLong = 1026;
inline constexpr int CoilDuplicate = 1027;
inline constexpr int VerticalLine = 1030;
inline constexpr int CodDataFull = 1031;
inline constexpr int FirstLevelTooBig = 1032;
inline constexpr int SftBeyondMax = 1033;
inline constexpr int DifMisused = 1034;
inline constexpr int OutsideExecutable = 1039;
inline constexpr int CallSpMisused = 1040;
inline constexpr int WireParallel = 1041;
}

// language 0 Chinese, 1 English; codes without a text give "%d      ".
QString errorText(int code, int language);
// "Ladder the %04d Line, error code: " + text (Chinese "梯图第%04d行  错误代号 " + text),
// with the 0-based line shown 1-based.
QString formatErrorMessage(const ConvertError& error, int language);
bool isKnownErrorCode(int code);

// Output window texts of the convert and check commands.
namespace msg {
inline constexpr const char* ConvertingEn = "Converting...";
inline constexpr const char* ConvertSucceedEn = "Convert succeed!";
inline constexpr const char* CheckingEn = "Checking...";
inline constexpr const char* AcceptEn = "Accept!";
}

}  // namespace rungpad
