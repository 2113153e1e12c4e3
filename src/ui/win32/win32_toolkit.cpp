#include "ui/win32/win32_toolkit.h"

#include "ui/control_set.h"
#include "ui/dispatch.h"
#include "ui/win32/native.h"
#include "ui/win32/picture_window.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace ui::win32 {
namespace {

constexpr const char* kFormProperty = "TrevaneForm";
constexpr const char* kPanelClass = "TrevanePanel";
constexpr const char* kTimerClass = "TrevaneTimers";
constexpr int kFirstControlId = 100; // clear of IDOK and IDCANCEL, which the dialog manager sends

// A colour as the system's colour functions take it.
COLORREF toColorRef(ui::Color c) {
    switch (c.system) {
    case ui::Color::System::ButtonFace:
        return GetSysColor(COLOR_BTNFACE);
    case ui::Color::System::None:
        break;
    }
    return RGB(c.red, c.green, c.blue);
}

std::string windowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

bool hasStyle(HWND hwnd, LONG_PTR style) {
    return (GetWindowLongPtrA(hwnd, GWL_STYLE) & style) != 0;
}

void setStyle(HWND hwnd, LONG_PTR style, bool on) {
    LONG_PTR value = GetWindowLongPtrA(hwnd, GWL_STYLE);
    value = on ? (value | style) : (value & ~style);
    SetWindowLongPtrA(hwnd, GWL_STYLE, value);
}

// A frame that holds controls: their notifications go on to the form.
LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return SendMessageA(GetParent(hwnd), message, wParam, lParam);
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- widgets --------------------------------------------------------------------------------

struct Win32Label final : ui::Label {
    explicit Win32Label(HWND w) : w(w) {}
    ~Win32Label() override {
        if (brush) DeleteObject(brush);
    }
    HWND w;
    bool hasBackground = false, hasForeground = false;
    COLORREF background = 0, foreground = 0;
    HBRUSH brush = nullptr;
    void setText(std::string_view t) override { SetWindowTextA(w, std::string(t).c_str()); }
    std::string text() const override { return windowText(w); }
    void setVisible(bool v) override { ShowWindow(w, v ? SW_SHOWNA : SW_HIDE); }
    bool visible() const override { return hasStyle(w, WS_VISIBLE); }
    void setColor(ui::Color c) override {
        background = toColorRef(c);
        hasBackground = true;
        if (brush) DeleteObject(brush);
        brush = CreateSolidBrush(background);
        InvalidateRect(w, nullptr, TRUE);
    }
    void setFontColor(ui::Color c) override {
        foreground = toColorRef(c);
        hasForeground = true;
        InvalidateRect(w, nullptr, TRUE);
    }
    void repaint() override {
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }

    // WM_CTLCOLORSTATIC: the colours the label was given, else the system's.
    HBRUSH colors(HDC dc) const {
        if (!hasBackground && !hasForeground) return nullptr;
        SetTextColor(dc, hasForeground ? foreground : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, hasBackground ? background : GetSysColor(COLOR_BTNFACE));
        return hasBackground ? brush : GetSysColorBrush(COLOR_BTNFACE);
    }
};

struct Win32Button final : ui::Button {
    explicit Win32Button(HWND w) : w(w) {}
    HWND w;
    void setVisible(bool v) override { ShowWindow(w, v ? SW_SHOWNA : SW_HIDE); }
    bool visible() const override { return hasStyle(w, WS_VISIBLE); }
    void setEnabled(bool e) override { EnableWindow(w, e ? TRUE : FALSE); }
    void setFocus() override { SetFocus(w); }
};

struct Win32Menu final : ui::MenuCommand {
    Win32Menu(HWND form, HMENU menu, UINT id) : form(form), menu(menu), id(id) {}
    HWND form;
    HMENU menu;
    UINT id;
    void setEnabled(bool e) override {
        EnableMenuItem(menu, id, MF_BYCOMMAND | (e ? MF_ENABLED : MF_GRAYED));
        DrawMenuBar(form);
    }
    bool enabled() const override {
        return (GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
    }
};

// The progress bar and the status bar change with every frame of an update. They are told at
// the next pass of the event loop (at most one 5 ms step later, and before anything is painted)
// rather than at once: under wine each of these messages costs a round trip to the server, and
// made at once it would delay the next frame on the line.
struct Win32Progress final : ui::ProgressBar, DeferredWidget {
    explicit Win32Progress(HWND w) : w(w) {}
    HWND w;
    int maximum = 100, position = 0;
    bool rangeChanged = false, positionChanged = false;
    void setMax(int m) override {
        maximum = m;
        rangeChanged = true;
    }
    void setPosition(int p) override {
        position = p;
        positionChanged = true;
    }
    void setSmooth(bool s) override {
        setStyle(w, PBS_SMOOTH, s);
        InvalidateRect(w, nullptr, TRUE);
    }
    void flush() override {
        if (rangeChanged) SendMessageA(w, PBM_SETRANGE32, 0, maximum);
        if (positionChanged || rangeChanged)
            SendMessageA(w, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        rangeChanged = positionChanged = false;
    }
};

struct Win32Status final : ui::StatusBar, DeferredWidget {
    explicit Win32Status(HWND w, size_t panels) : w(w), texts(panels), changed(panels) {}
    HWND w;
    std::vector<std::string> texts;
    std::vector<bool> changed;
    void setPanelText(int i, std::string_view t) override {
        if (i < 0 || i >= static_cast<int>(texts.size())) return;
        texts[static_cast<size_t>(i)] = std::string(t);
        changed[static_cast<size_t>(i)] = true;
    }
    std::string panelText(int i) const override {
        if (i < 0 || i >= static_cast<int>(texts.size())) return {};
        return texts[static_cast<size_t>(i)];
    }
    void repaint() override {
        flush();
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    void flush() override {
        for (size_t i = 0; i < texts.size(); ++i) {
            if (!changed[i]) continue;
            SendMessageA(w, SB_SETTEXTA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(texts[i].c_str()));
            changed[i] = false;
        }
    }
};

// The messages of a drop-down list and of a list box differ only in their names.
struct ListMessages {
    UINT reset, add, count, textLength, text, current, setCurrent;
    LRESULT error;
};
constexpr ListMessages kComboMessages{CB_RESETCONTENT, CB_ADDSTRING, CB_GETCOUNT,  CB_GETLBTEXTLEN,
                                      CB_GETLBTEXT,    CB_GETCURSEL, CB_SETCURSEL, CB_ERR};
constexpr ListMessages kListMessages{LB_RESETCONTENT, LB_ADDSTRING, LB_GETCOUNT,  LB_GETTEXTLEN,
                                     LB_GETTEXT,      LB_GETCURSEL, LB_SETCURSEL, LB_ERR};

struct Win32List final : ui::ChoiceList {
    Win32List(HWND w, const ListMessages& m) : w(w), m(m) {}
    HWND w;
    const ListMessages& m;
    void clear() override { SendMessageA(w, m.reset, 0, 0); }
    void append(std::string_view t) override {
        const std::string text(t);
        SendMessageA(w, m.add, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    int count() const override { return static_cast<int>(SendMessageA(w, m.count, 0, 0)); }
    std::string text(int i) const override {
        if (i < 0 || i >= count()) return {};
        const LRESULT length = SendMessageA(w, m.textLength, static_cast<WPARAM>(i), 0);
        if (length == m.error) return {};
        std::string text(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(w, m.text, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        return text;
    }
    int selectedIndex() const override {
        const LRESULT i = SendMessageA(w, m.current, 0, 0);
        return i == m.error ? -1 : static_cast<int>(i);
    }
    void select(int i) override {
        SendMessageA(w, m.setCurrent, static_cast<WPARAM>(i >= 0 && i < count() ? i : -1), 0);
    }
};

struct Win32Picture final : ui::Picture {
    explicit Win32Picture(HWND w, PictureData data) : w(w), data(data) {}
    HWND w;
    PictureData data;
    void setVisible(bool v) override { ShowWindow(w, v ? SW_SHOWNA : SW_HIDE); }
    bool visible() const override { return hasStyle(w, WS_VISIBLE); }
};

struct Win32Panel final : ui::Panel {
    explicit Win32Panel(HWND w) : w(w) {}
    HWND w;
    void setRect(ui::Rect r) override {
        SetWindowPos(w, nullptr, scaled(r.left), scaled(r.top), scaled(r.width), scaled(r.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The controls inside keep their own visibility: hidden with the panel, not for good.
    void setVisible(bool v) override { ShowWindow(w, v ? SW_SHOWNA : SW_HIDE); }
    bool visible() const override { return hasStyle(w, WS_VISIBLE); }
};

class Win32FormView;

struct Win32Form final : ui::Form {
    explicit Win32Form(Win32FormView& view) : view(view) {}
    Win32FormView& view;
    void setCaption(std::string_view c) override;
    std::string caption() const override;
    void show() override;
    void hide() override;
    bool visible() const override;
    void close() override;
    void setClientSize(int width, int height) override;
};

// ---- forms ----------------------------------------------------------------------------------

class Win32FormView final : public ui::ControlSet {
public:
    Win32FormView(Win32Toolkit& toolkit, const ui::FormDesc& desc, ui::FormHandler& handler)
        : toolkit_(toolkit), handler_(handler), form_(*this) {
        createWindow(desc);
        int id = kFirstControlId;
        for (const ui::ControlDesc& c : desc.controls) {
            ++id; // the Win32 id; c.id is the window unit's
            if (c.kind == ui::Kind::MenuCommand) {
                addMenuCommand(c, id);
                continue;
            }
            const HWND made = addControl(c, id);
            commands_[id] = {c.id, c.kind};
            windows_[c.name] = made;
            const bool ownFont = c.font.family || c.font.pixels || c.font.bold;
            SendMessageA(
                made, WM_SETFONT,
                reinterpret_cast<WPARAM>(ownFont ? makeFont(c.font, desc.font) : formFont_), FALSE);
        }
        // Frames lie under the controls they surround.
        for (HWND frame : frames_)
            SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (menu_) DrawMenuBar(hwnd_);
    }

    ~Win32FormView() override {
        for (auto& [id, bar] : bars_)
            toolkit_.removeDeferred(static_cast<Win32Progress*>(bar.get()));
        for (auto& [id, bar] : statusBars_)
            toolkit_.removeDeferred(static_cast<Win32Status*>(bar.get()));
        RemovePropA(hwnd_, kFormProperty);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_); // the menu and the controls go with it
        for (HFONT font : fonts_)
            DeleteObject(font);
    }

    ui::Form& form() override { return form_; }

    HWND hwnd() const { return hwnd_; }
    HWND controlWindow(std::string_view n) const {
        const auto it = windows_.find(n);
        return it == windows_.end() ? nullptr : it->second;
    }
    bool isMain = false;

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_COMMAND: {
            const auto it = commands_.find(LOWORD(wParam));
            if (it == commands_.end()) break;
            const auto& [control, kind] = it->second;
            const WORD code = HIWORD(wParam);
            if (kind == ui::Kind::MenuCommand && lParam == 0 && code == 0)
                forward(control, ui::Event::Click);
            else if (kind == ui::Kind::Button && code == BN_CLICKED)
                forward(control, ui::Event::Click);
            else if (kind == ui::Kind::Label && code == STN_DBLCLK)
                forward(control, ui::Event::DblClick);
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            const auto it = labelsByWindow_.find(reinterpret_cast<HWND>(lParam));
            if (it == labelsByWindow_.end()) break;
            if (HBRUSH brush = it->second->colors(reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<LRESULT>(brush);
            break;
        }
        case WM_SIZE:
            if (statusWindow_) SendMessageA(statusWindow_, WM_SIZE, 0, 0);
            break;
        case WM_CLOSE: {
            bool accept = true;
            dispatchGuarded(toolkit_, [&] { accept = handler_.onCloseRequest(); });
            if (accept) {
                ShowWindow(hwnd_, SW_HIDE);
                if (isMain) toolkit_.requestQuit();
            }
            return 0;
        }
        default:
            break;
        }
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }

    void shown() {
        dispatchGuarded(toolkit_, [this] { handler_.onShow(); });
    }

private:
    void forward(int control, ui::Event event) {
        dispatchGuarded(toolkit_, [&] { handler_.onEvent(control, event); });
    }

    static HMENU controlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

    // The form's own window, with its menu bar when a control asks for one.
    void createWindow(const ui::FormDesc& desc) {
        registerWindowClass(desc.className, formProc);
        registerWindowClass(kPanelClass, panelProc);
        const bool hasMenu =
            std::any_of(desc.controls.begin(), desc.controls.end(),
                        [](const ui::ControlDesc& c) { return c.kind == ui::Kind::MenuCommand; });
        if (hasMenu) menu_ = CreateMenu();

        DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        DWORD exStyle = WS_EX_CONTROLPARENT;
        if (desc.minimizeBox) style |= WS_MINIMIZEBOX;
        if (desc.border == ui::Border::Dialog) exStyle |= WS_EX_DLGMODALFRAME;
        RECT outer{0, 0, scaled(desc.clientWidth), scaled(desc.clientHeight)};
        AdjustWindowRectEx(&outer, style, hasMenu ? TRUE : FALSE, exStyle);
        hwnd_ = CreateWindowExA(exStyle, desc.className, desc.caption, style, CW_USEDEFAULT,
                                CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                nullptr, menu_, instance(), this);
        if (!hwnd_) throw std::runtime_error(std::string("Cannot create ") + desc.className);
        SetPropA(hwnd_, kFormProperty, reinterpret_cast<HANDLE>(this));
        formFont_ = makeFont({}, desc.font);
        SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(formFont_), FALSE);
    }

    HWND addControl(const ui::ControlDesc& c, int id) {
        switch (c.kind) {
        case ui::Kind::Button:
            return addButton(c, id);
        case ui::Kind::Label:
            return addLabel(c, id);
        case ui::Kind::Picture:
            return addPicture(c, id);
        case ui::Kind::ProgressBar:
            return addProgressBar(c, id);
        case ui::Kind::StatusBar:
            return addStatusBar(c, id);
        case ui::Kind::ComboBox:
            return addComboBox(c, id);
        case ui::Kind::ListBox:
            return addListBox(c, id);
        case ui::Kind::Frame:
            return addFrame(c, id);
        case ui::Kind::Panel:
            return addPanel(c, id);
        case ui::Kind::MenuCommand:
            break;
        }
        throw std::logic_error(std::string("no window for ") + c.name);
    }

    HWND addButton(const ui::ControlDesc& c, int id) {
        const HWND made = control("BUTTON", c, childStyle(c) | WS_TABSTOP | BS_PUSHBUTTON, 0, id);
        buttons_[c.id] = std::make_unique<Win32Button>(made);
        return made;
    }

    HWND addLabel(const ui::ControlDesc& c, int id) {
        const DWORD align = c.align == ui::Align::Center ? SS_CENTER : SS_LEFT;
        const HWND made =
            control("STATIC", c, childStyle(c) | SS_NOTIFY | SS_NOPREFIX | align, 0, id);
        auto label = std::make_unique<Win32Label>(made);
        labelsByWindow_[made] = label.get();
        labels_[c.id] = std::move(label);
        return made;
    }

    HWND addPicture(const ui::ControlDesc& c, int id) {
        auto picture =
            std::make_unique<Win32Picture>(nullptr, PictureData{pictureNamed(c.caption), c.scaled});
        picture->w =
            createPictureWindow(parentOf(c), placeOf(c), childStyle(c), id, &picture->data);
        if (!picture->w) throw std::runtime_error(std::string("Cannot create ") + c.name);
        const HWND made = picture->w;
        pictures_[c.id] = std::move(picture);
        return made;
    }

    HWND addProgressBar(const ui::ControlDesc& c, int id) {
        const HWND made = control(PROGRESS_CLASSA, c, childStyle(c), 0, id);
        SendMessageA(made, PBM_SETRANGE32, 0, 100);
        SendMessageA(made, PBM_SETPOS, 0, 0);
        auto bar = std::make_unique<Win32Progress>(made);
        toolkit_.addDeferred(bar.get());
        bars_[c.id] = std::move(bar);
        return made;
    }

    // Along the form's bottom edge, its height from the description, the last panel taking
    // what the others leave.
    HWND addStatusBar(const ui::ControlDesc& c, int id) {
        const HWND made = CreateWindowExA(0, STATUSCLASSNAMEA, "", childStyle(c), 0, 0, 0, 0, hwnd_,
                                          controlId(id), instance(), nullptr);
        if (!made) throw std::runtime_error(std::string("Cannot create ") + c.name);
        SendMessageA(made, SB_SETMINHEIGHT, static_cast<WPARAM>(scaled(c.rect.height)), 0);
        SendMessageA(made, WM_SIZE, 0, 0);
        std::vector<int> edges;
        int right = 0;
        for (size_t i = 0; i < c.panelWidths.size(); ++i) {
            right += scaled(c.panelWidths[i]);
            edges.push_back(i + 1 == c.panelWidths.size() ? -1 : right);
        }
        SendMessageA(made, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        auto status = std::make_unique<Win32Status>(made, c.panelWidths.size());
        toolkit_.addDeferred(status.get());
        statusBars_[c.id] = std::move(status);
        statusWindow_ = made;
        return made;
    }

    HWND addComboBox(const ui::ControlDesc& c, int id) {
        // The height of a drop-down list is that of its opened list.
        ui::ControlDesc opened = c;
        opened.rect.height = std::max(c.rect.height, 200);
        const HWND made = control(
            "COMBOBOX", opened,
            childStyle(c) | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0, id);
        lists_[c.id] = std::make_unique<Win32List>(made, kComboMessages);
        return made;
    }

    HWND addListBox(const ui::ControlDesc& c, int id) {
        const HWND made =
            control("LISTBOX", c,
                    childStyle(c) | WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
                    WS_EX_CLIENTEDGE, id);
        lists_[c.id] = std::make_unique<Win32List>(made, kListMessages);
        return made;
    }

    HWND addFrame(const ui::ControlDesc& c, int id) {
        const HWND made = control("STATIC", c, childStyle(c) | SS_SUNKEN, 0, id);
        frames_.push_back(made);
        return made;
    }

    HWND addPanel(const ui::ControlDesc& c, int id) {
        const HWND made = control(kPanelClass, c, childStyle(c) | WS_BORDER,
                                  WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, id);
        panels_[c.id] = std::make_unique<Win32Panel>(made);
        return made;
    }

    void addMenuCommand(const ui::ControlDesc& c, int id) {
        AppendMenuA(menu_, MF_STRING, static_cast<UINT_PTR>(id), c.caption);
        menus_[c.id] = std::make_unique<Win32Menu>(hwnd_, menu_, static_cast<UINT>(id));
        commands_[id] = {c.id, ui::Kind::MenuCommand};
    }

    HWND parentOf(const ui::ControlDesc& c) const {
        if (c.parent == ui::kNoParent) return hwnd_;
        return static_cast<const Win32Panel&>(*panels_.at(c.parent)).w;
    }

    static DWORD childStyle(const ui::ControlDesc& c) {
        return WS_CHILD | WS_CLIPSIBLINGS | (c.shown ? WS_VISIBLE : 0);
    }

    static RECT placeOf(const ui::ControlDesc& c) {
        const int left = scaled(c.rect.left), top = scaled(c.rect.top);
        return {left, top, left + scaled(c.rect.width), top + scaled(c.rect.height)};
    }

    HWND control(const char* cls, const ui::ControlDesc& c, DWORD style, DWORD exStyle, int id) {
        const RECT place = placeOf(c);
        HWND w = CreateWindowExA(exStyle, cls, c.caption ? c.caption : "", style, place.left,
                                 place.top, place.right - place.left, place.bottom - place.top,
                                 parentOf(c), controlId(id), instance(), nullptr);
        if (!w) throw std::runtime_error(std::string("Cannot create ") + c.name);
        return w;
    }

    HFONT makeFont(const ui::Font& font, const ui::Font& formFont) {
        const char* family = font.family ? font.family : formFont.family;
        const int pixels = font.pixels ? font.pixels : formFont.pixels;
        const bool fixed = family && std::string_view(family) == "Courier";
        HFONT made = CreateFontA(
            -scaled(pixels > 0 ? pixels : 11), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
            FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
            static_cast<DWORD>(fixed ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE),
            family ? family : "MS Sans Serif");
        fonts_.push_back(made);
        return made;
    }

    Win32Toolkit& toolkit_;
    ui::FormHandler& handler_;
    Win32Form form_;
    HWND hwnd_ = nullptr;
    HMENU menu_ = nullptr;
    HWND statusWindow_ = nullptr;
    HFONT formFont_ = nullptr;
    std::vector<HFONT> fonts_;
    std::vector<HWND> frames_;
    std::map<std::string, HWND, std::less<>> windows_; // by object name, for tests
    std::map<int, std::pair<int, ui::Kind>> commands_;
    std::map<HWND, Win32Label*> labelsByWindow_;
};

LRESULT CALLBACK formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<Win32FormView*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    // Before the view has its window (messages sent during creation), defaults apply.
    if (view == nullptr || view->hwnd() != hwnd)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    return view->handle(message, wParam, lParam);
}

void Win32Form::setCaption(std::string_view c) {
    SetWindowTextA(view.hwnd(), std::string(c).c_str());
}
std::string Win32Form::caption() const {
    return windowText(view.hwnd());
}
void Win32Form::show() {
    if (IsWindowVisible(view.hwnd())) {
        ShowWindow(view.hwnd(), SW_RESTORE);
        BringWindowToTop(view.hwnd());
        SetForegroundWindow(view.hwnd());
        return;
    }
    ShowWindow(view.hwnd(), SW_SHOW);
    UpdateWindow(view.hwnd());
    view.shown();
}
void Win32Form::hide() {
    ShowWindow(view.hwnd(), SW_HIDE);
}
bool Win32Form::visible() const {
    return IsWindowVisible(view.hwnd()) != FALSE;
}
void Win32Form::close() {
    SendMessageA(view.hwnd(), WM_CLOSE, 0, 0);
}
void Win32Form::setClientSize(int width, int height) {
    const HWND w = view.hwnd();
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(w, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(w, GWL_EXSTYLE));
    RECT outer{0, 0, scaled(width), scaled(height)};
    AdjustWindowRectEx(&outer, style, GetMenu(w) ? TRUE : FALSE, exStyle);
    // The status bar follows through WM_SIZE.
    SetWindowPos(w, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The owner of a message box: the active form, if one is.
HWND boxOwner() {
    HWND active = GetActiveWindow();
    return active && GetPropA(active, kFormProperty) ? active : nullptr;
}

} // namespace

// The repeating timers: WM_TIMER messages of a hidden message-only window, which every message
// loop of the thread dispatches, a message box's own included. A stopped timer's message may
// already wait in the queue, so a tick is looked up when its message comes.
class Win32Toolkit::Timers {
public:
    explicit Timers(Win32Toolkit& toolkit) : toolkit_(toolkit) {
        registerWindowClass(kTimerClass, procedure);
        window_ = CreateWindowExA(0, kTimerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance(), nullptr);
        if (!window_) throw std::runtime_error("Cannot create the timer window");
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Timers() { DestroyWindow(window_); }
    Timers(const Timers&) = delete;
    Timers& operator=(const Timers&) = delete;

    UINT_PTR start(int ms, std::function<void()> tick) {
        const UINT_PTR id = ++lastId_; // never reused, so no late message finds another tick
        if (!SetTimer(window_, id, static_cast<UINT>(std::max(ms, 0)), nullptr))
            throw std::runtime_error("Cannot start a timer");
        ticks_[id] = std::make_shared<std::function<void()>>(std::move(tick));
        return id;
    }
    void stop(UINT_PTR id) {
        KillTimer(window_, id);
        ticks_.erase(id);
    }

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* timers = reinterpret_cast<Timers*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (message != WM_TIMER || !timers) return DefWindowProcA(hwnd, message, wParam, lParam);
        const auto it = timers->ticks_.find(wParam);
        if (it == timers->ticks_.end()) return 0;
        const auto tick = it->second; // kept, should the tick stop its own timer
        dispatchGuarded(timers->toolkit_, *tick);
        return 0;
    }

    Win32Toolkit& toolkit_;
    HWND window_ = nullptr;
    UINT_PTR lastId_ = 0;
    std::map<UINT_PTR, std::shared_ptr<std::function<void()>>> ticks_;
};

namespace {

struct Win32Timer final : ui::Timer {
    Win32Timer(Win32Toolkit::Timers& timers, UINT_PTR id) : timers(timers), id(id) {}
    ~Win32Timer() override { timers.stop(id); }
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;
    Win32Toolkit::Timers& timers;
    UINT_PTR id;
};

} // namespace

Win32Toolkit::Win32Toolkit() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    timers_ = std::make_unique<Timers>(*this);
}

Win32Toolkit::~Win32Toolkit() = default;

std::unique_ptr<ui::FormView> Win32Toolkit::createForm(const ui::FormDesc& desc,
                                                       ui::FormHandler& handler) {
    return std::make_unique<Win32FormView>(*this, desc, handler);
}

void Win32Toolkit::route(void* message) {
    MSG& msg = *static_cast<MSG*>(message);
    // Keys go through the dialog manager of their form, so Alt access keys and Tab work.
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && GetPropA(root, kFormProperty) && IsDialogMessageA(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void Win32Toolkit::removeDeferred(DeferredWidget* widget) {
    deferred_.erase(std::remove(deferred_.begin(), deferred_.end(), widget), deferred_.end());
}

void Win32Toolkit::flushDeferred() {
    for (DeferredWidget* widget : deferred_)
        widget->flush();
}

void Win32Toolkit::processEvents() {
    flushDeferred();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam)); // for whichever loop ends the program
            return;
        }
        route(&msg);
    }
}

void Win32Toolkit::requestQuit() {
    quit_ = true;
    PostMessageA(nullptr, WM_NULL, 0, 0); // wakes the waiting loop, which then sees the flag
}

void Win32Toolkit::messageBox(std::string_view text, std::string_view caption,
                              ui::MessageBoxStyle style) {
    // Also on the standard error, for whoever started the program from a terminal or a script.
    std::fprintf(stderr, "trevane: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    flushDeferred(); // the windows behind the box show what they hold
    UINT flags = MB_OK;
    if (style == ui::MessageBoxStyle::TopMost) flags |= MB_TOPMOST | MB_SETFOREGROUND;
    MessageBoxA(boxOwner(), std::string(text).c_str(), std::string(caption).c_str(), flags);
}

bool Win32Toolkit::ask(std::string_view text, std::string_view caption) {
    std::fprintf(stderr, "trevane: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    flushDeferred();
    return MessageBoxA(boxOwner(), std::string(text).c_str(), std::string(caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void Win32Toolkit::beep() {
    MessageBeep(MB_ICONWARNING);
}

std::unique_ptr<ui::Timer> Win32Toolkit::every(int ms, std::function<void()> tick) {
    return std::make_unique<Win32Timer>(*timers_, timers_->start(ms, std::move(tick)));
}

void Win32Toolkit::setApplicationTitle(std::string_view title) {
    // Windows shows each window's own caption on the task bar; the title is kept for callers.
    applicationTitle_ = std::string(title);
}

void Win32Toolkit::run(ui::FormView& mainForm) {
    auto& view = static_cast<Win32FormView&>(mainForm);
    view.isMain = true;
    quit_ = false;
    if (!IsWindowVisible(view.hwnd())) return;
    MSG msg;
    while (!quit_) {
        flushDeferred(); // what the last handler changed, before the loop sleeps
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        route(&msg);
    }
}

void* windowOf(ui::FormView& view) {
    return static_cast<Win32FormView&>(view).hwnd();
}

void* controlOf(ui::FormView& view, std::string_view name) {
    return static_cast<Win32FormView&>(view).controlWindow(name);
}

} // namespace ui::win32
