// Runs the contourmill executable (or a helper tool) as a user would, capturing what it prints.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ToolRun {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string shell_quote(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `program args...` in `dir` with standard input from `stdin_path` (closed input by default).
inline ToolRun run_tool(const std::string& program, const std::vector<std::string>& args,
                        const std::filesystem::path& dir, const std::string& stdin_path = "/dev/null") {
  const auto out = dir / "tool.stdout", err = dir / "tool.stderr";
  std::string cmd = "cd " + shell_quote(dir.string()) + " && " + shell_quote(program);
  for (const auto& a : args) cmd += " " + shell_quote(a);
  cmd += " < " + shell_quote(stdin_path) + " > " + shell_quote(out.string()) + " 2> " +
         shell_quote(err.string());
  const int status = std::system(cmd.c_str());
  ToolRun r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}

// The lines of `err` that start with "ERROR": a failing run prints one, for its cause.
inline int error_lines(const std::string& err) {
  int count = 0;
  size_t at = 0;
  while (at < err.size()) {
    if (err.compare(at, 5, "ERROR") == 0) count++;
    const size_t end = err.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return count;
}

// A fresh temporary folder per test, removed afterwards.
class TempDir {
 public:
  explicit TempDir(const std::string& name) {
    path_ =
        std::filesystem::temp_directory_path() / ("contourmill_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};
