#include "qt/QtMainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

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

namespace {

// The progress window: a caption without a close box, a line of text and a
// bar. A request to close it is refused; it goes when the work ends.
class WorkProgress : public QWidget {
public:
    explicit WorkProgress(QWidget* owner)
        : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
        setObjectName(QStringLiteral("progressWindow"));
        setWindowTitle(QString::fromUtf8(kAppTitle));
        auto* column = new QVBoxLayout(this);
        text_ = new QLabel(this);
        bar_ = new QProgressBar(this);
        bar_->setTextVisible(false);
        column->addWidget(text_);
        column->addWidget(bar_);
        setFixedWidth(360);
    }
    void Set(const QString& text, size_t done, size_t total) {
        text_->setText(text);
        // QProgressBar counts in int: a thousandth of the work per step.
        bar_->setRange(0, 1000);
        bar_->setValue(total ? int(done * 1000 / total) : 0);
    }

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }

private:
    QLabel* text_;
    QProgressBar* bar_;
};

bool IsInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

}  // namespace

void QtMainWindow::BeginWork() {
    if (working_) return;
    working_ = true;
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    KeepAnswering();  // shows the cursor now
}

void QtMainWindow::KeepAnswering() {
    if (working_) QApplication::processEvents();
}

void QtMainWindow::ShowProgress(const std::string& text, size_t done, size_t total) {
    if (!working_) return;
    auto* progress = static_cast<WorkProgress*>(progress_);
    if (!progress) {
        progress = new WorkProgress(this);
        progress_ = progress;
    }
    progress->Set(QString::fromStdString(text), done, total);
    if (!progress->isVisible()) {
        progress->adjustSize();
        const QRect over = isVisible() ? frameGeometry() : screen()->availableGeometry();
        progress->move(over.center() - progress->rect().center());
        progress->show();
    }
}

void QtMainWindow::EndWork() {
    if (!working_) return;
    working_ = false;
    delete progress_;
    progress_ = nullptr;
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (working_ && watched->isWidgetType() && IsInput(event->type())) {
        event->ignore();  // a close event left accepted would close
        return true;
    }
    return QWidget::eventFilter(watched, event);
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
