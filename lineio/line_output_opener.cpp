#include "lineio/line_output_opener.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/argument_cursor.h"
#include "common/messages.h"
#include "common/option_text.h"
#include "geo/geoprojectionconverter.h"
#include "lineio/kmlwriter.h"
#include "lineio/output_file.h"
#include "lineio/shpwriter.h"
#include "lineio/txtwriter.h"
#include "lineio/wktwriter.h"

namespace {

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

// Position of the last '.', '/' or '\' after position 0, or 0 when there is none.
std::size_t name_search(const std::string& name) {
  for (std::size_t i = name.size(); i-- > 1;) {
    if (name[i] == '.' || is_separator(name[i])) return i;
  }
  return 0;
}

bool has_extension_at(const std::string& name, std::size_t p) {
  return p > 0 && name[p] == '.';
}

// Start of the base name: just after the last separator, or 0.
std::size_t base_start(const std::string& name) {
  for (std::size_t i = name.size(); i-- > 0;) {
    if (is_separator(name[i])) return i + 1;
  }
  return 0;
}

void apply_directory(std::string& name, const std::string& directory) {
  std::string base = name.substr(base_start(name));
  if (directory.empty()) {
    name = std::move(base);
  } else if (is_separator(directory.back())) {
    name = directory + base;
  } else {
    name = directory + "/" + base;
  }
}

// Cuts n characters before the extension (or from the end), never into the directory part and
// never below the first character of the base name.
void apply_cut(std::string& name, std::uint32_t n) {
  const std::size_t p = name_search(name);
  const std::size_t end = has_extension_at(name, p) ? p : name.size();
  const std::size_t start = base_start(name);
  const std::size_t keep = (end > start && end - start > n) ? end - n : std::min(end, start + 1);
  name.erase(keep, end - keep);
}

void apply_appendix(std::string& name, const std::string& appendix) {
  const std::size_t p = name_search(name);
  if (has_extension_at(name, p)) {
    name.insert(p, appendix);
  } else {
    name += appendix;
  }
}

void replace_extension(std::string& name, const char* extension) {
  const std::size_t p = name_search(name);
  if (has_extension_at(name, p)) {
    name.erase(p + 1);
  } else {
    name += '.';
  }
  name += extension;
}

void append_format(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append_format(std::string& text, const char* format, ...) {
  char piece[64];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(piece, sizeof piece, format, args);
  va_end(args);
  if (n > 0) text.append(piece, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof piece - 1));
}

}  // namespace

bool LineOutputOpener::parse(int argc, char* argv[]) {
  ArgumentCursor args(argc, argv);
  while (args.next()) {
    if (args.is("-h") || args.is("-help")) {
      usage();
      return true;
    }
    const char* needs = nullptr;  // the argument description of an option that takes one
    if (args.is("-o")) {
      needs = "file_name";
    } else if (args.is("-kml_elevation_offset")) {
      needs = "offset";
    } else if (args.is("-odir")) {
      needs = "directory";
    } else if (args.is("-odix")) {
      needs = "appendix";
    } else if (args.is("-ocut")) {
      needs = "number of characters to cut";
    }
    if (needs != nullptr) {
      if (!args.has(1)) {
        print_message("ERROR: '%s' needs 1 argument: %s\n", args.option(), needs);
        return false;
      }
      const char* argument = args.argument(1);
      if (args.is("-o")) {
        set_file_name(argument);
      } else if (args.is("-kml_elevation_offset")) {
        if (!args.number(1, kml_elevation_offset)) return false;
      } else if (args.is("-odir")) {
        if (!set_directory(argument)) {
          print_message("ERROR: '%s' is not a valid directory\n", argument);
          return false;
        }
      } else if (args.is("-odix")) {
        set_appendix(argument);
      } else {
        std::uint32_t n = 0;
        if (!args.number(1, n)) return false;
        set_cut(n);
      }
      args.consume(1);
      continue;
    }
    if (args.is("-otxt") || args.is("-okml") || args.is("-owkt") || args.is("-oshp")) {
      set_format(args.option() + 2);
      format_stated = true;
    } else if (args.is("-odbf")) {
      dbf = true;
    } else if (args.is("-stdout")) {
      use_stdout = true;
    } else if (args.is("-only_2d") || args.is("-2d")) {
      only_2d = true;
    } else if (args.is("-kml_absolute")) {
      kml_clamp_to_ground = false;
    } else {
      continue;
    }
    args.consume(0);
  }
  return check_output();
}

// What the output options ask for must be writable before any input is read: a run must not
// find out after hours of work that it has no place for its result.
bool LineOutputOpener::check_output() {
  if (given_name && name_problem != nullptr) {
    if (!format_stated) {
      print_message("ERROR: %s. file name '%s' must end in\n", name_problem, given_name->c_str());
      print_message("       *.shp *.kml *.wkt *.txt\n");
      return false;
    }
    print_message("WARNING: %s of '%s'. writing it in the '-o%s' format as named\n", name_problem,
                  given_name->c_str(), format.c_str());
  }
  if (extension() == nullptr || format == "pef") {
    print_message("ERROR: cannot write the '%s' format. use -oshp, -okml, -owkt or -otxt\n", format.c_str());
    return false;
  }
  if (format == "shp") {
    if (use_stdout && !given_name) {
      print_message("ERROR: a shapefile cannot go to standard output. name it with '-o'\n");
      return false;
    }
    const char* name = get_file_name();
    const std::size_t length = name ? std::strlen(name) : 0;
    if (name != nullptr && (length < 4 || std::strcmp(name + length - 4, ".shp") != 0)) {
      print_message("ERROR: the shapefile name '%s' does not end in *.shp\n", name);
      return false;
    }
  }
  return true;
}

void LineOutputOpener::usage() const {
  print_message("Supported Line Outputs\n");
  print_message("  -o lines.shp\n");
  print_message("  -o boundary.wkt\n");
  print_message("  -o contours.kml\n");
  print_message("  -o output.txt\n");
  print_message("  -odir C:\\footprints (specify output directory)\n");
  print_message("  -odix _isolines (specify file name appendix)\n");
  print_message("  -ocut 2 (cut the last two characters from name)\n");
  print_message("  -oshp -owkt -okml -otxt\n");
  print_message("  -stdout (pipe to stdout)\n");
  print_message("Optional Settings\n");
  print_message("  -only_2d\n");
  print_message("  -kml_absolute\n");
  print_message("  -kml_elevation_offset 17.5\n");
}

void LineOutputOpener::derive_file_name() {
  if (!given_name) return;
  std::string name = *given_name;
  if (directory) apply_directory(name, *directory);
  if (cut != 0) apply_cut(name, cut);
  if (appendix) apply_appendix(name, *appendix);
  file_name = std::move(name);
}

void LineOutputOpener::set_file_name(const char* name) {
  file_name.reset();
  given_name.reset();
  name_problem = nullptr;
  if (name == nullptr) return;
  static const char* const kEndings[][2] = {
      {".shp", "shp"}, {".SHP", "shp"}, {".kml", "kml"}, {".KML", "kml"}, {".wkt", "wkt"},
      {".WKT", "wkt"}, {".txt", "txt"}, {".TXT", "txt"}, {".pef", "pef"}, {".PEF", "pef"}};
  const std::size_t length = std::strlen(name);
  name_problem = "bad file name";
  if (length > 4) {
    name_problem = "unknown file format";
    for (const auto& ending : kEndings) {
      if (std::strcmp(name + length - 4, ending[0]) == 0) {
        set_format(ending[1]);
        name_problem = nullptr;
        break;
      }
    }
  }
  given_name = name;
  derive_file_name();
}

const char* LineOutputOpener::extension() const {
  for (const char* known : {"kml", "shp", "wkt", "txt", "pef"}) {
    if (format == known) return known;
  }
  return nullptr;
}

void LineOutputOpener::make_file_name(const char* input_name) {
  given_name.reset();
  std::string name;
  const char* ext = extension();
  if (input_name != nullptr && input_name[0] != '\0') {
    name = input_name;
    if (cut != 0) apply_cut(name, cut);
    if (appendix) apply_appendix(name, *appendix);
    if (ext != nullptr) replace_extension(name, ext);
  } else {
    name = std::string("output.") + (ext != nullptr ? ext : "xxx");
  }
  if (directory) apply_directory(name, *directory);
  file_name = std::move(name);
}

bool LineOutputOpener::set_directory(const char* text) {
  directory.reset();
  if (text == nullptr) {
    derive_file_name();
    return true;
  }
  if (std::strchr(text, ';') != nullptr || std::strchr(text, '"') != nullptr) {
    print_message("WARNING: specified '-odir' seems to contain a substring '\\\"' such\n");
    print_message("         as -odir \"D:\\\" or -odir \"..\\tiles\\\". this command will\n");
    print_message("         probably fail. please use -odir \"D:\" or -odir \"..\\tiles\"\n");
    print_message("         instead.\n");
  }
  std::string stored(text);
  // A lone separator names the root and stays.
  if (stored.size() > 1 && is_separator(stored.back())) stored.pop_back();
  directory = stored;
  if (given_name) {
    derive_file_name();
  } else if (file_name) {
    apply_directory(*file_name, stored);
  }
  if (stored.empty() || stored.back() == ':') return true;
  struct stat info;
  return stat(stored.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void LineOutputOpener::set_appendix(const char* text) {
  if (text == nullptr) {
    appendix.reset();
  } else {
    appendix = text;
  }
  if (given_name) {
    derive_file_name();
  } else if (file_name && appendix) {
    apply_appendix(*file_name, *appendix);
  }
}

void LineOutputOpener::set_cut(std::uint32_t n) {
  cut = n;
  if (given_name) {
    derive_file_name();
  } else if (file_name && n != 0) {
    apply_cut(*file_name, n);
  }
}

void LineOutputOpener::set_format(const char* word) {
  format = word;
}

bool LineOutputOpener::format_is(const char* word) const {
  return format == word;
}

std::unique_ptr<LINEwriter> LineOutputOpener::open_writer(bool flag) {
  const char* name = file_name ? file_name->c_str() : nullptr;
  std::unique_ptr<LINEwriter> writer;
  // Each writer names the file and the cause when it cannot open; that one line is the message.
  if (format == "shp") {
    auto shp = std::make_unique<SHPwriter>();
    if (!shp->open(name, 13, 0, flag, dbf)) return nullptr;
    std::string wkt;
    if (converter != nullptr && prj_text(wkt) && !shp->add_prj(wkt)) return nullptr;
    writer = std::move(shp);
  } else if (format == "kml" || format == "txt" || format == "wkt") {
    // Without a name the text writers would fall back to standard output unasked.
    if (!use_stdout && name == nullptr) {
      print_message("ERROR: no file name for the %s output\n",
                    format == "kml" ? "KML" : (format == "txt" ? "TXT" : "WKT"));
      return nullptr;
    }
    bool opened = false;
    if (format == "kml") {
      auto kml = std::make_unique<KMLwriter>();
      kml->set_clamp_to_ground(kml_clamp_to_ground);
      kml->set_elevation_offset(kml_elevation_offset);
      opened = kml->open(use_stdout ? nullptr : name, flag);
      writer = std::move(kml);
    } else if (format == "txt") {
      auto txt = std::make_unique<TXTwriter>();
      opened = txt->open(use_stdout ? nullptr : name);
      writer = std::move(txt);
    } else {
      auto wkt = std::make_unique<WKTwriter>();
      opened = wkt->open(use_stdout ? nullptr : name);
      writer = std::move(wkt);
    }
    if (!opened) return nullptr;
  } else {
    print_message("ERROR: cannot write the '%s' format. use -oshp, -okml, -owkt or -otxt\n", format.c_str());
    return nullptr;
  }
  writer->only_2d = only_2d;
  return writer;
}

bool LineOutputOpener::prj_text(std::string& wkt) const {
  if (converter == nullptr) {
    print_message("ERROR: cannot produce prj file without geoprojectionconverter\n");
    return false;
  }
  if (!converter->has_projection(GeoSide::source)) return false;
  if (!converter->get_ogc_wkt(wkt, GeoSide::source)) {
    // The contours are still good; only their georeferencing cannot be told.
    print_message("WARNING: cannot get prj string from geoprojectionconverter. no .prj file is written\n");
    return false;
  }
  return true;
}

bool LineOutputOpener::write_prj(const char* name) {
  std::string wkt;
  if (!prj_text(wkt)) return false;
  if (name == nullptr) name = get_file_name();
  if (name == nullptr) {
    print_message("ERROR: cannot produce prj file without file name\n");
    return false;
  }
  std::string prj_name(name);
  replace_extension(prj_name, "prj");
  OutputFile file;
  if (!file.open(prj_name.c_str(), "w")) {
    print_message("ERROR: cannot open '%s' for write: %s\n", prj_name.c_str(), file.error_text().c_str());
    return false;
  }
  file.write(wkt.data(), wkt.size());
  return file.close();
}

int LineOutputOpener::unparse(char* buffer, std::size_t size, bool with_names) const {
  std::string text;
  unparse(text, with_names);
  if (buffer == nullptr || size == 0) return -1;
  if (text.size() + 1 > size) {
    buffer[0] = '\0';
    return -1;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

void LineOutputOpener::unparse(std::string& text, bool with_names) const {
  if (with_names) {
    if (directory) {
      append_option(text, "-odir");
      append_quoted(text, *directory);
    }
    if (given_name || file_name) {
      append_option(text, "-o");
      append_quoted(text, given_name ? *given_name : *file_name);
    }
    if (appendix) {
      append_option(text, "-odix");
      append_quoted(text, *appendix);
    }
    if (cut != 0) append_format(text, "-ocut %u ", cut);
    text += "-o" + format + " ";
    if (dbf) text += "-odbf ";
  }
  if (use_stdout) text += "-stdout ";
  if (only_2d) text += "-only_2d ";
  if (!kml_clamp_to_ground) text += "-kml_absolute ";
  if (kml_elevation_offset != 0.0f) {
    append_option(text, "-kml_elevation_offset");
    append_number_in_form(text, kml_elevation_offset, "%g");
  }
}
