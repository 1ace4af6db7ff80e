// The dialog's codes: the style word's button sets, image kinds and
// default-button flags, and the results. They use the classic message box's
// numbers, so callers can keep the style words they know.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tav {

// Bits 0 to 3 of the style word. Codes 6 to 15 show no button.
enum class DialogButtonSet : int32_t {
    OkOnly = 0,
    OkCancel = 1,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
    YesNo = 4,
    RetryCancel = 5,
};

// Bits 4 to 7 of the style word; any other value shows no image.
enum class DialogImageKind : int32_t {
    Alert = 0x10,
    Question = 0x20,
    Warning = 0x30,
    Information = 0x40,
    PleaseWait = 0x80,
};

// The code a dialog ends with (besides the caller's time-out result).
enum class DialogResult : int32_t {
    Ok = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
};

// The style word of a dialog with this image and these buttons.
constexpr int32_t DialogStyleWord(DialogImageKind image,
                                  DialogButtonSet buttons = DialogButtonSet::OkOnly) {
    return static_cast<int32_t>(image) | static_cast<int32_t>(buttons);
}

inline constexpr int32_t kImageKindMask = 0xF0;
inline constexpr int32_t kButtonSetMask = 0x0F;
// Default-button flags: they name slots, not positions within a set.
inline constexpr int32_t kDefaultSlot1 = 0x100;
inline constexpr int32_t kDefaultSlot2 = 0x200;

// The icons the dialog window carries.
inline constexpr int32_t kIconWarning = 100;
inline constexpr int32_t kIconError = 101;
inline constexpr int32_t kIconInformation = 102;
inline constexpr int32_t kIconQuestion = 103;
inline constexpr int32_t kIconHourglass = 104;

struct ImageKindInfo {
    DialogImageKind kind;
    int32_t iconId;
    std::string_view word;  // the headline when the request has none
};

// In the order the dialog tests them.
inline constexpr std::array<ImageKindInfo, 5> kImageKinds{{
    {DialogImageKind::PleaseWait, kIconHourglass, "Please Wait"},
    {DialogImageKind::Information, kIconInformation, "Information"},
    {DialogImageKind::Warning, kIconWarning, "Warning"},
    {DialogImageKind::Question, kIconQuestion, "Question"},
    {DialogImageKind::Alert, kIconError, "Alert"},
}};

// Captions by slot (0 right, 1 middle, 2 left; empty = slot unused) and the
// slot that is the set's default.
struct ButtonSetLayout {
    std::array<std::string_view, 3> captions;
    int16_t defaultSlot;
};

// The layout of button-set codes 0 to 5; none for other codes.
std::optional<ButtonSetLayout> LayoutOf(int32_t buttonSet);

// The result a button with this caption gives; none for other captions.
std::optional<int32_t> ResultForCaption(std::string_view caption);

}  // namespace tav
