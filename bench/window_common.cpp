#include "window_bench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common_board.h"

namespace solne::bench {

namespace {

std::string& Root() {
    static std::string root;
    return root;
}

void MakeBoard() {
    if (!Root().empty()) return;
    std::string tmpl = (std::filesystem::temp_directory_path() / "solne-bench-window-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    Root() = tmpl;
    GenerateBoard(Root() + "/board", kWindowUsers, kWindowGroups);
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

std::unique_ptr<frmMain> OpenWindow(Dialogs& dialogs) {
    auto window = std::make_unique<frmMain>(dialogs, WindowBoardIni());
    if (window->Form_Load() != StartResult::Ready) throw std::runtime_error("the board did not load");
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

void RemoveWindowBoard() {
    if (Root().empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(Root(), ec);
}

}  // namespace solne::bench
