// Constant descriptions of the windows: what each binding reads to create its widgets, so the
// geometry, captions and fonts are written once for every front end.
#pragma once

#include "ui/widgets.h"

#include <span>
#include <string_view>

namespace ui {

enum class Kind {
    Button,
    Label,
    Picture, // logo picture; caption names the picture resource
    ProgressBar,
    StatusBar, // panels: widths in panelWidths
    ComboBox,  // drop-down choice list
    ListBox,
    Frame,       // lowered bevel around other controls
    Panel,       // raised frame that holds other controls (child coordinates are inside it)
    MenuCommand, // the form's one-command main menu
};

enum class Align { Left, Center };

struct Font {
    const char* family = nullptr; // nullptr: the form's default font
    int pixels = 0;               // 0: the form's default size
    bool bold = false;
};

inline constexpr int kNoParent = -1;

struct ControlDesc {
    Kind kind;
    int id;              // the window unit's own number for it: events and lookups use it
    const char* name;    // its object name, by which tests and screenshots find it ("update")
    const char* caption; // text with its '&' access-key mark, or empty
    Rect rect;           // in the parent's client coordinates; StatusBar: height only
    Font font{};
    bool shown = true;
    Align align = Align::Left;
    int parent = kNoParent; // id of the Panel that holds this control
    std::span<const int> panelWidths{};
    bool scaled = false; // Picture: scaled proportionally rather than centred
};

enum class Border { Single, Dialog };

struct FormDesc {
    const char* className; // "UpdaterWindow"
    const char* caption;   // design-time caption; the window unit usually replaces it
    int clientWidth;
    int clientHeight;
    Font font;
    Border border;
    bool minimizeBox;
    std::span<const ControlDesc> controls;
};

// Events a binding forwards to its window unit, with the control's id.
enum class Event { Click, DblClick };

} // namespace ui
