// The dialog's visual style, kept as INI text in the resource library.
//
//   [ButtonBar]  GradientTop, GradientBottom, EdgeLight, EdgeDark
//   [Button]     GradientTop, GradientBottom, Border, Highlight, Text,
//                CornerRadius (pixels at 96 dpi)
//   [Button.Hot], [Button.Pressed], [Button.Disabled]
//                the same colour keys; a key left out keeps [Button]'s value
//   [Button.Default]  Border      [Button.Focus]  Color
//
// Colours are written "#RRGGBB". Names are not case-sensitive; lines that
// start with ";" are comments; unknown sections and keys are skipped so a
// newer style file still loads.
#pragma once

#include <string>
#include <string_view>

#include "platform/dialog_view.h"

namespace tav {

// The resource library next to the program and the style it holds.
inline constexpr const char* kStyleLibrary = "TAVri.dll";
inline constexpr const char* kStyleName = "Office2007Black.ini";

// Reads a style. Throws Failure 13 (Type mismatch) for a value that is not
// a colour or number, and Failure 5 when [ButtonBar] or [Button] is missing.
DialogStyle ParseDialogStyle(std::string_view ini);

}  // namespace tav
