#include "ui/qt/qt_toolkit.h"

#include "ui/control_set.h"
#include "ui/dispatch.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/pictures/logo_large.xpm"
#include "ui/pictures/logo_small.xpm"

namespace ui::qt {
namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QColor toQColor(ui::Color c) {
    switch (c.system) {
    case ui::Color::System::ButtonFace:
        return QApplication::palette().color(QPalette::Button);
    case ui::Color::System::None:
        break;
    }
    return QColor(c.red, c.green, c.blue);
}

QFont toQFont(const ui::Font& font, const ui::Font& formFont) {
    const char* family = font.family ? font.family : formFont.family;
    QFont f(family ? QString::fromLatin1(family) : QApplication::font().family());
    if (family && std::string_view(family) == "Courier") f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(font.pixels ? font.pixels : formFont.pixels);
    f.setBold(font.bold);
    return f;
}

QPixmap pictureNamed(std::string_view name) {
    if (name == "logo-large") return QPixmap(logo_large_xpm);
    if (name == "logo-small") return QPixmap(logo_small_xpm);
    return {};
}

// The top-level window of every form: forwards show and close to the window unit.
class FormWindow : public QMainWindow {
public:
    FormWindow(ui::Toolkit& toolkit, ui::FormHandler& handler)
        : toolkit_(toolkit), handler_(handler) {}
    bool isMain = false;

protected:
    void showEvent(QShowEvent* e) override {
        QMainWindow::showEvent(e);
        if (!e->spontaneous()) dispatchGuarded(toolkit_, [this] { handler_.onShow(); });
    }
    void closeEvent(QCloseEvent* e) override {
        bool accept = true;
        dispatchGuarded(toolkit_, [&] { accept = handler_.onCloseRequest(); });
        if (!accept) {
            e->ignore();
            return;
        }
        e->accept();
        if (isMain) QCoreApplication::quit();
    }

private:
    ui::Toolkit& toolkit_;
    ui::FormHandler& handler_;
};

class DoubleClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onDoubleClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (onDoubleClick) onDoubleClick();
        QLabel::mouseDoubleClickEvent(e);
    }
};

struct QtLabel final : ui::Label {
    explicit QtLabel(QLabel* w) : w(w) {
        w->setAutoFillBackground(false);
        // Texts come from the board too: never taken for markup.
        w->setTextFormat(Qt::PlainText);
    }
    QLabel* w;
    void setText(std::string_view t) override { w->setText(qs(t)); }
    std::string text() const override { return w->text().toStdString(); }
    void setVisible(bool v) override { w->setVisible(v); }
    bool visible() const override { return !w->isHidden(); }
    void setColor(ui::Color c) override {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, toQColor(c));
        w->setPalette(p);
        w->setAutoFillBackground(true);
    }
    void setFontColor(ui::Color c) override {
        QPalette p = w->palette();
        p.setColor(QPalette::WindowText, toQColor(c));
        w->setPalette(p);
    }
    void repaint() override { w->repaint(); }
};

struct QtButton final : ui::Button {
    explicit QtButton(QPushButton* w) : w(w) {}
    QPushButton* w;
    void setVisible(bool v) override { w->setVisible(v); }
    bool visible() const override { return !w->isHidden(); }
    void setEnabled(bool e) override { w->setEnabled(e); }
    void setFocus() override { w->setFocus(Qt::OtherFocusReason); }
};

struct QtMenu final : ui::MenuCommand {
    explicit QtMenu(QAction* a) : a(a) {}
    QAction* a;
    void setEnabled(bool e) override { a->setEnabled(e); }
    bool enabled() const override { return a->isEnabled(); }
};

// The bar moves with every frame of an update, and a QProgressBar repaints at once whenever its
// value changes visibly: between the board's answer to one frame and the sending of the next.
// The bar is therefore told at the event loop's next pass, which comes while the next frame is
// on the line; the changes made until then reach it together.
struct QtProgress final : ui::ProgressBar {
    explicit QtProgress(QProgressBar* w) : w(w) {}
    QProgressBar* w;
    int maximum = 100, position = 0;
    bool pending = false;
    void setMax(int m) override {
        maximum = m;
        deferToEventLoop();
    }
    void setPosition(int p) override {
        position = p;
        deferToEventLoop();
    }
    void setSmooth(bool) override {} // Qt draws a continuous bar in every style we use

    void deferToEventLoop() {
        if (pending) return;
        pending = true;
        // Dropped with the bar, should the form go first; a zero time-out only posts the call.
        QTimer::singleShot(0, w, [this] { apply(); });
    }
    void apply() {
        pending = false;
        w->setMaximum(maximum);
        w->setValue(position);
    }
};

// The activity panel names every frame of an update; its label takes the text at the event
// loop's next pass, as the progress bar does.
struct QtStatus final : ui::StatusBar {
    std::vector<QLabel*> panels;
    std::vector<int> widths;
    std::vector<std::string> texts;
    std::vector<bool> changed;
    QWidget* bar = nullptr;
    int height = 0;
    bool pending = false;
    void setPanelText(int i, std::string_view t) override {
        if (i < 0 || i >= static_cast<int>(panels.size())) return;
        texts[static_cast<size_t>(i)] = std::string(t);
        changed[static_cast<size_t>(i)] = true;
        if (pending) return;
        pending = true;
        QTimer::singleShot(0, bar, [this] { apply(); });
    }
    std::string panelText(int i) const override {
        if (i < 0 || i >= static_cast<int>(panels.size())) return {};
        return texts[static_cast<size_t>(i)];
    }
    void repaint() override {
        apply();
        bar->repaint();
    }
    void apply() {
        pending = false;
        for (size_t i = 0; i < panels.size(); ++i) {
            if (changed[i]) panels[i]->setText(qs(texts[i]));
            changed[i] = false;
        }
    }
    // Along the client area's bottom edge, the last panel taking what the others leave.
    void place(int clientWidth, int clientHeight) {
        bar->setGeometry(0, clientHeight - height, clientWidth, height);
        int x = 0;
        for (size_t i = 0; i < panels.size(); ++i) {
            const int w = i + 1 == panels.size() ? clientWidth - x : widths[i];
            panels[i]->setGeometry(x, 0, w, height);
            x += w;
        }
    }
};

struct QtCombo final : ui::ChoiceList {
    explicit QtCombo(QComboBox* w) : w(w) {}
    QComboBox* w;
    void clear() override { w->clear(); }
    void append(std::string_view t) override { w->addItem(qs(t)); }
    int count() const override { return w->count(); }
    std::string text(int i) const override {
        return (i >= 0 && i < w->count()) ? w->itemText(i).toStdString() : std::string();
    }
    int selectedIndex() const override { return w->currentIndex(); }
    void select(int i) override { w->setCurrentIndex(i >= 0 && i < w->count() ? i : -1); }
};

struct QtListBox final : ui::ChoiceList {
    explicit QtListBox(QListWidget* w) : w(w) {}
    QListWidget* w;
    void clear() override { w->clear(); }
    void append(std::string_view t) override { w->addItem(qs(t)); }
    int count() const override { return w->count(); }
    std::string text(int i) const override {
        return (i >= 0 && i < w->count()) ? w->item(i)->text().toStdString() : std::string();
    }
    int selectedIndex() const override { return w->currentRow(); }
    void select(int i) override { w->setCurrentRow(i >= 0 && i < w->count() ? i : -1); }
};

struct QtPicture final : ui::Picture {
    explicit QtPicture(QLabel* w) : w(w) {}
    QLabel* w;
    void setVisible(bool v) override { w->setVisible(v); }
    bool visible() const override { return !w->isHidden(); }
};

struct QtPanel final : ui::Panel {
    explicit QtPanel(QFrame* w) : w(w) {}
    QFrame* w;
    void setRect(ui::Rect r) override { w->setGeometry(r.left, r.top, r.width, r.height); }
    void setVisible(bool v) override { w->setVisible(v); }
    bool visible() const override { return !w->isHidden(); }
};

class QtFormView;

struct QtForm final : ui::Form {
    QtForm(FormWindow* w, QtFormView& view) : w(w), view(view) {}
    FormWindow* w;
    QtFormView& view;
    void setCaption(std::string_view c) override { w->setWindowTitle(qs(c)); }
    std::string caption() const override { return w->windowTitle().toStdString(); }
    void show() override {
        if (w->isVisible()) {
            w->raise();
            w->activateWindow();
        } else {
            w->show();
        }
    }
    void hide() override { w->hide(); }
    bool visible() const override { return w->isVisible(); }
    void close() override { w->close(); }
    void setClientSize(int width, int height) override;
};

class QtFormView final : public ui::ControlSet {
public:
    QtFormView(ui::Toolkit& toolkit, const ui::FormDesc& desc, ui::FormHandler& handler)
        : toolkit_(toolkit), handler_(handler), desc_(desc),
          window_(new FormWindow(toolkit, handler)), form_(window_, *this) {
        createWindow();
        for (const ui::ControlDesc& c : desc.controls) {
            QWidget* made = addControl(c);
            if (!made) continue; // placed already, or no widget of its own
            made->setObjectName(c.name);
            made->setGeometry(c.rect.left, c.rect.top, c.rect.width, c.rect.height);
            if (c.font.family || c.font.pixels || c.font.bold)
                made->setFont(toQFont(c.font, desc.font));
            made->setVisible(c.shown);
        }
        fitWindow();
    }

    ~QtFormView() override { delete window_; }

    ui::Form& form() override { return form_; }

    FormWindow* window() { return window_; }

    void setClientSize(int width, int height) {
        client_->setFixedSize(width, height);
        for (auto& [id, status] : statusBars_)
            static_cast<QtStatus&>(*status).place(width, height);
        fitWindow();
    }

private:
    // The window takes the size its client area and menu bar need, and keeps it.
    void fitWindow() {
        window_->adjustSize();
        window_->setFixedSize(window_->sizeHint());
    }

    // The top-level window and its client area of the designed size.
    void createWindow() {
        window_->setObjectName(desc_.className);
        window_->setWindowTitle(QString::fromUtf8(desc_.caption));
        Qt::WindowFlags flags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
        flags |= desc_.border == ui::Border::Dialog ? Qt::Dialog : Qt::Window;
        if (desc_.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
        window_->setWindowFlags(flags);

        client_ = new QWidget(window_);
        client_->setObjectName("client");
        client_->setFixedSize(desc_.clientWidth, desc_.clientHeight);
        client_->setFont(toQFont({}, desc_.font));
        window_->setCentralWidget(client_);
    }

    // The widget to place as the description says; nullptr for a control placed otherwise.
    QWidget* addControl(const ui::ControlDesc& c) {
        switch (c.kind) {
        case ui::Kind::Button:
            return addButton(c);
        case ui::Kind::Label:
            return addLabel(c);
        case ui::Kind::Picture:
            return addPicture(c);
        case ui::Kind::ProgressBar:
            return addProgressBar(c);
        case ui::Kind::StatusBar:
            addStatusBar(c);
            return nullptr;
        case ui::Kind::ComboBox:
            return addComboBox(c);
        case ui::Kind::ListBox:
            return addListBox(c);
        case ui::Kind::Frame:
        case ui::Kind::Panel:
            return addFrame(c);
        case ui::Kind::MenuCommand:
            addMenuCommand(c);
            return nullptr;
        }
        return nullptr;
    }

    QWidget* addButton(const ui::ControlDesc& c) {
        auto* b = new QPushButton(QString::fromUtf8(c.caption), parentOf(c));
        QObject::connect(b, &QPushButton::clicked, b, forwarder(c.id, ui::Event::Click));
        buttons_[c.id] = std::make_unique<QtButton>(b);
        return b;
    }

    QWidget* addLabel(const ui::ControlDesc& c) {
        auto* l = new DoubleClickLabel(QString::fromUtf8(c.caption), parentOf(c));
        l->onDoubleClick = forwarder(c.id, ui::Event::DblClick);
        if (c.align == ui::Align::Center) l->setAlignment(Qt::AlignCenter);
        labels_[c.id] = std::make_unique<QtLabel>(l);
        return l;
    }

    QWidget* addPicture(const ui::ControlDesc& c) {
        auto* l = new QLabel(parentOf(c));
        QPixmap pixmap = pictureNamed(c.caption);
        if (c.scaled && !pixmap.isNull())
            pixmap = pixmap.scaled(c.rect.width, c.rect.height, Qt::KeepAspectRatio,
                                   Qt::SmoothTransformation);
        l->setPixmap(pixmap);
        l->setAlignment(Qt::AlignCenter);
        l->setAttribute(Qt::WA_TranslucentBackground);
        pictures_[c.id] = std::make_unique<QtPicture>(l);
        return l;
    }

    QWidget* addProgressBar(const ui::ControlDesc& c) {
        auto* p = new QProgressBar(parentOf(c));
        p->setRange(0, 100);
        p->setValue(0);
        p->setTextVisible(false);
        bars_[c.id] = std::make_unique<QtProgress>(p);
        return p;
    }

    // Along the form's bottom edge, its height from the description.
    void addStatusBar(const ui::ControlDesc& c) {
        auto status = std::make_unique<QtStatus>();
        auto* bar = new QWidget(parentOf(c));
        for (size_t i = 0; i < c.panelWidths.size(); ++i) {
            auto* panel = new QLabel(bar);
            panel->setTextFormat(Qt::PlainText);
            panel->setObjectName(QString("%1.%2").arg(c.name).arg(i));
            panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            status->panels.push_back(panel);
        }
        status->widths.assign(c.panelWidths.begin(), c.panelWidths.end());
        status->texts.resize(status->panels.size());
        status->changed.resize(status->panels.size());
        status->bar = bar;
        status->height = c.rect.height;
        status->place(desc_.clientWidth, desc_.clientHeight);
        statusBars_[c.id] = std::move(status);
        bar->setObjectName(c.name);
        bar->setVisible(c.shown);
    }

    QWidget* addComboBox(const ui::ControlDesc& c) {
        auto* box = new QComboBox(parentOf(c));
        lists_[c.id] = std::make_unique<QtCombo>(box);
        return box;
    }

    QWidget* addListBox(const ui::ControlDesc& c) {
        auto* box = new QListWidget(parentOf(c));
        lists_[c.id] = std::make_unique<QtListBox>(box);
        return box;
    }

    // A frame around other controls; a panel also holds them.
    QWidget* addFrame(const ui::ControlDesc& c) {
        const bool panel = c.kind == ui::Kind::Panel;
        auto* frame = new QFrame(parentOf(c));
        frame->setFrameStyle(panel ? QFrame::Panel | QFrame::Sunken : QFrame::Box | QFrame::Sunken);
        frame->setLineWidth(panel ? 2 : 1);
        frame->lower();
        parents_[c.id] = frame;
        if (panel) panels_[c.id] = std::make_unique<QtPanel>(frame);
        return frame;
    }

    void addMenuCommand(const ui::ControlDesc& c) {
        QAction* a = window_->menuBar()->addAction(QString::fromUtf8(c.caption));
        a->setObjectName(c.name);
        QObject::connect(a, &QAction::triggered, a, forwarder(c.id, ui::Event::Click));
        menus_[c.id] = std::make_unique<QtMenu>(a);
    }

    QWidget* parentOf(const ui::ControlDesc& c) const {
        return c.parent == ui::kNoParent ? client_ : parents_.at(c.parent);
    }

    // What a widget's signal calls: the event, to the window unit, through the guard.
    std::function<void()> forwarder(int id, ui::Event event) const {
        ui::Toolkit& toolkit = toolkit_;
        ui::FormHandler& handler = handler_;
        return [&toolkit, &handler, id, event] {
            dispatchGuarded(toolkit, [&] { handler.onEvent(id, event); });
        };
    }

    ui::Toolkit& toolkit_;
    ui::FormHandler& handler_;
    const ui::FormDesc& desc_;
    FormWindow* window_;
    QWidget* client_ = nullptr;
    std::map<int, QWidget*> parents_;
    QtForm form_;
};

void QtForm::setClientSize(int width, int height) {
    view.setClientSize(width, height);
}

struct QtTimer final : ui::Timer {
    QTimer timer; // its ticks end with it
};

} // namespace

std::unique_ptr<ui::FormView> QtToolkit::createForm(const ui::FormDesc& desc,
                                                    ui::FormHandler& handler) {
    return std::make_unique<QtFormView>(*this, desc, handler);
}

void QtToolkit::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtToolkit::messageBox(std::string_view text, std::string_view caption,
                           ui::MessageBoxStyle style) {
    // Also on the standard error, for whoever started the program from a terminal or a script.
    std::fprintf(stderr, "trevane: %.*s\n", static_cast<int>(text.size()), text.data());
    QMessageBox box(QMessageBox::NoIcon, qs(caption), qs(text), QMessageBox::Ok);
    box.setObjectName("messageBox");
    box.setTextFormat(Qt::PlainText);
    if (style == ui::MessageBoxStyle::TopMost) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

bool QtToolkit::ask(std::string_view text, std::string_view caption) {
    std::fprintf(stderr, "trevane: %.*s\n", static_cast<int>(text.size()), text.data());
    QMessageBox box(QMessageBox::Question, qs(caption), qs(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setObjectName("questionBox");
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtToolkit::beep() {
    QApplication::beep();
}

std::unique_ptr<ui::Timer> QtToolkit::every(int ms, std::function<void()> tick) {
    auto made = std::make_unique<QtTimer>();
    QObject::connect(&made->timer, &QTimer::timeout, &made->timer,
                     [this, tick = std::move(tick)] { dispatchGuarded(*this, tick); });
    made->timer.start(ms);
    return made;
}

void QtToolkit::setApplicationTitle(std::string_view title) {
    // The name the desktop shows for the running program; unlike the display name it is not
    // appended to every window caption.
    QCoreApplication::setApplicationName(qs(title));
}

void QtToolkit::run(ui::FormView& mainForm) {
    auto& view = static_cast<QtFormView&>(mainForm);
    view.window()->isMain = true;
    QApplication::setQuitOnLastWindowClosed(false);
    if (view.window()->isVisible()) QApplication::exec();
}

bool displayAvailable(const char* program, const char* invokedAs) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true; // the user chose one (offscreen, xcb, wayland)
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(var);
        if (v && *v) return true;
    }
    std::fprintf(stderr,
                 "%s: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Start it from a desktop session, or under a virtual display: xvfb-run -a %s\n",
                 program, invokedAs);
    return false;
}

QWidget* windowOf(ui::FormView& view) {
    return static_cast<QtFormView&>(view).window();
}

} // namespace ui::qt
