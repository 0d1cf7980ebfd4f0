#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace stdfs = std::filesystem;

namespace solne::fuzz {

// The folder name lives on the heap for the whole run, so the clean-up at
// exit can still use it after static objects are gone.
static const std::string* scratch = nullptr;

const std::string& ScratchFolder() {
    if (!scratch) {
        std::error_code ec;
        std::string base = stdfs::is_directory("/dev/shm", ec) ? "/dev/shm" : stdfs::temp_directory_path().string();
        scratch = new std::string(base + "/solne-fuzz-" + std::to_string(getpid()));
        stdfs::create_directories(*scratch);
        std::atexit([] {
            std::error_code ignore;
            stdfs::remove_all(*scratch, ignore);
        });
    }
    EmptyFolder(*scratch);
    return *scratch;
}

void EmptyFolder(const std::string& folder) {
    std::error_code ec;
    for (auto& e : stdfs::directory_iterator(folder, ec)) {
        std::error_code ignore;
        stdfs::permissions(e.path(), stdfs::perms::owner_all, stdfs::perm_options::add, ignore);
        stdfs::remove_all(e.path(), ignore);
    }
}

void PutFile(const std::string& path, std::string_view bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
}

}  // namespace solne::fuzz
