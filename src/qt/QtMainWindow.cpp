#include "qt/QtMainWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <stdexcept>
#include <string>

#include "frmMain/Layout.h"

namespace solne {

namespace {

QRect Pixels(const layout::Rect& r) {
    return QRect(layout::Pixels(r.left), layout::Pixels(r.top), layout::Pixels(r.width),
                 layout::Pixels(r.height));
}

// A push button whose caption wraps onto several lines at its blanks (the two
// tall buttons between the lists).
class WrapButton : public PushButton {
public:
    using PushButton::PushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        QRect area = rect().adjusted(2, 2, -2, -2);
        painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(),
                             text(), QPalette::ButtonText);
    }
};

QWidget* Make(const layout::Control& c, QWidget* parent) {
    const QString caption = QString::fromUtf8(c.caption);
    switch (c.kind) {
    case layout::Kind::Label: return new QLabel(caption, parent);
    case layout::Kind::TextBox: return new QtTextBox(parent);
    case layout::Kind::Button:
        return c.style & layout::kWrapCaption ? new WrapButton(caption, parent) : new PushButton(caption, parent);
    case layout::Kind::ListView: return new QtListView(c.style & layout::kMultiSelect, parent);
    }
    return nullptr;
}

}  // namespace

void PushButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

QtMainWindow::QtMainWindow(Dialogs& dialogs, SettingsPlace settings, FileSystem& fs, QWidget* parent)
    : QWidget(parent) {
    BuildControls();
    form_ = std::make_unique<frmMain>(
        FormControls{Get<QtTextBox>("txtUserId"), Get<QtTextBox>("txtPassWords"), Get<QtTextBox>("txtUserName"),
                     Get<QtListView>("lsvUserList"), Get<QtTextBox>("txtGroupName"),
                     Get<QtListView>("lsvGroupList"), *this, dialogs},
        std::move(settings), fs);
    ConnectHandlers();
}

QtMainWindow::~QtMainWindow() = default;

QWidget* QtMainWindow::Control(std::string_view name) const {
    auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

template <typename T>
T& QtMainWindow::Get(std::string_view name) const {
    T* control = dynamic_cast<T*>(Control(name));
    if (!control) throw std::logic_error("layout: no control " + std::string(name) + " of the kind frmMain needs");
    return *control;
}

// Every control of the layout table, in its order; then the tab order.
void QtMainWindow::BuildControls() {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setFixedSize(Pixels(layout::kClientArea).size());

    for (const layout::Control& c : layout::kControls) {
        QWidget* widget = Make(c, this);
        widget->setObjectName(QString::fromLatin1(c.name));
        widget->setGeometry(Pixels(c.place));
        if (std::string_view name = layout::AccessibleName(c); !name.empty())
            widget->setAccessibleName(QString::fromUtf8(name.data(), qsizetype(name.size())));
        controls_[c.name] = widget;
    }
    auto order = layout::TabOrder();
    for (size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(Control(order[i]->name), Control(order[i + 1]->name));
}

// Buttons and lists raise the handlers the layout names for them.
void QtMainWindow::ConnectHandlers() {
    frmMain* f = form_.get();
    for (const layout::Control& c : layout::kControls) {
        const std::string_view name = c.name;
        auto raise = [f, name] { layout::Raise(*f, name); };
        if (c.kind == layout::Kind::Button)
            connect(&Get<QPushButton>(name), &QPushButton::clicked, this, raise);
        else if (c.kind == layout::Kind::ListView)
            connect(&Get<QtListView>(name), &QtListView::ItemClick, this, raise);
    }
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    form_->Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

}  // namespace solne
