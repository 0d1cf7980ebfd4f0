#include "frmMain/frmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <utility>

namespace solne {

namespace {

// Positions and sizes are kept in twips, 15 to a pixel.
constexpr double kTwipsPerPixel = 15.0;

QRect Twips(int left, int top, int width, int height) {
    auto px = [](int twips) { return qRound(twips / kTwipsPerPixel); };
    return QRect(px(left), px(top), px(width), px(height));
}

// A push button whose caption wraps onto several lines at its blanks (the two
// tall buttons between the lists).
class WrapButton : public QPushButton {
public:
    using QPushButton::QPushButton;

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

template <typename Widget>
Widget* Place(QWidget* parent, const char* name, const char* caption, QRect where) {
    auto* widget = new Widget(QString::fromUtf8(caption), parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(where);
    return widget;
}

QLineEdit* PlaceTextBox(QWidget* parent, const char* name, QRect where) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(where);
    return box;
}

ListView* PlaceList(QWidget* parent, const char* name, bool multiSelect, QRect where) {
    auto* list = new ListView(multiSelect, parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(where);
    return list;
}

}  // namespace

frmMain::frmMain(Dialogs& dialogs, SettingsPlace settings, FileSystem& fs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), fs_(fs), settings_(std::move(settings)) {
    BuildControls();
    ConnectHandlers();
}

void frmMain::BuildControls() {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setFixedSize(Twips(0, 0, 9270, 5385).size());

    lblUserId = Place<QLabel>(this, "lblUserId", "ユーザーID：", Twips(0, 240, 1575, 255));
    txtUserId = PlaceTextBox(this, "txtUserId", Twips(1680, 232, 1935, 270));
    lblPassWords = Place<QLabel>(this, "lblPassWords", "パスワード：", Twips(0, 615, 1575, 255));
    txtPassWords = PlaceTextBox(this, "txtPassWords", Twips(1680, 600, 1935, 270));
    lblUserName = Place<QLabel>(this, "lblUserName", "ユーザー(表示)名：", Twips(0, 975, 1575, 255));
    txtUserName = PlaceTextBox(this, "txtUserName", Twips(1680, 960, 1935, 270));
    cmdUserAdd = Place<QPushButton>(this, "cmdUserAdd", "追加", Twips(3720, 210, 975, 315));
    cmdUserUp = Place<QPushButton>(this, "cmdUserUp", "更新", Twips(3720, 615, 975, 375));
    cmdUserDelete = Place<QPushButton>(this, "cmdUserDelete", "削除", Twips(3720, 1080, 975, 375));
    lblUserList = Place<QLabel>(this, "lblUserList", "ユーザー一覧：", Twips(120, 1440, 1335, 255));
    lsvUserList = PlaceList(this, "lsvUserList", true, Twips(120, 1800, 4455, 3015));
    lblGroupName = Place<QLabel>(this, "lblGroupName", "グループ名：", Twips(4920, 240, 1095, 255));
    txtGroupName = PlaceTextBox(this, "txtGroupName", Twips(6120, 225, 1935, 270));
    cmdGroupAdd = Place<QPushButton>(this, "cmdGroupAdd", "追加", Twips(8160, 210, 975, 315));
    cmdGroupUp = Place<QPushButton>(this, "cmdGroupUp", "更新", Twips(8160, 615, 975, 375));
    cmdGroupDelete = Place<QPushButton>(this, "cmdGroupDelete", "削除", Twips(8160, 1080, 975, 375));
    lblGroupList = Place<QLabel>(this, "lblGroupList", "グループ一覧：", Twips(6120, 1440, 1335, 255));
    lsvGroupList = PlaceList(this, "lsvGroupList", false, Twips(6120, 1800, 3015, 3015));
    cmdGroupSet = Place<WrapButton>(this, "cmdGroupSet", "←グループ     設定", Twips(4800, 2280, 1095, 855));
    cmdGroupCancel = Place<WrapButton>(this, "cmdGroupCancel", "　グループ        解除",
                                       Twips(4800, 3240, 1095, 855));
    cmdSave = Place<QPushButton>(this, "cmdSave", "保存", Twips(7080, 4920, 975, 375));
    cmdClose = Place<QPushButton>(this, "cmdClose", "閉じる", Twips(8160, 4920, 975, 375));

    QWidget* tabOrder[] = {txtUserId,     txtPassWords, txtUserName,    cmdUserAdd,
                           cmdUserUp,     cmdUserDelete, lsvUserList,   txtGroupName,
                           cmdGroupAdd,   cmdGroupUp,   cmdGroupDelete, lsvGroupList,
                           cmdGroupSet,   cmdGroupCancel, cmdSave,      cmdClose};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) setTabOrder(tabOrder[i], tabOrder[i + 1]);
}

void frmMain::ConnectHandlers() {
    connect(lsvUserList, &ListView::ItemClick, this, [this] { lsvUserList_ItemClick(); });
    connect(lsvGroupList, &ListView::ItemClick, this, [this] { lsvGroupList_ItemClick(); });
    connect(cmdUserAdd, &QPushButton::clicked, this, [this] { cmdUserAdd_Click(); });
    connect(cmdUserUp, &QPushButton::clicked, this, [this] { cmdUserUp_Click(); });
    connect(cmdUserDelete, &QPushButton::clicked, this, [this] { cmdUserDelete_Click(); });
    connect(cmdGroupAdd, &QPushButton::clicked, this, [this] { cmdGroupAdd_Click(); });
    connect(cmdGroupUp, &QPushButton::clicked, this, [this] { cmdGroupUp_Click(); });
    connect(cmdGroupDelete, &QPushButton::clicked, this, [this] { cmdGroupDelete_Click(); });
    connect(cmdGroupSet, &QPushButton::clicked, this, [this] { cmdGroupSet_Click(); });
    connect(cmdGroupCancel, &QPushButton::clicked, this, [this] { cmdGroupCancel_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void frmMain::Warn(const std::string& text, const std::string& caption) {
    dialogs_.MsgBox(text, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok, caption);
}

bool frmMain::AskYesNo(const std::string& text) {
    return dialogs_.MsgBox(text, MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::Yes, kAppTitle) ==
           MsgAnswer::Yes;
}

std::string frmMain::Typed(const QLineEdit* box) {
    return NormalizeTyped(box->text().toStdString());
}

bool frmMain::InputRefused(InputBox box, const std::string& text) {
    if (InputAllowed(box, text)) return false;
    Warn(InputRefusedMessage(box));
    return true;
}

// Start-up: locate the board folder, set up the columns, load both tables and
// show every loaded record, blank ones included, with no row selected.
StartResult frmMain::Form_Load() {
    DataChanged = false;

    LocateOutcome located = LocateInstallation(
        fs_, settings_.readFrom, [this](const std::string& message) { Warn(message); },
        [this] { return dialogs_.ChooseFolder(); });
    if (located.cancelled) return StartResult::Cancelled;
    paths_ = located.paths;
    InstalledPath = paths_.InstalledPath;
    UserFilePath = paths_.UserFilePath;
    GroupFilePath = paths_.GroupFilePath;

    AddColumns();

    LoadedBoard board;
    if (std::optional<LoadError> error = LoadBoard(fs_, paths_, board)) {
        ShowLoadError(*error);
        return StartResult::LoadFailed;
    }
    Users = std::move(board.Users);
    Groups = std::move(board.Groups);
    userSnapshot_ = board.userFile;
    groupSnapshot_ = board.groupFile;

    // A chosen folder is remembered only now that its board has loaded: a
    // folder that does not load must not send every later start to the
    // same error instead of the chooser.
    if (located.prompted) {
        const std::string error = RememberInstalledPath(fs_, settings_, InstalledPath);
        if (!error.empty()) Warn("設定ファイルに書き込めませんでした。\r\n" + error);
    }

    // One row per line read, blank records included; a table that is one
    // blank slot because its file had no line (line 0) gets none.
    std::vector<ListRow> userRows;
    for (size_t i = 0; i < board.userSources.size() && i < Users.size(); ++i)
        if (board.userSources[i].line > 0) userRows.push_back(UserRowOf(Users[i], int(i)));
    lsvUserList->SetRows(std::move(userRows));
    std::vector<ListRow> groupRows;
    for (size_t i = 0; i < board.groupSources.size() && i < Groups.size(); ++i)
        if (board.groupSources[i].line > 0) groupRows.push_back(GroupRowOf(Groups[i], int(i)));
    lsvGroupList->SetRows(std::move(groupRows));

    if (lsvUserList->RowCount() > 0) lsvUserList->SetSelected(0, false);
    if (lsvGroupList->RowCount() > 0) lsvGroupList->SetSelected(0, false);
    return StartResult::Ready;
}

// Each width is taken from the list's width just before its column is added.
void frmMain::AddColumns() {
    lsvUserList->AddColumn(QStringLiteral("ユーザー名"), float(lsvUserList->WidthTwips()) / 3.0f - 100.0f);
    lsvUserList->AddColumn(QStringLiteral("ユーザーID"), float(lsvUserList->WidthTwips()) / 3.0f - 100.0f);
    lsvUserList->AddColumn(QStringLiteral("グループ名"), float(lsvUserList->WidthTwips()) / 3.0f - 100.0f);
    lsvGroupList->AddColumn(QStringLiteral("グループ名"), float(lsvGroupList->WidthTwips()) - 100.0f);
}

void frmMain::ShowLoadError(const LoadError& error) {
    std::string text = "データファイルを読み込めませんでした。\r\n" + error.file;
    if (error.line > 0) text += "\r\n" + std::to_string(error.line) + "行目";
    text += "\r\n" + error.problem;
    Warn(text);
}

}  // namespace solne
