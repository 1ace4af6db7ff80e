#include "dialog/dialog_codes.h"

#include <utility>

namespace tav {

std::optional<ButtonSetLayout> LayoutOf(int32_t buttonSet) {
    switch (buttonSet) {
        case 0:
            return ButtonSetLayout{{"OK", "", ""}, 0};
        case 1:
            return ButtonSetLayout{{"Cancel", "OK", ""}, 1};
        case 2:
            return ButtonSetLayout{{"Ignore", "Retry", "Abort"}, 2};
        case 3:
            return ButtonSetLayout{{"Cancel", "No", "Yes"}, 2};
        case 4:
            return ButtonSetLayout{{"No", "Yes", ""}, 1};
        case 5:
            return ButtonSetLayout{{"Cancel", "Retry", ""}, 1};
        default:
            return std::nullopt;
    }
}

std::optional<int32_t> ResultForCaption(std::string_view caption) {
    static constexpr std::pair<std::string_view, DialogResult> kOrder[] = {
        {"OK", DialogResult::Ok},         {"Cancel", DialogResult::Cancel},
        {"Ignore", DialogResult::Ignore}, {"Retry", DialogResult::Retry},
        {"Abort", DialogResult::Abort},   {"No", DialogResult::No},
        {"Yes", DialogResult::Yes},
    };
    for (const auto& [text, result] : kOrder) {
        if (caption == text) return static_cast<int32_t>(result);
    }
    return std::nullopt;
}

}  // namespace tav
