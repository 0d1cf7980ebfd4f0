// The editor: one window on the board named by "setup.ini" beside the program.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "qt/QtDialogs.h"
#include "qt/QtMainWindow.h"
#include "store/Settings.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // Qt's own texts (standard buttons, the folder chooser) in Japanese.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    solne::QtDialogs dialogs;
    solne::QtMainWindow window(dialogs, solne::SetupIniPath());
    dialogs.SetParent(&window);

    switch (window.Form().Start()) {
    case solne::StartResult::Cancelled: return 0;
    case solne::StartResult::LoadFailed: return 1;
    case solne::StartResult::Ready: break;
    }
    return QApplication::exec();
}
