// The editor: one window on the board named by "setup.ini" (beside the
// program, else in the account's configuration folder).
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/EditorStart.h"
#include "qt/QtDialogs.h"
#include "qt/QtMainWindow.h"
#include "store/SettingsPlace.h"

int main(int argc, char** argv) {
    if (std::optional<int> status = solne::HandleEditorArguments(argc, argv)) return *status;
    QApplication app(argc, argv);
    solne::SetApplicationIdentity();

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
