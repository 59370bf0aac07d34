#include "monitor/split_text.h"

#include "common/gbk.h"

namespace quorvel {

std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> members;
    std::size_t memberStart = 0;
    std::size_t scan = 0;
    while (text.size() - scan >= separator.size()) {
        if (text.substr(scan, separator.size()) == separator) {
            members.push_back(text.substr(memberStart, scan - memberStart));
            scan += separator.size();
            memberStart = scan;
        } else if (IsLeadByte(text[scan])) {
            if (scan + 1 == text.size()) {
                break;
            }
            scan += 2;
        } else {
            ++scan;
        }
    }
    if (memberStart < text.size()) {
        members.push_back(text.substr(memberStart));
    }
    return members;
}

}  // namespace quorvel
