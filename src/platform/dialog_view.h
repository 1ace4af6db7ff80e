// The message dialog's window, seen from its logic.
//
// The logic (dialog/frmDialog) decides everything; a view only carries out
// what it is told and reports what the user did. All positions and sizes are
// twips (1440 per inch); colours are 0x00BBGGRR values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tav {

// An image that can draw itself onto a view's drawing surface.
class DialogImage {
public:
    virtual ~DialogImage() = default;
    // Draws into the area (x, y, width, height) of surface, in the
    // surface's own units; flags are reserved and passed as 0.
    virtual void Draw(uintptr_t surface, int32_t x, int32_t y, int32_t width, int32_t height,
                      int32_t flags) = 0;
};

// Top and bottom colour of a vertical gradient.
struct Gradient {
    uint32_t top = 0;
    uint32_t bottom = 0;
};

// How a button looks in one state.
struct ButtonFace {
    Gradient fill;
    uint32_t border = 0;
    uint32_t highlight = 0;  // the inner line just inside the border
    uint32_t text = 0;
};

// The dialog's visual style: its button bar and buttons.
struct DialogStyle {
    Gradient bar;
    uint32_t barEdgeDark = 0;   // the bar's outer top line
    uint32_t barEdgeLight = 0;  // the highlight just below it
    ButtonFace normal;
    ButtonFace hot;
    ButtonFace pressed;
    ButtonFace disabled;
    uint32_t defaultBorder = 0;  // the default button's frame
    uint32_t focus = 0;          // the keyboard focus mark
    int32_t cornerRadius = 0;    // pixels at 96 dpi
};

// What the user and the window's life do to the dialog; the view calls
// these on the user-interface thread.
class DialogEvents {
public:
    virtual ~DialogEvents() = default;
    virtual void Form_Activate() = 0;
    virtual void ISTimer_Timer() = 0;
    virtual void cmdOption_Click(int16_t index) = 0;
    // The system's close command (close box, Alt+F4, Escape).
    virtual void SystemClose() = 0;
};

inline constexpr int kDialogButtonSlots = 3;

// One loaded dialog window. Icon, PictureSurface, LoadStyleResource, an
// image's Draw and a button operation on a slot the window lacks throw
// tav::Failure; the other operations cannot fail.
class DialogView {
public:
    virtual ~DialogView() = default;

    // The window, outer edges, on the screen.
    virtual int32_t Left() = 0;
    virtual int32_t Top() = 0;
    virtual int32_t Width() = 0;
    virtual int32_t Height() = 0;
    virtual void SetLeft(int32_t twips) = 0;
    virtual void SetTop(int32_t twips) = 0;
    virtual void SetHeight(int32_t twips) = 0;
    virtual std::string Caption() = 0;
    virtual void SetCaption(const std::string& text) = 0;
    // Repaints the finished window.
    virtual void Refresh() = 0;

    // The button bar and the separator line above it, client twips.
    virtual int32_t PanelTop() = 0;
    virtual void SetPanelTop(int32_t twips) = 0;
    virtual int32_t LineY1() = 0;
    virtual int32_t LineY2() = 0;
    virtual void SetLineY1(int32_t twips) = 0;
    virtual void SetLineY2(int32_t twips) = 0;

    virtual void SetMessageText(const std::string& text) = 0;
    virtual void SetContentText(const std::string& text) = 0;
    // Where the body text starts, client twips, and how tall it is as drawn
    // in the font it is shown in, wrapped at its width.
    virtual int32_t ContentTop() = 0;
    virtual int32_t ContentTextHeight() = 0;

    // The 32 x 32 picture box.
    virtual void ShowPicture() = 0;
    // Its drawing surface, 32 x 32 units, kept until the window unloads.
    virtual uintptr_t PictureSurface() = 0;
    // One of the window's own icons (ids 100 to 104) at the given width.
    virtual std::shared_ptr<DialogImage> Icon(int32_t id, int32_t width) = 0;

    // Button slot 0 is the rightmost, 2 the leftmost.
    virtual bool ButtonVisible(int16_t slot) = 0;
    virtual void SetButtonVisible(int16_t slot, bool visible) = 0;
    virtual std::string ButtonCaption(int16_t slot) = 0;
    virtual void SetButtonCaption(int16_t slot, const std::string& text) = 0;
    // Makes the slot the one default button.
    virtual void SetDefaultButton(int16_t slot) = 0;

    // The countdown timer; a disabled timer does not tick. Setting the
    // interval of an enabled timer starts its period afresh.
    virtual void SetTimerInterval(uint32_t ms) = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;

    // The text of a style stored in a resource library, read as data.
    virtual std::string LoadStyleResource(const std::string& libraryPath,
                                          const std::string& styleName) = 0;
    // Draws the button bar and buttons in the style from now on.
    virtual void ApplyStyle(const DialogStyle& style) = 0;

    // Shows the window modally with no owner; returns once it has unloaded.
    virtual void ShowModal() = 0;
    // Hides the window at once; the window itself is freed once none of
    // its handlers runs any more.
    virtual void Unload() = 0;
};

// Makes dialog windows.
class DialogViews {
public:
    virtual ~DialogViews() = default;
    // Readies the system's common controls; called once per dialog object.
    virtual void InitCommonControls() = 0;
    // Loads a new dialog window in its designed state, reporting to events.
    virtual std::shared_ptr<DialogView> Load(DialogEvents& events) = 0;
};

}  // namespace tav
