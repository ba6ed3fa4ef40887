// Running the built programs from tests: arguments, text on standard input,
// and everything they leave behind (standard output, standard error, exit
// status), plus scratch folders and whole-file helpers.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int status = -1; // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Path of a built program in the build's bin folder.
std::string program_path(const std::string& name);

// Runs `program` with `args`, feeding `input` on standard input (closed after
// it), in the current directory.
RunResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& input = "");

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `content` to the named file and returns its path.
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// The lines of a text, without their line ends.
std::vector<std::string> split_lines(const std::string& text);
// The whitespace-separated fields of a line.
std::vector<std::string> split_words(const std::string& line);
// `text` as one gzip member, the way gzip writes a file.
std::string gzipped(const std::string& text);
