// Toolkit-neutral widget interfaces. The window units are written against these; each
// front end (Qt, Win32) binds them to real widgets, and the tests bind them to fakes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ui {

// A colour by its red, green and blue, or one of the system's own colours, which each toolkit
// takes from its current theme.
struct Color {
    enum class System : std::uint8_t { None, ButtonFace };
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    System system = System::None; // when set, red, green and blue are not used

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color kRed{255, 0, 0};
inline constexpr Color kGreen{0, 128, 0};
inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kBlack{0, 0, 0};
// The face of buttons and dialogs, on which the neutral result line stands.
inline constexpr Color kButtonFace{0, 0, 0, Color::System::ButtonFace};

// A place in a parent's client area, in design pixels.
struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual void setText(std::string_view text) = 0;
    virtual std::string text() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool visible() const = 0;
    virtual void setColor(Color background) = 0;
    virtual void setFontColor(Color foreground) = 0;
    virtual void repaint() = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual void setVisible(bool visible) = 0;
    virtual bool visible() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setFocus() = 0;
};

class MenuCommand {
public:
    virtual ~MenuCommand() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual void setMax(int maximum) = 0;
    virtual void setPosition(int position) = 0;
    virtual void setSmooth(bool smooth) = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;
    virtual void setPanelText(int index, std::string_view text) = 0;
    virtual std::string panelText(int index) const = 0;
    virtual void repaint() = 0;
};

// A drop-down or list box: the same operations serve both.
class ChoiceList {
public:
    virtual ~ChoiceList() = default;
    virtual void clear() = 0;
    virtual void append(std::string_view text) = 0;
    virtual int count() const = 0;
    virtual std::string text(int index) const = 0;
    virtual int selectedIndex() const = 0; // -1 when nothing is selected
    virtual void select(int index) = 0;
};

class Picture {
public:
    virtual ~Picture() = default;
    virtual void setVisible(bool visible) = 0;
    virtual bool visible() const = 0;
};

// A container of other controls: they are placed inside it, move with it and are hidden with it.
// A control hidden on its own stays hidden when its panel is shown again.
class Panel {
public:
    virtual ~Panel() = default;
    virtual void setRect(Rect rect) = 0; // in its parent's client coordinates
    virtual void setVisible(bool visible) = 0;
    virtual bool visible() const = 0;
};

class Form {
public:
    virtual ~Form() = default;
    virtual void setCaption(std::string_view caption) = 0;
    virtual std::string caption() const = 0;
    virtual void show() = 0; // modeless; brings an already visible form to the front
    virtual void hide() = 0;
    virtual bool visible() const = 0;
    virtual void close() = 0; // asks the form to close, as its title-bar button would
    // The client area takes that size; the window around it follows.
    virtual void setClientSize(int width, int height) = 0;
};

} // namespace ui
