#include "window_bench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

#include <fstream>
#include <memory>
#include <stdexcept>

#include "common/TempBoard.h"

namespace solne::bench {

namespace {

std::unique_ptr<test::TempDir>& Scratch() {
    static std::unique_ptr<test::TempDir> dir;
    return dir;
}

std::string Root() { return Scratch() ? Scratch()->path() : std::string(); }

void MakeBoard() {
    if (Scratch()) return;
    Scratch() = std::make_unique<test::TempDir>();
    test::GenerateBoard(Root() + "/board", kWindowUsers, kWindowGroups);
    std::ofstream ini(Root() + "/setup.ini", std::ios::binary);
    ini << "[Script]\r\nInstalledPath=" << Root() << "/board\r\n";
    if (!ini) throw std::runtime_error("cannot write setup.ini");
}

// Notes the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

}  // namespace

const std::string& WindowBoardIni() {
    MakeBoard();
    static const std::string ini = Root() + "/setup.ini";
    return ini;
}

const std::string& WindowBoardFolder() {
    MakeBoard();
    static const std::string folder = Root() + "/board";
    return folder;
}

std::unique_ptr<QtMainWindow> OpenWindow(Dialogs& dialogs) {
    auto window = std::make_unique<QtMainWindow>(dialogs, WindowBoardIni());
    if (window->Form().Form_Load() != StartResult::Ready) throw std::runtime_error("the board did not load");
    WaitForPaint(window.get());
    return window;
}

void WaitForPaint(QWidget* widget) {
    PaintWatch watch;
    widget->installEventFilter(&watch);
    widget->show();
    widget->update();
    QElapsedTimer timer;
    timer.start();
    while (!watch.painted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (timer.elapsed() > 10000) throw std::runtime_error("the window was not painted");
    }
    widget->removeEventFilter(&watch);
}

void RemoveWindowBoard() { Scratch().reset(); }

}  // namespace solne::bench
