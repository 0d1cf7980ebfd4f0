// The editor: one window on the board named by "setup.ini" (beside the
// program, else in the account's configuration folder).
#include <cstdio>
#include <exception>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include "app/ProgramEdge.h"
#include "app/EditorStart.h"
#include "qt/QtDialogs.h"
#include "qt/QtMainWindow.h"
#include "store/SettingsPlace.h"

namespace {

// Says that the editor stops, and why, rather than vanish.
void ShowFatal(std::exception_ptr error) {
    const std::string why = solne::DescribeException(error);
    std::fprintf(stderr, "solne: %s\n", why.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("ソルネ"),
                          QStringLiteral("予期しないエラーのため、ソルネを終了します。\n") + QString::fromStdString(why));
}

// What an event handler throws ends up here instead of in Qt's event loop,
// which cannot carry it: the message, then the end of the loop.
class EditorApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            ShowFatal(std::current_exception());
            QCoreApplication::exit(1);
            return false;
        }
    }
};

int RunEditor() {
    // Qt's own texts (standard buttons, the folder chooser) in Japanese.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    solne::QtDialogs dialogs;
    solne::QtMainWindow window(dialogs, solne::FindSettingsPlace(solne::RealFileSystem()));
    dialogs.SetParent(&window);

    switch (window.Form().Start()) {
    case solne::StartResult::Cancelled: return 0;
    case solne::StartResult::LoadFailed: return 1;
    case solne::StartResult::Ready: break;
    }
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (std::optional<int> status = solne::HandleEditorArguments(argc, argv)) return *status;
    EditorApplication app(argc, argv);
    solne::SetApplicationIdentity();
    try {
        return RunEditor();
    } catch (...) {
        // The window could not be made, or the start failed beyond what it
        // reports itself (memory, a layout the toolkit cannot build).
        ShowFatal(std::current_exception());
        return 1;
    }
}
