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

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/pictures/logo_large.xpm"
#include "ui/pictures/logo_small.xpm"

namespace ui::qt {
namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

QColor toQColor(ui::Color c) {
    if (c == ui::kButtonFace) return QApplication::palette().color(QPalette::Button);
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
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

struct QtProgress final : ui::ProgressBar {
    explicit QtProgress(QProgressBar* w) : w(w) {}
    QProgressBar* w;
    void setMax(int m) override { w->setMaximum(m); }
    void setPosition(int p) override { w->setValue(p); }
    void setSmooth(bool) override {} // Qt draws a continuous bar in every style we use
};

struct QtStatus final : ui::StatusBar {
    std::vector<QLabel*> panels;
    QWidget* bar = nullptr;
    void setPanelText(int i, std::string_view t) override {
        if (i >= 0 && i < static_cast<int>(panels.size())) panels[static_cast<size_t>(i)]->setText(qs(t));
    }
    std::string panelText(int i) const override {
        if (i < 0 || i >= static_cast<int>(panels.size())) return {};
        return panels[static_cast<size_t>(i)]->text().toStdString();
    }
    void repaint() override { bar->repaint(); }
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

struct QtForm final : ui::Form {
    explicit QtForm(FormWindow* w) : w(w) {}
    FormWindow* w;
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
};

class QtFormView final : public ui::ControlSet {
public:
    QtFormView(ui::Toolkit& toolkit, const ui::FormDesc& desc, ui::FormHandler& handler)
        : window_(new FormWindow(toolkit, handler)), form_(window_) {
        window_->setObjectName(desc.className);
        window_->setWindowTitle(QString::fromUtf8(desc.caption));
        Qt::WindowFlags flags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
        flags |= desc.border == ui::Border::Dialog ? Qt::Dialog : Qt::Window;
        if (desc.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
        window_->setWindowFlags(flags);

        auto* client = new QWidget(window_);
        client->setObjectName("client");
        client->setFixedSize(desc.clientWidth, desc.clientHeight);
        client->setFont(toQFont({}, desc.font));
        window_->setCentralWidget(client);

        std::map<int, QWidget*> parents;
        for (const ui::ControlDesc& c : desc.controls) {
            QWidget* parent = client;
            if (c.parent != ui::kNoParent) parent = parents.at(c.parent);
            const QRect r(c.rect.left, c.rect.top, c.rect.width, c.rect.height);
            const int id = c.id;
            QWidget* made = nullptr;
            switch (c.kind) {
            case ui::Kind::Button: {
                auto* b = new QPushButton(QString::fromUtf8(c.caption), parent);
                QObject::connect(b, &QPushButton::clicked, b, [&toolkit, &handler, id] {
                    dispatchGuarded(toolkit, [&] { handler.onEvent(id, ui::Event::Click); });
                });
                buttons_[id] = std::make_unique<QtButton>(b);
                made = b;
                break;
            }
            case ui::Kind::Label: {
                auto* l = new DoubleClickLabel(QString::fromUtf8(c.caption), parent);
                l->onDoubleClick = [&toolkit, &handler, id] {
                    dispatchGuarded(toolkit, [&] { handler.onEvent(id, ui::Event::DblClick); });
                };
                if (c.align == ui::Align::Center) l->setAlignment(Qt::AlignCenter);
                labels_[id] = std::make_unique<QtLabel>(l);
                made = l;
                break;
            }
            case ui::Kind::Picture: {
                auto* l = new QLabel(parent);
                QPixmap pixmap = pictureNamed(c.caption);
                if (c.scaled && !pixmap.isNull())
                    pixmap = pixmap.scaled(r.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
                l->setPixmap(pixmap);
                l->setAlignment(Qt::AlignCenter);
                l->setAttribute(Qt::WA_TranslucentBackground);
                pictures_[id] = std::make_unique<QtPicture>(l);
                made = l;
                break;
            }
            case ui::Kind::ProgressBar: {
                auto* p = new QProgressBar(parent);
                p->setRange(0, 100);
                p->setValue(0);
                p->setTextVisible(false);
                bars_[id] = std::make_unique<QtProgress>(p);
                made = p;
                break;
            }
            case ui::Kind::StatusBar: {
                auto status = std::make_unique<QtStatus>();
                auto* bar = new QWidget(parent);
                const int h = c.rect.height;
                bar->setGeometry(0, desc.clientHeight - h, desc.clientWidth, h);
                int x = 0;
                for (size_t i = 0; i < c.panelWidths.size(); ++i) {
                    const bool last = i + 1 == c.panelWidths.size();
                    const int w = last ? desc.clientWidth - x : c.panelWidths[i];
                    auto* panel = new QLabel(bar);
                    panel->setTextFormat(Qt::PlainText);
                    panel->setObjectName(QString("%1.%2").arg(c.name).arg(i));
                    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                    panel->setGeometry(x, 0, w, h);
                    status->panels.push_back(panel);
                    x += w;
                }
                status->bar = bar;
                statusBars_[id] = std::move(status);
                bar->setObjectName(c.name);
                bar->setVisible(c.shown);
                continue; // placed already
            }
            case ui::Kind::ComboBox: {
                auto* box = new QComboBox(parent);
                lists_[id] = std::make_unique<QtCombo>(box);
                made = box;
                break;
            }
            case ui::Kind::ListBox: {
                auto* box = new QListWidget(parent);
                lists_[id] = std::make_unique<QtListBox>(box);
                made = box;
                break;
            }
            case ui::Kind::Frame:
            case ui::Kind::Panel: {
                auto* frame = new QFrame(parent);
                frame->setFrameStyle(c.kind == ui::Kind::Panel ? QFrame::Panel | QFrame::Sunken
                                                               : QFrame::Box | QFrame::Sunken);
                frame->setLineWidth(c.kind == ui::Kind::Panel ? 2 : 1);
                frame->lower();
                parents[id] = frame;
                made = frame;
                break;
            }
            case ui::Kind::MenuCommand: {
                QAction* a = window_->menuBar()->addAction(QString::fromUtf8(c.caption));
                a->setObjectName(c.name);
                QObject::connect(a, &QAction::triggered, a, [&toolkit, &handler, id] {
                    dispatchGuarded(toolkit, [&] { handler.onEvent(id, ui::Event::Click); });
                });
                menus_[id] = std::make_unique<QtMenu>(a);
                continue;
            }
            }
            made->setObjectName(c.name);
            made->setGeometry(r);
            if (c.font.family || c.font.pixels || c.font.bold)
                made->setFont(toQFont(c.font, desc.font));
            made->setVisible(c.shown);
        }
        window_->adjustSize();
        window_->setFixedSize(window_->sizeHint());
    }

    ~QtFormView() override { delete window_; }

    ui::Form& form() override { return form_; }

    FormWindow* window() { return window_; }

private:
    FormWindow* window_;
    QtForm form_;
};

} // namespace

std::unique_ptr<ui::FormView> QtToolkit::createForm(const ui::FormDesc& desc,
                                                    ui::FormHandler& handler) {
    return std::make_unique<QtFormView>(*this, desc, handler);
}

void QtToolkit::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

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

QWidget* windowOf(ui::FormView& view) { return static_cast<QtFormView&>(view).window(); }

} // namespace ui::qt
