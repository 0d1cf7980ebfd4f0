// Importing a CSV of users into a board: the file read and checked against
// its header, then every row applied through the window's rules (frmMain's
// record commands), all rows checked before anything is saved.
#pragma once

#include <string>
#include <vector>

#include "cli/CliToolkit.h"
#include "cli/Csv.h"

namespace solne::cli {

// The columns a file may have, in the order export writes them.
enum class Column { Id, Name, Group, GroupNo, Password };
constexpr int kColumnCount = 5;

// The header export writes for a column (Japanese, as the window's labels).
const char* ColumnHeader(Column column);

struct ImportFile {
    std::string path;
    TextEncoding encoding = TextEncoding::Utf8;
    int columnOf[kColumnCount] = {-1, -1, -1, -1, -1};  // index in a record, -1 when absent
    size_t width = 0;                                     // fields of the header
    std::vector<CsvRecord> rows;                          // the records after the header
};

// Reads, decodes and splits the file and maps its header (names in English
// or Japanese, any order; the ID column is required). False with the
// problems, each as FILE:LINE:COLUMN: message, in `err`.
bool ReadImportFile(FileSystem& fs, const std::string& path, ImportFile& file, std::string& err);

struct ImportOptions {
    bool createGroups = false;
    bool deleteMissing = false;
};

// Applies every row to the form's tables: an existing ID updates that user,
// a new one adds a user, a group name sets the user's group. False with
// every refused row in `err`; the tables are then not to be saved.
bool ApplyImport(CliForm& form, const ImportFile& file, const ImportOptions& options, std::string& err);

}  // namespace solne::cli
