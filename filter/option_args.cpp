#include "filter/detail/option_args.h"

#include <cstring>

#include "common/messages.h"
#include "common/option_text.h"

namespace filter_detail {

std::string nth_name(const char* names, int k) {
  const char* p = names;
  for (int i = 0; i < k && p; i++) {
    p = std::strchr(p, ' ');
    if (p) p++;
  }
  if (!p) return {};
  const char* end = std::strchr(p, ' ');
  return end ? std::string(p, static_cast<size_t>(end - p)) : std::string(p);
}

void print_needs(const char* option, int count, const char* names) {
  print_message("ERROR: '%s' needs %d argument%s: %s\n", option, count, count == 1 ? "" : "s", names);
}

void print_needs_but(const char* option, int count, const char* names, const char* word,
                     const char* bad_name) {
  print_message("ERROR: '%s' needs %d argument%s: %s but '%s' is no valid %s\n", option, count,
                count == 1 ? "" : "s", names, word, bad_name);
}

bool read_args(const ArgumentCursor& args, const char* names, const char* types, ArgValues& out) {
  const int count = static_cast<int>(std::strlen(types));
  out.option = args.option();
  if (!args.has(count)) {
    print_needs(args.option(), count, names);
    return false;
  }
  for (int k = 0; k < count && k < kMaxArgs; k++) {
    const char* w = args.argument(k + 1);
    bool ok = false;
    switch (types[k]) {
      case 'F':
        ok = read_f64(w, out.f64[k]);
        break;
      case 'f':
        ok = read_f32(w, out.f32[k]);
        break;
      case 'd':
        ok = read_i32(w, out.i32[k]);
        break;
      case 'u':
        ok = read_u32(w, out.u32[k]);
        break;
      default:
        out.text[k] = w;
        ok = *w != '\0';
        break;
    }
    if (!ok) {
      print_needs_but(args.option(), count, names, w, nth_name(names, k).c_str());
      return false;
    }
  }
  return true;
}

bool parse_text(std::string_view text, const std::function<bool(int, char**)>& parse) {
  std::vector<std::string> words = split_command_words(text);
  std::vector<char*> argv;
  static char program[] = "";
  argv.push_back(program);
  for (std::string& w : words) argv.push_back(w.data());
  return parse(static_cast<int>(argv.size()), argv.data());
}

}  // namespace filter_detail
