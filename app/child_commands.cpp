#include "app/child_commands.h"

#include "app/command_line.h"
#include "common/option_text.h"

namespace {

void append_words(std::vector<std::string>& words, const std::string& text) {
  for (std::string& word : split_command_words(text)) words.push_back(std::move(word));
}

// The input opener expands a name with '*', '?' or '[' as a pattern. A file whose own name holds
// them (found by a pattern of this run) is handed on with them escaped, so that the child's pattern
// matches that one file only.
std::string as_one_file(const std::string& name) {
  if (name.find_first_of("*?[") == std::string::npos) return name;
  std::string escaped;
  for (char c : name) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::vector<ChildCommand> build_child_commands(CommandLine& line,
                                               const std::optional<std::string>& list_file) {
  line.output.set_file_name(nullptr);

  // The pieces every child shares, each in the form its parser reads back exactly.
  std::string input_options;
  line.input.write_options(input_options);
  std::string output_options;
  line.output.unparse(output_options, true);
  std::string point_stage_options;
  line.input.write_point_stage_options(point_stage_options);
  std::string geo_options;
  line.converter.unparse(geo_options);

  const LASinputOpener& input = line.input;
  std::vector<ChildCommand> commands;
  commands.reserve(input.file_name_number());
  for (uint32_t k = 0; k < input.file_name_number(); k++) {
    ChildCommand command;
    command.input = input.file_name_at(k);
    std::vector<std::string>& words = command.words;
    words.push_back("-i");
    words.push_back(as_one_file(command.input));
    append_words(words, input_options);
    if (input.get_files_are_flightlines()) {
      // The child sees one file, the first of its list: its index carries the file's position,
      // on top of any index the user gave, so that its points get the number this run gives them.
      const long long index = static_cast<long long>(input.get_files_are_flightlines_index()) + 1 + k;
      words.push_back("-faf_index");
      words.push_back(std::to_string(index));
    }
    if (input.is_buffered() && list_file) {
      std::string buffer;
      append_number(buffer, input.get_buffer_size());
      words.push_back("-buffered");
      append_words(words, buffer);
      words.push_back("-neighbors_lof");
      words.push_back(*list_file);
    }
    append_words(words, output_options);
    append_words(words, point_stage_options);
    append_words(words, geo_options);
    words.insert(words.end(), line.driver_words.begin(), line.driver_words.end());
    commands.push_back(std::move(command));
  }
  return commands;
}
