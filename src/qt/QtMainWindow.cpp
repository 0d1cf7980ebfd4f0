#include "qt/QtMainWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>

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

QtMainWindow::QtMainWindow(Dialogs& dialogs, std::string setupIniPath, FileSystem& fs, QWidget* parent)
    : QWidget(parent) {
    BuildControls();
    form_ = std::make_unique<frmMain>(FormControls{*txtUserId, *txtPassWords, *txtUserName, *lsvUserList,
                                                   *txtGroupName, *lsvGroupList, *this, dialogs},
                                      std::move(setupIniPath), fs);
    ConnectHandlers();
}

QtMainWindow::~QtMainWindow() = default;

// Every control of the layout table, in its order; then the tab order.
void QtMainWindow::BuildControls() {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setFixedSize(Pixels(layout::kClientArea).size());

    std::map<std::string_view, QWidget*> made;
    for (const layout::Control& c : layout::kControls) {
        QWidget* widget = Make(c, this);
        widget->setObjectName(QString::fromLatin1(c.name));
        widget->setGeometry(Pixels(c.place));
        if (std::string_view name = layout::AccessibleName(c); !name.empty())
            widget->setAccessibleName(QString::fromUtf8(name.data(), qsizetype(name.size())));
        made[c.name] = widget;
    }
    auto get = [&made](auto*& field, const char* name) {
        field = dynamic_cast<std::remove_reference_t<decltype(field)>>(made.at(name));
        if (!field) throw std::logic_error(std::string("layout: wrong kind of control ") + name);
    };
    get(lblUserId, "lblUserId");
    get(txtUserId, "txtUserId");
    get(lblPassWords, "lblPassWords");
    get(txtPassWords, "txtPassWords");
    get(lblUserName, "lblUserName");
    get(txtUserName, "txtUserName");
    get(cmdUserAdd, "cmdUserAdd");
    get(cmdUserUp, "cmdUserUp");
    get(cmdUserDelete, "cmdUserDelete");
    get(lblUserList, "lblUserList");
    get(lsvUserList, "lsvUserList");
    get(lblGroupName, "lblGroupName");
    get(txtGroupName, "txtGroupName");
    get(cmdGroupAdd, "cmdGroupAdd");
    get(cmdGroupUp, "cmdGroupUp");
    get(cmdGroupDelete, "cmdGroupDelete");
    get(lblGroupList, "lblGroupList");
    get(lsvGroupList, "lsvGroupList");
    get(cmdGroupSet, "cmdGroupSet");
    get(cmdGroupCancel, "cmdGroupCancel");
    get(cmdSave, "cmdSave");
    get(cmdClose, "cmdClose");

    auto order = layout::TabOrder();
    for (size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(made.at(order[i]->name), made.at(order[i + 1]->name));
}

void QtMainWindow::ConnectHandlers() {
    frmMain* f = form_.get();
    connect(lsvUserList, &QtListView::ItemClick, this, [f] { f->lsvUserList_ItemClick(); });
    connect(lsvGroupList, &QtListView::ItemClick, this, [f] { f->lsvGroupList_ItemClick(); });
    const std::pair<QPushButton*, void (frmMain::*)()> buttons[] = {
        {cmdUserAdd, &frmMain::cmdUserAdd_Click},         {cmdUserUp, &frmMain::cmdUserUp_Click},
        {cmdUserDelete, &frmMain::cmdUserDelete_Click},   {cmdGroupAdd, &frmMain::cmdGroupAdd_Click},
        {cmdGroupUp, &frmMain::cmdGroupUp_Click},         {cmdGroupDelete, &frmMain::cmdGroupDelete_Click},
        {cmdGroupSet, &frmMain::cmdGroupSet_Click},       {cmdGroupCancel, &frmMain::cmdGroupCancel_Click},
        {cmdSave, &frmMain::cmdSave_Click},               {cmdClose, &frmMain::cmdClose_Click}};
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, [f, handler = handler] { (f->*handler)(); });
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
