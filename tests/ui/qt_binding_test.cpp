// The Qt binding, offscreen: forms built from their descriptions, captions with access keys,
// colours of the banner, events reaching the window unit.
#include "ui/qt/qt_toolkit.h"

#include "app/port_setup_dialog.h"
#include "app/updater_window.h"
#include "app/upgrade_window.h"
#include "app/version_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

namespace {

struct Recorder : ui::FormHandler {
    std::vector<std::pair<int, ui::Event>> events;
    void onEvent(int c, ui::Event e) override { events.emplace_back(c, e); }
};

using W = app::UpdaterWindow;
using U = app::UpgradeWindow;

class QtBinding : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "qt_binding_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    ui::qt::QtToolkit toolkit;
    Recorder handler;
};

const ui::FormDesc* const kForms[] = {&app::kUpdaterForm, &app::kUpgradeForm, &app::kPortSetupForm,
                                      &app::kVersionForm};

const char* nameOf(const ui::FormDesc& form, int id) {
    for (const ui::ControlDesc& c : form.controls)
        if (c.id == id) return c.name;
    return "";
}

// The status bar lies along the bottom edge, its panels side by side, the last one taking what
// the others leave.
void expectStatusBarAsDescribed(QWidget* window, const ui::FormDesc& form,
                                const ui::ControlDesc& c) {
    const int h = c.rect.height;
    EXPECT_EQ(window->findChild<QWidget*>(c.name)->geometry(),
              QRect(0, form.clientHeight - h, form.clientWidth, h));
    int x = 0;
    for (size_t i = 0; i < c.panelWidths.size(); ++i) {
        const bool last = i + 1 == c.panelWidths.size();
        const int w = last ? form.clientWidth - x : c.panelWidths[i];
        const std::string panel = std::string(c.name) + "." + std::to_string(i);
        EXPECT_EQ(window->findChild<QWidget*>(panel.c_str())->geometry(), QRect(x, 0, w, h))
            << panel;
        x += w;
    }
}

// Every control where its form's description puts it, in the parent it names, with its caption
// and its font.
TEST_F(QtBinding, EveryControlIsBuiltAsItsFormDescribesIt) {
    for (const ui::FormDesc* form : kForms) {
        SCOPED_TRACE(form->className);
        auto view = toolkit.createForm(*form, handler);
        QWidget* window = ui::qt::windowOf(*view);
        EXPECT_EQ(window->findChild<QWidget*>("client")->size(),
                  QSize(form->clientWidth, form->clientHeight));
        for (const ui::ControlDesc& c : form->controls) {
            SCOPED_TRACE(c.name);
            if (c.kind == ui::Kind::MenuCommand) {
                auto* command = window->findChild<QAction*>(c.name);
                ASSERT_NE(command, nullptr);
                EXPECT_EQ(command->text().toStdString(), c.caption);
                continue;
            }
            if (c.kind == ui::Kind::StatusBar) {
                expectStatusBarAsDescribed(window, *form, c);
                continue;
            }
            auto* widget = window->findChild<QWidget*>(c.name);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->geometry(),
                      QRect(c.rect.left, c.rect.top, c.rect.width, c.rect.height));
            EXPECT_EQ(widget->parentWidget()->objectName().toStdString(),
                      c.parent == ui::kNoParent ? "client" : nameOf(*form, c.parent));
            EXPECT_EQ(widget->isHidden(), !c.shown);
            EXPECT_EQ(widget->font().pixelSize(),
                      c.font.pixels ? c.font.pixels : form->font.pixels);
            EXPECT_EQ(widget->font().bold(), c.font.bold);
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                EXPECT_EQ(button->text().toStdString(), c.caption);
            }
        }
    }
}

TEST_F(QtBinding, BannerColoursAreTheColourValues) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    ui::Label& banner = view->label(W::Banner);
    banner.setText(" CHK Error !! ");
    banner.setColor(ui::kRed);
    banner.setFontColor(ui::kWhite);
    auto* label = window->findChild<QLabel*>("banner");
    EXPECT_EQ(label->text(), " CHK Error !! ");
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    banner.setColor(ui::kGreen);
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0, 128, 0));
    banner.setColor({0, 128, 255});
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0, 128, 255));
    banner.setColor(ui::kButtonFace);
    EXPECT_EQ(label->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
}

TEST_F(QtBinding, ClicksAndDoubleClicksReachTheWindowUnit) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    window->findChild<QPushButton*>("update")->click();
    window->findChild<QAction*>("changePort")->trigger();
    QLabel* identity = window->findChild<QLabel*>("identity");
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(5, 5),
                            identity->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(identity, &doubleClick);
    const std::vector<std::pair<int, ui::Event>> expected{{W::Update, ui::Event::Click},
                                                          {W::ChangePort, ui::Event::Click},
                                                          {W::Identity, ui::Event::DblClick}};
    EXPECT_EQ(handler.events, expected);
}

// The progress bar and the status bar take what they are told at the event loop's next pass,
// all of it, in order; what the window unit reads back is what it told them.
TEST_F(QtBinding, BarsTakeTheirChangesAtTheNextPassOfTheEventLoop) {
    auto view = toolkit.createForm(app::kUpgradeForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    ui::StatusBar& status = view->statusBar(U::Status);
    status.setPanelText(1, "Try 1");
    status.setPanelText(1, "Search Device");
    status.setPanelText(3, "not suitable apparatus");
    status.setPanelText(9, "nowhere"); // no such panel
    EXPECT_EQ(status.panelText(1), "Search Device");
    EXPECT_EQ(status.panelText(9), "");
    ui::ProgressBar& progress = view->progressBar(U::Progress);
    progress.setPosition(0);
    progress.setMax(250);
    progress.setPosition(200); // above the old maximum
    toolkit.processEvents();
    EXPECT_EQ(window->findChild<QLabel*>("statusBar.1")->text(), "Search Device");
    EXPECT_EQ(window->findChild<QLabel*>("statusBar.3")->text(), "not suitable apparatus");
    auto* bar = window->findChild<QProgressBar*>("progress");
    EXPECT_EQ(bar->maximum(), 250);
    EXPECT_EQ(bar->value(), 200);
    // A repaint asked for shows the text at once.
    status.setPanelText(1, "Resend 2");
    status.repaint();
    EXPECT_EQ(window->findChild<QLabel*>("statusBar.1")->text(), "Resend 2");
}

TEST_F(QtBinding, TextsAreNeverTakenForMarkup) {
    // A board describes itself with whatever 24 bytes it likes.
    for (const ui::FormDesc* desc : {&app::kUpdaterForm, &app::kUpgradeForm}) {
        auto view = toolkit.createForm(*desc, handler);
        QWidget* window = ui::qt::windowOf(*view);
        const int status = desc == &app::kUpdaterForm ? int(W::Status) : int(U::Status);
        view->statusBar(status).setPanelText(1, "<b>x</b>");
        const auto labels = window->findChildren<QLabel*>();
        ASSERT_FALSE(labels.empty());
        for (QLabel* label : labels) {
            if (!label->pixmap().isNull()) continue; // the logos
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    view->label(W::BoardDescription).setText("<h1>Rig</h1>&amp;");
    auto* label = ui::qt::windowOf(*view)->findChild<QLabel*>("boardDescription");
    EXPECT_EQ(label->text(), "<h1>Rig</h1>&amp;");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(QtBinding, EveryControlIsFoundByItsObjectName) {
    for (const ui::FormDesc* desc :
         {&app::kUpdaterForm, &app::kUpgradeForm, &app::kPortSetupForm, &app::kVersionForm}) {
        auto view = toolkit.createForm(*desc, handler);
        QWidget* window = ui::qt::windowOf(*view);
        EXPECT_EQ(window->objectName().toStdString(), desc->className);
        for (const ui::ControlDesc& c : desc->controls)
            EXPECT_EQ(window->findChildren<QObject*>(c.name).size(), 1)
                << desc->className << " " << c.name;
    }
}

// The form grows, its status bar keeps to the bottom edge, and a panel moved into the new room
// carries its controls. Hidden with the panel, they come back as they were: a control hidden on
// its own stays hidden.
TEST_F(QtBinding, FormGrowsAndPanelsCarryTheirControls) {
    auto view = toolkit.createForm(app::kUpgradeForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    QWidget* client = window->findChild<QWidget*>("client");
    view->form().show();
    view->form().setClientSize(900, 500);
    ui::Panel& panel = view->panel(U::ButtonPanel);
    panel.setRect({300, 250, 600, 120});
    toolkit.processEvents();
    EXPECT_EQ(client->size(), QSize(900, 500));
    EXPECT_EQ(window->size(), QSize(900, client->geometry().bottom() + 1));
    EXPECT_EQ(window->maximumSize(), window->size()); // fixed at its new size, not the old one
    ui::FormDesc grown = app::kUpgradeForm;
    grown.clientWidth = 900;
    grown.clientHeight = 500;
    for (const ui::ControlDesc& c : grown.controls)
        if (c.kind == ui::Kind::StatusBar) expectStatusBarAsDescribed(window, grown, c);

    QWidget* start = window->findChild<QWidget*>("start");
    QWidget* stop = window->findChild<QWidget*>("stop");
    EXPECT_EQ(window->findChild<QWidget*>("buttonPanel")->geometry(), QRect(300, 250, 600, 120));
    EXPECT_EQ(start->mapTo(client, QPoint(0, 0)), QPoint(300 + 175, 250 + 25));
    panel.setVisible(false);
    EXPECT_FALSE(start->isVisible());
    panel.setVisible(true);
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(stop->isVisible());
}

// Ticks come from the running event loop. None comes once the timer is gone: not when a tick
// destroys its own timer, nor when the timer was already due.
TEST_F(QtBinding, TimersTickInTheEventLoopUntilDestroyed) {
    auto view = toolkit.createForm(app::kVersionForm, handler);
    int closerTicks = 0, counterTicks = 0;
    std::unique_ptr<ui::Timer> closer = toolkit.every(5, [&] {
        if (++closerTicks < 3) return;
        closer.reset();
        view->form().close();
    });
    auto counter = toolkit.every(5, [&] { ++counterTicks; });
    auto watchdog = toolkit.every(5000, [&] { view->form().close(); });
    view->form().show();
    toolkit.run(*view);
    EXPECT_EQ(closerTicks, 3);
    EXPECT_GT(counterTicks, 0);
    QThread::msleep(20); // the counter is due again
    counter.reset();
    const int counted = counterTicks;
    auto closesLater = toolkit.every(50, [&] { view->form().close(); });
    view->form().show();
    toolkit.run(*view);
    EXPECT_EQ(closerTicks, 3);
    EXPECT_EQ(counterTicks, counted);
}

TEST_F(QtBinding, UnknownControlIdIsAProgrammingError) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    EXPECT_THROW(view->label(99), std::logic_error);
    EXPECT_THROW(view->button(W::Identity), std::logic_error); // an id of another kind
}

} // namespace
