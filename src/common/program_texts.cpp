#include "common/program_texts.h"

#include "common/gbk.h"

namespace quorvel {
namespace {

ProgramTexts MakeTexts() {
    return ProgramTexts{
        .start = Utf8ToGbk("开始"),
        .stop = Utf8ToGbk("停止"),
        .online = Utf8ToGbk("在线"),
        .offline = Utf8ToGbk("离线"),
        .offlineLogTail = Utf8ToGbk("  离线\r\n"),
        .year = Utf8ToGbk("年"),
        .month = Utf8ToGbk("月"),
        .day = Utf8ToGbk("日"),
        .hour = Utf8ToGbk("时"),
        .minute = Utf8ToGbk("分"),
        .second = Utf8ToGbk("秒"),
        .columnItem = Utf8ToGbk("项目"),
        .columnStatus = Utf8ToGbk("状态"),
        .columnSpeed = Utf8ToGbk("速度"),
        .timeoutLabel = Utf8ToGbk("超时"),
        .intervalUnit = Utf8ToGbk("秒/次"),
        .quoteToken = Utf8ToGbk("#引号"),
        .errorMessage = Utf8ToGbk("发生错误 "),
        .errorTitle = Utf8ToGbk("消息"),
        .offerPrefix = Utf8ToGbk("发现新版:"),
        .offerTitle = Utf8ToGbk("在线更新:"),
        .noPingPermission =
            Utf8ToGbk("系统不允许本程序发送 ping：请执行 sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"，"
                      "或对本程序执行 setcap cap_net_raw+ep。\r\n"),
    };
}

}  // namespace

const ProgramTexts& Texts() {
    static const ProgramTexts texts = MakeTexts();
    return texts;
}

}  // namespace quorvel
