#include "app/output_plan.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/messages.h"
#include "lineio/line_output_opener.h"
#include "pointio/lasinputopener.h"

namespace {

struct PlannedOutput {
  std::string input;  // empty for standard input
  std::string output;
};

// Follows ContourRun: an input gets the -o name while one is set, else a name derived from its
// own; the name is cleared after every input unless the output goes to standard output.
std::vector<PlannedOutput> plan_outputs(const LASinputOpener& input, LineOutputOpener plan) {
  std::vector<std::string> runs;
  if (input.file_name_number() == 0) {
    runs.emplace_back();  // standard input
  } else if (input.is_merged()) {
    runs.push_back(input.get_file_name(0));
  } else {
    for (uint32_t i = 0; i < input.file_name_number(); i++) runs.push_back(input.get_file_name(i));
  }
  const bool to_stdout = plan.get_use_stdout() && !plan.format_is("shp");
  std::vector<PlannedOutput> outputs;
  for (const std::string& run : runs) {
    if (!plan.is_active()) plan.make_file_name(run.empty() ? nullptr : run.c_str());
    if (!to_stdout && plan.get_file_name() != nullptr) outputs.push_back({run, plan.get_file_name()});
    if (!plan.get_use_stdout()) plan.set_file_name(nullptr);
  }
  return outputs;
}

// The files one output consists of.
std::vector<std::string> output_files(const std::string& name, bool shapefile) {
  std::vector<std::string> files{name};
  if (shapefile && name.size() > 4) {
    const std::string stem = name.substr(0, name.size() - 3);
    for (const char* extension : {"shx", "dbf", "prj"}) files.push_back(stem + extension);
  }
  return files;
}

std::string path_key(const std::string& name) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(name, error);
  if (error) return name;
  const std::filesystem::path key = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal().string() : key.string();
}

}  // namespace

bool check_output_plan(const LASinputOpener& input, const LineOutputOpener& output) {
  const std::vector<PlannedOutput> outputs = plan_outputs(input, output);
  const bool shapefile = output.format_is("shp");

  struct stat info;
  struct ReadFile {
    std::string name;
    dev_t device;
    ino_t inode;
  };
  std::vector<ReadFile> read;
  for (const std::string& name : input.read_file_names()) {
    if (stat(name.c_str(), &info) == 0) read.push_back({name, info.st_dev, info.st_ino});
  }
  for (const PlannedOutput& planned : outputs) {
    for (const std::string& file : output_files(planned.output, shapefile)) {
      if (stat(file.c_str(), &info) != 0) continue;
      for (const ReadFile& r : read) {
        if (r.device != info.st_dev || r.inode != info.st_ino) continue;
        print_message("ERROR: output '%s' is the input '%s'. writing it would destroy the input\n",
                      file.c_str(), r.name.c_str());
        return false;
      }
    }
  }

  std::map<std::string, const PlannedOutput*> by_path;
  for (const PlannedOutput& planned : outputs) {
    const auto [at, fresh] = by_path.emplace(path_key(planned.output), &planned);
    // The same file given twice writes the same result twice; nothing is lost.
    if (fresh || path_key(at->second->input) == path_key(planned.input)) continue;
    print_message(
        "ERROR: inputs '%s' and '%s' would both write '%s'. process them in separate runs with "
        "different '-odix' appendices, or without '-odir'\n",
        at->second->input.c_str(), planned.input.c_str(), planned.output.c_str());
    return false;
  }
  return true;
}
