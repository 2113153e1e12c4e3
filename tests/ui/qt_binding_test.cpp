// The Qt binding, offscreen: forms built from their descriptions, captions with access keys,
// colours of the banner, events reaching the window unit.
#include "ui/qt/qt_toolkit.h"

#include "app/trevane.h"
#include "app/zedir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

namespace {

struct Recorder : ui::FormHandler {
    std::vector<std::pair<std::string, ui::Event>> events;
    void onEvent(std::string_view c, ui::Event e) override { events.emplace_back(c, e); }
};

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
    EXPECT_EQ(geometryOf(window, "Button1"), QRect(8, 8, 75, 25));
    EXPECT_EQ(geometryOf(window, "Button2"), QRect(8, 8, 75, 25));
    EXPECT_EQ(geometryOf(window, "Label1"), QRect(10, 51, 493, 45));
    EXPECT_EQ(geometryOf(window, "Label2"), QRect(13, 182, 484, 29));
    EXPECT_EQ(geometryOf(window, "Label3"), QRect(13, 119, 484, 29));
    EXPECT_EQ(geometryOf(window, "Label4"), QRect(13, 156, 484, 20));
    EXPECT_EQ(geometryOf(window, "Image1"), QRect(396, 0, 109, 45));
    EXPECT_EQ(geometryOf(window, "ProgressBar1"), QRect(8, 224, 497, 16));
    EXPECT_EQ(geometryOf(window, "StatusBar1"), QRect(0, 246, 511, 19));
    EXPECT_EQ(geometryOf(window, "StatusBar1.1"), QRect(50, 0, 130, 19));

    EXPECT_EQ(window->findChild<QPushButton*>("Button1")->text(), "&Update");
    EXPECT_EQ(window->findChild<QPushButton*>("Button2")->text(), "&Stop");
    EXPECT_TRUE(window->findChild<QPushButton*>("Button2")->isHidden());
    auto* label1 = window->findChild<QLabel*>("Label1");
    EXPECT_EQ(label1->font().pixelSize(), 40);
    EXPECT_TRUE(label1->font().bold());
    EXPECT_EQ(window->findChild<QLabel*>("Label2")->font().pixelSize(), 24);
    auto* menu = window->findChild<QAction*>("S1");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->text(), "&Change port");
}

TEST_F(QtBinding, BannerColoursAreTheColourValues) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    ui::Label& banner = view->label("Label2");
    banner.setText(" CHK Error !! ");
    banner.setColor(ui::kRed);
    banner.setFontColor(ui::kWhite);
    auto* label = window->findChild<QLabel*>("Label2");
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
    window->findChild<QPushButton*>("Button1")->click();
    window->findChild<QAction*>("S1")->trigger();
    ASSERT_EQ(handler.events.size(), 2u);
    EXPECT_EQ(handler.events[0].first, "Button1");
    EXPECT_EQ(handler.events[1].first, "S1");
    EXPECT_EQ(handler.events[1].second, ui::Event::Click);
}

TEST_F(QtBinding, UpgradeWindowButtonsSitInsideTheirPanel) {
    auto view = toolkit.createForm(app::kUpgradeForm, handler);
    QWidget* window = ui::qt::windowOf(*view);
    EXPECT_EQ(window->findChild<QWidget*>("client")->size(), QSize(606, 181));
    auto* start = window->findChild<QPushButton*>("Button1");
    EXPECT_EQ(start->parentWidget()->objectName(), "Panel1");
    EXPECT_EQ(start->geometry(), QRect(175, 25, 249, 65));
    EXPECT_EQ(start->text(), "START");
    EXPECT_EQ(start->font().pixelSize(), 33);
    EXPECT_EQ(geometryOf(window, "StatusBar1.3"), QRect(310, 0, 140, 29));
    view->statusBar("StatusBar1").setPanelText(1, "Search Device");
    EXPECT_EQ(view->statusBar("StatusBar1").panelText(1), "Search Device");
}

TEST_F(QtBinding, TextsAreNeverTakenForMarkup) {
    // A board describes itself with whatever 24 bytes it likes.
    for (const ui::FormDesc* desc : {&app::kUpdaterForm, &app::kUpgradeForm}) {
        auto view = toolkit.createForm(*desc, handler);
        QWidget* window = ui::qt::windowOf(*view);
        view->statusBar("StatusBar1").setPanelText(1, "<b>x</b>");
        const auto labels = window->findChildren<QLabel*>();
        ASSERT_FALSE(labels.empty());
        for (QLabel* label : labels) {
            if (!label->pixmap().isNull()) continue; // the logos
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    view->label("Label4").setText("<h1>Rig</h1>&amp;");
    auto* label = ui::qt::windowOf(*view)->findChild<QLabel*>("Label4");
    EXPECT_EQ(label->text(), "<h1>Rig</h1>&amp;");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(QtBinding, UnknownControlNameIsAProgrammingError) {
    auto view = toolkit.createForm(app::kUpdaterForm, handler);
    EXPECT_THROW(view->label("Label9"), std::logic_error);
    EXPECT_THROW(view->button("Label1"), std::logic_error);
}

} // namespace
