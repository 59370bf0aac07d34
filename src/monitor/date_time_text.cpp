#include "monitor/date_time_text.h"

#include "common/program_texts.h"

namespace quorvel {

std::string DateTimeText(const LocalDateTime& when) {
    const ProgramTexts& texts = Texts();
    std::string text = std::to_string(when.year) + texts.year + std::to_string(when.month) + texts.month +
                       std::to_string(when.day) + texts.day;
    // Trailing zero fields are left out, so midnight shows the date alone.
    const int shownFields = when.second != 0 ? 3 : when.minute != 0 ? 2 : when.hour != 0 ? 1 : 0;
    const int values[] = {when.hour, when.minute, when.second};
    const std::string* units[] = {&texts.hour, &texts.minute, &texts.second};
    for (int i = 0; i < shownFields; ++i) {
        text += std::to_string(values[i]) + *units[i];
    }
    return text;
}

}  // namespace quorvel
