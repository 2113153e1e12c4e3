// The Win32 binding with the program's own form descriptions: what each control is made of, and
// that user actions reach the window unit's handler by control id.
#include "app/port_setup_dialog.h"
#include "app/updater_window.h"
#include "app/upgrade_window.h"
#include "app/version_dialog.h"
#include "ui/win32/win32_toolkit.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Recorder : ui::FormHandler {
    std::vector<std::pair<int, ui::Event>> events;
    int shows = 0;
    int closeRequests = 0;
    bool allowClose = true;
    void onEvent(int control, ui::Event event) override { events.emplace_back(control, event); }
    void onShow() override { ++shows; }
    bool onCloseRequest() override {
        ++closeRequests;
        return allowClose;
    }
};

using Events = std::vector<std::pair<int, ui::Event>>;
using W = app::UpdaterWindow;
using U = app::UpgradeWindow;
using D = app::PortSetupDialog;

HWND hwndOf(ui::FormView& view) {
    return static_cast<HWND>(ui::win32::windowOf(view));
}
HWND controlHwnd(ui::FormView& view, const char* name) {
    return static_cast<HWND>(ui::win32::controlOf(view, name));
}

int scaled(int pixels) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return MulDiv(pixels, dpi, 96);
}

// A control's place in its parent's client area.
RECT placeOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

const ui::FormDesc* const kForms[] = {&app::kUpdaterForm, &app::kUpgradeForm, &app::kPortSetupForm,
                                      &app::kVersionForm};

const ui::ControlDesc* controlOfKind(const ui::FormDesc& form, ui::Kind kind) {
    for (const ui::ControlDesc& c : form.controls)
        if (c.kind == kind) return &c;
    return nullptr;
}

const char* nameOf(const ui::FormDesc& form, int id) {
    for (const ui::ControlDesc& c : form.controls)
        if (c.id == id) return c.name;
    return "";
}

class Binding : public ::testing::Test {
protected:
    ui::win32::Win32Toolkit toolkit;
    Recorder handler;
};

// Every control with a window of its own where its form's description puts it, in design pixels
// scaled to the screen, inside the parent it names. A drop-down list is as high as it wants to
// be; the status bar places itself along the bottom edge.
TEST_F(Binding, EveryControlSitsWhereItsFormDescribesIt) {
    for (const ui::FormDesc* form : kForms) {
        SCOPED_TRACE(form->className);
        auto view = toolkit.createForm(*form, handler);
        RECT client;
        GetClientRect(hwndOf(*view), &client);
        EXPECT_EQ(client.right, scaled(form->clientWidth));
        EXPECT_EQ(client.bottom, scaled(form->clientHeight));
        for (const ui::ControlDesc& c : form->controls) {
            if (c.kind == ui::Kind::MenuCommand || c.kind == ui::Kind::StatusBar) continue;
            SCOPED_TRACE(c.name);
            const HWND control = controlHwnd(*view, c.name);
            ASSERT_NE(control, nullptr);
            const RECT place = placeOf(control);
            EXPECT_EQ(place.left, scaled(c.rect.left));
            EXPECT_EQ(place.top, scaled(c.rect.top));
            EXPECT_EQ(place.right - place.left, scaled(c.rect.width));
            if (c.kind != ui::Kind::ComboBox) {
                EXPECT_EQ(place.bottom - place.top, scaled(c.rect.height));
            }
            EXPECT_EQ(GetParent(control), c.parent == ui::kNoParent
                                              ? hwndOf(*view)
                                              : controlHwnd(*view, nameOf(*form, c.parent)));
        }
    }
}

TEST_F(Binding, UpdaterFormIsBuiltHiddenFromItsDescription) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    const HWND form = hwndOf(*view);
    char cls[32] = {};
    GetClassNameA(form, cls, sizeof cls);
    EXPECT_STREQ(cls, "UpdaterWindow");
    EXPECT_FALSE(view->form().visible());
    EXPECT_EQ(handler.shows, 0);

    EXPECT_TRUE(view->button(W::Update).visible());
    EXPECT_FALSE(view->button(W::Stop).visible());
    EXPECT_FALSE(view->label(W::Banner).visible());
    EXPECT_TRUE(view->picture(W::LargeLogo).visible());
    EXPECT_FALSE(view->picture(W::SmallLogo).visible());
    EXPECT_THROW(view->button(99), std::logic_error);
    EXPECT_THROW(view->label(W::Update), std::logic_error); // a name of another kind

    view->form().setCaption("Updater 2.7 - test");
    EXPECT_EQ(view->form().caption(), "Updater 2.7 - test");
    char caption[64] = {};
    GetWindowTextA(form, caption, sizeof caption);
    EXPECT_STREQ(caption, "Updater 2.7 - test");
}

TEST_F(Binding, ShowingRunsTheShowHandlerOnlyWhenTheFormWasHidden) {
    auto view = toolkit.createForm(app::kPortSetupForm, handler);
    view->form().show();
    EXPECT_TRUE(view->form().visible());
    view->form().show(); // already visible: brought to the front only
    EXPECT_EQ(handler.shows, 1);
    view->form().hide();
    EXPECT_FALSE(view->form().visible());
    view->form().show();
    EXPECT_EQ(handler.shows, 2);
}

TEST_F(Binding, ClicksDoubleClicksAndTheMenuCommandReachTheHandlerByName) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    SendMessageA(controlHwnd(*view, "update"), BM_CLICK, 0, 0);
    const HWND label = controlHwnd(*view, "identity");
    SendMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, 0); // a single click is no event
    SendMessageA(label, WM_LBUTTONUP, 0, 0);
    SendMessageA(label, WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
    const HMENU menu = GetMenu(hwndOf(*view));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    const UINT command = GetMenuItemID(menu, 0);
    SendMessageA(hwndOf(*view), WM_COMMAND, MAKEWPARAM(command, 0), 0);

    EXPECT_EQ(handler.events, (Events{{W::Update, ui::Event::Click},
                                      {W::Identity, ui::Event::DblClick},
                                      {W::ChangePort, ui::Event::Click}}));

    view->menu(W::ChangePort).setEnabled(false);
    EXPECT_FALSE(view->menu(W::ChangePort).enabled());
    EXPECT_NE(GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED, 0u);
    view->menu(W::ChangePort).setEnabled(true);
    EXPECT_TRUE(view->menu(W::ChangePort).enabled());
}

TEST_F(Binding, AltAccessKeysPressTheVisibleButtonThroughTheMessageLoop) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    view->form().show();
    SetFocus(controlHwnd(*view, "update"));
    const HWND focus = GetFocus();
    ASSERT_NE(focus, nullptr);
    const LPARAM altDown = 1 | (1 << 29);
    // Alt+S: "&Stop" is hidden, so nothing is pressed; Alt+U presses "&Update".
    for (char key : {'s', 'u'}) {
        PostMessageA(focus, WM_SYSCHAR, static_cast<WPARAM>(key), altDown);
        toolkit.processEvents();
    }
    EXPECT_EQ(handler.events, (Events{{W::Update, ui::Event::Click}}));
}

TEST_F(Binding, ButtonsInsideAPanelReportToTheForm) {
    auto view = toolkit.createForm(app::kUpgradeForm, handler);
    const HWND start = controlHwnd(*view, "start");
    EXPECT_EQ(GetParent(start), controlHwnd(*view, "buttonPanel"));
    SendMessageA(start, BM_CLICK, 0, 0);
    view->button(U::Start).setVisible(false);
    view->button(U::Stop).setVisible(true);
    EXPECT_FALSE(view->button(U::Start).visible());
    SendMessageA(controlHwnd(*view, "stop"), BM_CLICK, 0, 0);
    EXPECT_EQ(handler.events, (Events{{U::Start, ui::Event::Click}, {U::Stop, ui::Event::Click}}));
}

TEST_F(Binding, LabelsPaintInTheColoursTheyAreGiven) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    const HWND form = hwndOf(*view);
    const HWND banner = controlHwnd(*view, "banner");
    struct Case {
        ui::Color background, foreground;
        COLORREF expectBack, expectText;
    };
    const Case cases[] = {
        {ui::kRed, ui::kWhite, RGB(255, 0, 0), RGB(255, 255, 255)},
        {ui::kGreen, ui::kWhite, RGB(0, 128, 0), RGB(255, 255, 255)},
        {{0, 128, 255}, {10, 20, 30}, RGB(0, 128, 255), RGB(10, 20, 30)},
        {ui::kButtonFace, ui::kBlack, GetSysColor(COLOR_BTNFACE), RGB(0, 0, 0)},
    };
    for (const Case& c : cases) {
        view->label(W::Banner).setColor(c.background);
        view->label(W::Banner).setFontColor(c.foreground);
        HDC dc = GetDC(banner);
        const LRESULT brush = SendMessageA(form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                           reinterpret_cast<LPARAM>(banner));
        EXPECT_NE(brush, 0);
        EXPECT_EQ(GetBkColor(dc), c.expectBack);
        EXPECT_EQ(GetTextColor(dc), c.expectText);
        ReleaseDC(banner, dc);
    }
    view->label(W::Banner).setText(" Program Ok ");
    EXPECT_EQ(view->label(W::Banner).text(), " Program Ok ");
    view->label(W::Banner).setVisible(true);
    EXPECT_TRUE(view->label(W::Banner).visible());
}

TEST_F(Binding, StatusBarPanelsAndProgressBar) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    const HWND bar = controlHwnd(*view, "statusBar");
    const ui::ControlDesc& described = *controlOfKind(app::kUpdaterForm, ui::Kind::StatusBar);
    int edges[8] = {};
    ASSERT_EQ(SendMessageA(bar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)),
              static_cast<LRESULT>(described.panelWidths.size()));
    int right = 0;
    for (size_t i = 0; i + 1 < described.panelWidths.size(); ++i) {
        right += described.panelWidths[i];
        EXPECT_EQ(edges[i], scaled(right)) << i;
    }
    EXPECT_EQ(edges[described.panelWidths.size() - 1], -1); // the last takes the rest

    ui::StatusBar& status = view->statusBar(W::Status);
    status.setPanelText(1, "Try 3");
    status.setPanelText(9, "nowhere"); // no such panel: ignored
    EXPECT_EQ(status.panelText(1), "Try 3");
    EXPECT_EQ(status.panelText(9), "");
    toolkit.processEvents(); // the native controls are told at the next pass of the event loop
    char text[32] = {};
    SendMessageA(bar, SB_GETTEXTA, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Try 3");

    const HWND progress = controlHwnd(*view, "progress");
    EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 100);
    view->progressBar(W::Progress).setPosition(42);
    toolkit.processEvents();
    EXPECT_EQ(SendMessageA(progress, PBM_GETPOS, 0, 0), 42);
    view->progressBar(W::Progress).setMax(250);
    view->progressBar(W::Progress).setPosition(200); // above the old range: set after it
    toolkit.processEvents();
    EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 250);
    EXPECT_EQ(SendMessageA(progress, PBM_GETPOS, 0, 0), 200);
}

TEST_F(Binding, ChoiceListsDropDownAndListBox) {
    auto setup = toolkit.createForm(app::kPortSetupForm, handler);
    Recorder versionHandler;
    auto version = toolkit.createForm(app::kVersionForm, versionHandler);
    for (ui::ChoiceList* list :
         {&setup->choiceList(D::Ports), &version->choiceList(app::VersionDialog::Images)}) {
        list->append("COM1 port");
        list->append("Prolific USB (COM4)");
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->text(1), "Prolific USB (COM4)");
        EXPECT_EQ(list->text(2), "");
        EXPECT_EQ(list->selectedIndex(), -1);
        list->select(1);
        EXPECT_EQ(list->selectedIndex(), 1);
        list->select(5); // out of range: nothing selected
        EXPECT_EQ(list->selectedIndex(), -1);
        list->clear();
        EXPECT_EQ(list->count(), 0);
    }
    char cls[32] = {};
    GetClassNameA(controlHwnd(*setup, "ports"), cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "ComboBox");
    EXPECT_NE(GetWindowLongA(controlHwnd(*setup, "ports"), GWL_STYLE) & CBS_DROPDOWNLIST, 0);
    GetClassNameA(controlHwnd(*version, "images"), cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "ListBox");
}

TEST_F(Binding, EveryControlWithAWindowIsFoundByItsObjectName) {
    for (const ui::FormDesc* desc :
         {&app::kUpdaterForm, &app::kUpgradeForm, &app::kPortSetupForm, &app::kVersionForm}) {
        auto view = toolkit.createForm(*desc, handler);
        char cls[32] = {};
        GetClassNameA(hwndOf(*view), cls, sizeof cls);
        EXPECT_STREQ(cls, desc->className);
        for (const ui::ControlDesc& c : desc->controls) {
            const HWND control = controlHwnd(*view, c.name);
            // The menu command is an item of the form's menu, not a window.
            EXPECT_EQ(control == nullptr, c.kind == ui::Kind::MenuCommand)
                << desc->className << " " << c.name;
            if (control) {
                EXPECT_TRUE(IsChild(hwndOf(*view), control)) << c.name;
            }
        }
        EXPECT_EQ(controlHwnd(*view, "noSuchControl"), nullptr);
    }
}

TEST_F(Binding, CloseAsksTheHandlerAndTheMainFormEndsTheLoop) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    view->form().show();
    handler.allowClose = false;
    view->form().close();
    EXPECT_TRUE(view->form().visible());
    handler.allowClose = true;
    view->form().close();
    EXPECT_FALSE(view->form().visible());
    EXPECT_EQ(handler.closeRequests, 2);

    // The loop runs until the main form closes, here by the title-bar button's message.
    view->form().show();
    PostMessageA(hwndOf(*view), WM_CLOSE, 0, 0);
    toolkit.run(*view);
    EXPECT_TRUE(toolkit.quitting());
    EXPECT_FALSE(view->form().visible());
    EXPECT_EQ(handler.closeRequests, 3);
}

// The form grows to the client size it is given, menu bar and border outside it; a panel moved
// into the new room carries its controls. Hidden with the panel, they come back as they were: a
// control hidden on its own stays hidden.
TEST_F(Binding, FormGrowsAndPanelsCarryTheirControls) {
    auto view = toolkit.createForm(app::kUpgradeForm, handler);
    view->form().show();
    view->form().setClientSize(900, 500);
    RECT client;
    GetClientRect(hwndOf(*view), &client);
    EXPECT_EQ(client.right, scaled(900));
    EXPECT_EQ(client.bottom, scaled(500));

    const HWND start = controlHwnd(*view, "start");
    const HWND stop = controlHwnd(*view, "stop");
    RECT before, after;
    GetWindowRect(start, &before);
    ui::Panel& panel = view->panel(U::ButtonPanel);
    panel.setRect({300, 250, 600, 120});
    GetWindowRect(start, &after);
    const RECT place = placeOf(controlHwnd(*view, "buttonPanel"));
    EXPECT_EQ(place.left, scaled(300));
    EXPECT_EQ(place.top, scaled(250));
    EXPECT_EQ(place.bottom - place.top, scaled(120));
    EXPECT_EQ(after.left - before.left, scaled(300) - scaled(8));
    EXPECT_EQ(after.top - before.top, scaled(250) - scaled(8));

    panel.setVisible(false);
    EXPECT_FALSE(IsWindowVisible(start));
    panel.setVisible(true);
    EXPECT_TRUE(IsWindowVisible(start));
    EXPECT_FALSE(IsWindowVisible(stop));
}

// Ticks come from the running event loop. None comes once the timer is gone: not when a tick
// destroys its own timer, nor when the timer was already due.
TEST_F(Binding, TimersTickInTheEventLoopUntilDestroyed) {
    auto view = toolkit.createForm(app::kVersionForm, handler);
    int closerTicks = 0, counterTicks = 0;
    std::unique_ptr<ui::Timer> closer = toolkit.every(10, [&] {
        if (++closerTicks < 3) return;
        closer.reset();
        view->form().close();
    });
    auto counter = toolkit.every(10, [&] { ++counterTicks; });
    auto watchdog = toolkit.every(5000, [&] { view->form().close(); });
    view->form().show();
    toolkit.run(*view);
    EXPECT_EQ(closerTicks, 3);
    EXPECT_GT(counterTicks, 0);
    Sleep(30); // the counter is due again
    counter.reset();
    const int counted = counterTicks;
    auto closesLater = toolkit.every(50, [&] { view->form().close(); });
    view->form().show();
    toolkit.run(*view);
    EXPECT_EQ(closerTicks, 3);
    EXPECT_EQ(counterTicks, counted);
}

} // namespace
