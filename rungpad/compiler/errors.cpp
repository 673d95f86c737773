// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/compiler/errors.h"

namespace rungpad {

namespace {
struct ErrorText {
    int code;
    const char* en;
    const char* zh;
};

// clang-format off
constexpr ErrorText kErrorTexts[] = {
    {1001, "1001 address of relay or coil not set", "1001 继电器或者线圈的地址未设定"},
    {1002, "1002 input code inexistence", "1002 输入代码的功能指令不存在"},
    {1003, "1003 COM/COME used by mistake", "1003 功能指令COM/COME未正确使用"},
    {1004, "1004 ladder exceeding max. linage or step", "1004 用户梯形图超出最大允许行数或者步数"},
    {1005, "1005 error in  END1/END2", "1005 功能指令END1或END2未正确使用"},
    {1006, "1006 illegal output in NET", "1006 网络中存在非法的输出"},
    {1007, "1007 PLC cannot execute communication", "1007 硬件故障或者系统中断错误导致PLC无法通信"},
    {1008, "1008 not connected correctly", "1008 功能指令未正确连接"},
    {1009, "1009 network horizon not connected", "1009 网络水平线未连上"},
    {1010, "1010 network missing for power-off in edit ladder", "1010 在编辑梯形图时断电导致在编辑的网络丢失"},
    {1011, "1011 address data not input correctly", "1011 地址数据未正确输入"},
    {1012, "1012 symbol undefined or data exceeding limit", "1012 输入符号未定义或者输入地址超出范围"},
    {1013, "1013 defined illegal characters", "1013 指定了非法字符"},
    {1014, "1014 input net number bigger than memory area", "1014 CTR地址重复"},
    {1015, "1015 JMP/LBL deal err or exceeding its capacity", "1015 功能指令JMP/LBL未正确处理或者超出容量"},
    {1016, "1016 ladder incompleteness", "1016 网络结构不完整"},
    {1017, "1017 have ladder not supported", "1017 出现当前不支持的网络结构"},
    {1018, "1018 dangle node in network", "1018 网络出现悬空节点"},
    {1019, "1019 sequence program zone full, so reduce ladder", "1019 TMR地址重复"},
    {1020, "1020 no parameter in function instruction", "1020 功能指令中缺少参数"},
    {1021, "1021 found mistaken network in ladder", "1021 PLC执行超时,系统自动停止PLC"},
    {1022, "1022 input function instruction name", "1022 请输入功能指令名"},
    {1023, "1023 NET error", "1023 存在有不必要的继电器或线圈"},
    {1024, "1024 unnecessary relay or coil exist", "1024 "},
    {1025, "1025 coil not correctly output", "1025 功能指令未正确输出"},
    {1026, "1026 not recover sequence program, clear all data", "1026 网络连接行数超出支持范围"},
    {1027, "1027 one symbol name defined in another place", "1027 同一输出地址被重复使用"},
    {1030, "1030 incorrect vertical line in NET", "1030 网络中有不正确的垂直线"},
    {1031, "1031 Data full, reducing COD instr. data capacity", "1031 用户数据区已满,请减少COD指令数据表容量"},
    {1032, "1032 First grade of ladder too big", "1032 梯形图的第一级太大,不能及时执行完毕"},
    {1033, "1033 SFT instruction exceeding max. capacity", "1033 SFT指令超出最大允许使用数"},
    {1034, "1034 DIFU/DIFD used mistakenly", "1034 功能指令DIFU/DIFD未正确使用"},
    {1039, "1039 instruction or NET outside the executable area", "1039 指令或网络不在可执行范围内"},
    {1040, "1040 CALL/SP/SPE used mistakenly", "1040 功能指令CALL/SP/SPE未正确使用"},
    {1041, "1041 the horizontal line with note had be parallel ", "1041 水平导通线与节点网络并联."},
};
// clang-format on
}  // namespace

bool isKnownErrorCode(int code) { return code >= 1001 && code <= 1041; }

QString errorText(int code, int language)
{
    for (const ErrorText& e : kErrorTexts)
        if (e.code == code)
            return QString::fromUtf8(language == 0 ? e.zh : e.en);
    // 1028, 1029 and 1035..1038 carry only their number.
    return QString::number(code) + QStringLiteral("      ");
}

QString formatErrorMessage(const ConvertError& error, int language)
{
    const QString head = language == 0
        ? QString::asprintf("梯图第%04d行  错误代号 ", error.line + 1)
        : QString::asprintf("Ladder the %04d Line, error code: ", error.line + 1);
    return head + errorText(error.code, language);
}

}  // namespace rungpad
