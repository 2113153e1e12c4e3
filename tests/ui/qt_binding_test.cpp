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

QRect geometryOf(QWidget* window, const char* name) {
    auto* w = window->findChild<QWidget*>(name);
    return w ? w->geometry() : QRect();
}

TEST_F(QtBinding, UpdaterWindowControlsSitWhereTheFormSays) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    EXPECT_EQ(window->findChild<QWidget*>("client")->size(), QSize(511, 265));
    EXPECT_EQ(geometryOf(window, "update"), QRect(8, 8, 75, 25));
    EXPECT_EQ(geometryOf(window, "stop"), QRect(8, 8, 75, 25));
    EXPECT_EQ(geometryOf(window, "identity"), QRect(10, 51, 493, 45));
    EXPECT_EQ(geometryOf(window, "banner"), QRect(13, 182, 484, 29));
    EXPECT_EQ(geometryOf(window, "biosLine"), QRect(13, 119, 484, 29));
    EXPECT_EQ(geometryOf(window, "boardDescription"), QRect(13, 156, 484, 20));
    EXPECT_EQ(geometryOf(window, "largeLogo"), QRect(396, 0, 109, 45));
    EXPECT_EQ(geometryOf(window, "progress"), QRect(8, 224, 497, 16));
    EXPECT_EQ(geometryOf(window, "statusBar"), QRect(0, 246, 511, 19));
    EXPECT_EQ(geometryOf(window, "statusBar.1"), QRect(50, 0, 130, 19));

    EXPECT_EQ(window->findChild<QPushButton*>("update")->text(), "&Update");
    EXPECT_EQ(window->findChild<QPushButton*>("stop")->text(), "&Stop");
    EXPECT_TRUE(window->findChild<QPushButton*>("stop")->isHidden());
    auto* label1 = window->findChild<QLabel*>("identity");
    EXPECT_EQ(label1->font().pixelSize(), 40);
    EXPECT_TRUE(label1->font().bold());
    EXPECT_EQ(window->findChild<QLabel*>("banner")->font().pixelSize(), 24);
    auto* menu = window->findChild<QAction*>("changePort");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->text(), "&Change port");
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
    banner.setColor(0x00FF8000); // blue in the third byte
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

TEST_F(QtBinding, UpgradeWindowButtonsSitInsideTheirPanel) {
    auto view = toolkit.createForm(app::kUpgradeForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    EXPECT_EQ(window->findChild<QWidget*>("client")->size(), QSize(606, 181));
    auto* start = window->findChild<QPushButton*>("start");
    EXPECT_EQ(start->parentWidget()->objectName(), "buttonPanel");
    EXPECT_EQ(start->geometry(), QRect(175, 25, 249, 65));
    EXPECT_EQ(start->text(), "START");
    EXPECT_EQ(start->font().pixelSize(), 33);
    EXPECT_EQ(geometryOf(window, "statusBar.3"), QRect(310, 0, 140, 29));
    view->statusBar(U::Status).setPanelText(1, "Search Device");
    EXPECT_EQ(view->statusBar(U::Status).panelText(1), "Search Device");
    EXPECT_EQ(window->findChild<QLabel*>("statusBar.1")->text(), "Search Device");
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

TEST_F(QtBinding, UnknownControlIdIsAProgrammingError) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    EXPECT_THROW(view->label(99), std::logic_error);
    EXPECT_THROW(view->button(W::Identity), std::logic_error); // an id of another kind
}

} // namespace
