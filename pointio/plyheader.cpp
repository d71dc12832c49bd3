#include "pointio/detail/plyheader.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "common/messages.h"
#include "pointio/detail/bufferedinput.h"

namespace {

// More properties than a point record can carry as extra bytes.
constexpr size_t kMaxProperties = 256;

// Splits a header line into its words.
std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') i++;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool type_of(std::string_view word, PLYproperty::Type& type) {
  struct Name {
    const char* a;
    const char* b;
    PLYproperty::Type type;
  };
  static const Name kNames[] = {
      {"char", "int8", PLYproperty::kChar},      {"uchar", "uint8", PLYproperty::kUchar},
      {"short", "int16", PLYproperty::kShort},   {"ushort", "uint16", PLYproperty::kUshort},
      {"int", "int32", PLYproperty::kInt},       {"uint", "uint32", PLYproperty::kUint},
      {"float", "float32", PLYproperty::kFloat}, {"double", "float64", PLYproperty::kDouble},
  };
  for (const Name& n : kNames) {
    if (word == n.a || word == n.b) {
      type = n.type;
      return true;
    }
  }
  return false;
}

}  // namespace

int PLYproperty::size() const {
  static constexpr int kSizes[8] = {1, 1, 2, 2, 4, 4, 4, 8};
  return kSizes[type];
}

uint8_t PLYproperty::las_data_type() const {
  static constexpr uint8_t kTypes[8] = {2, 1, 4, 3, 6, 5, 9, 10};
  return kTypes[type];
}

bool read_ply_header(BufferedInput& input, PLYheader& header) {
  header = PLYheader{};
  std::string_view line;
  if (!input.next_line(line) || line.substr(0, 3) != "ply") {
    if (!input.failed()) print_message_text("ERROR: a PLY file must begin with 'ply'\n");
    return false;
  }
  bool have_format = false, have_vertex = false, in_vertex = false, skipping = false;
  while (input.next_line(line)) {
    const std::vector<std::string_view> w = words_of(line);
    if (w.empty()) continue;
    if (w[0] == "end_header") {
      if (!have_format || !have_vertex) {
        print_message_text("ERROR: PLY header lacks its format or its vertex element\n");
        return false;
      }
      return true;
    }
    if (skipping || w[0] == "comment" || w[0] == "obj_info") continue;
    if (w[0] == "format") {
      const std::string_view value = w.size() > 1 ? w[1] : std::string_view();
      if (value == "ascii") {
        header.format = PLYheader::kAscii;
      } else if (value == "binary_little_endian") {
        header.format = PLYheader::kBinaryLittleEndian;
      } else if (value == "binary_big_endian") {
        header.format = PLYheader::kBinaryBigEndian;
      } else {
        print_message("format: %.*s not implemented. contact Quorvane support for assistance\n",
                      static_cast<int>(value.size()), value.data());
        return false;
      }
      have_format = true;
    } else if (w[0] == "element") {
      if (w.size() > 1 && w[1] == "vertex" && !have_vertex) {
        int64_t count = -1;
        if (w.size() < 3 ||
            std::from_chars(w[2].data(), w[2].data() + w[2].size(), count).ec != std::errc() || count < 0) {
          print_message_text("ERROR: PLY element vertex has no valid count\n");
          return false;
        }
        header.vertex_count = count;
        have_vertex = in_vertex = true;
      } else if (!have_vertex) {
        print_message("ERROR: PLY element '%.*s' comes before the vertices\n",
                      static_cast<int>(w.size() > 1 ? w[1].size() : 0), w.size() > 1 ? w[1].data() : "");
        return false;
      } else {
        print_message("not supported: %.*sskipping remaining header ...\n", static_cast<int>(line.size()),
                      line.data());
        skipping = true;
      }
    } else if (w[0] == "property") {
      if (!in_vertex) {
        print_message_text("ERROR: PLY property outside of an element\n");
        return false;
      }
      PLYproperty p;
      if (w.size() < 3 || !type_of(w[1], p.type)) {
        const std::string_view type = w.size() > 1 ? w[1] : std::string_view();
        print_message("ERROR: PLY vertex property type '%.*s' is not supported\n",
                      static_cast<int>(type.size()), type.data());
        return false;
      }
      if (header.properties.size() == kMaxProperties) {
        print_message("ERROR: PLY vertex has more than %zu properties\n", kMaxProperties);
        return false;
      }
      p.name = std::string(w[2]);
      header.record_size += static_cast<uint32_t>(p.size());
      header.properties.push_back(std::move(p));
    } else {
      print_message("ERROR: unknown PLY header line '%.*s'\n",
                    static_cast<int>(std::min<size_t>(line.size(), 80)), line.data());
      return false;
    }
  }
  if (!input.failed()) print_message_text("ERROR: PLY header ends before 'end_header'\n");
  return false;
}
