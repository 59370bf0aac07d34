#pragma once

#include <string>

namespace quorvel {

// The program's own words, as GBK bytes. Written once in UTF-8 here and converted on first use.
struct ProgramTexts {
    std::string start;           // 开始
    std::string stop;            // 停止
    std::string online;          // 在线
    std::string offline;         // 离线
    std::string offlineLogTail;  // "  离线\r\n"
    std::string year;            // 年
    std::string month;           // 月
    std::string day;             // 日
    std::string hour;            // 时
    std::string minute;          // 分
    std::string second;          // 秒
    std::string columnItem;      // 项目
    std::string columnStatus;    // 状态
    std::string columnSpeed;     // 速度
    std::string timeoutLabel;    // 超时
    std::string intervalUnit;    // 秒/次
    std::string quoteToken;      // #引号
    std::string errorMessage;    // "发生错误 "
    std::string errorTitle;      // 消息
    std::string offerPrefix;     // 发现新版:
    std::string offerTitle;      // 在线更新:
    std::string noPingPermission;
};

[[nodiscard]] const ProgramTexts& Texts();

}  // namespace quorvel
