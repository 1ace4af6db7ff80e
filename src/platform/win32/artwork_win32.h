// The program's artwork, kept as PNG resources and decoded by the
// system's imaging component.
#pragma once

#include "platform/win32/unique_handle.h"

namespace tav::win32 {

// Decodes the PNG resource id (type RCDATA) of the program into a
// premultiplied 32-bit top-down DIB for AlphaBlend; none when it is
// missing or cannot be decoded.
UniqueGdi LoadPngResource(int id, int& width, int& height);

}  // namespace tav::win32
