// The point sources other than LAS, built with the settings the input options gave.
#include <cstring>

#include "common/messages.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreaderbin.h"
#include "pointio/lasreaderply.h"
#include "pointio/lasreaderqfit.h"
#include "pointio/lasreadershp.h"
#include "pointio/lasreadertxt.h"

std::unique_ptr<LASreaderTXT> LASinputOpener::make_text_reader() const {
  auto reader = std::make_unique<LASreaderTXT>();
  reader->set_pts(ipts_);
  reader->set_ptx(iptx_ || iptx_transform_);
  reader->set_ptx_transform(iptx_transform_);
  reader->set_adjustments({translate_intensity_, scale_intensity_, translate_scan_angle_, scale_scan_angle_});
  reader->set_scale_factor(scale_factor_);
  reader->set_offset(offset_);
  for (const LAStextAttribute& a : attributes_) {
    if (!reader->add_attribute(a.data_type, a.name, a.description, a.scale, a.offset, a.pre_scale,
                               a.pre_offset, a.no_data)) {
      return nullptr;
    }
  }
  set_stages_before_open(*reader, false, false);
  return reader;
}

std::unique_ptr<LASreader> LASinputOpener::open_other_source(const char* kind, const std::string& name) {
  const char* parse = parse_string_ ? parse_string_->c_str() : nullptr;
  if (!std::strcmp(kind, "txt")) {
    std::unique_ptr<LASreaderTXT> reader = make_text_reader();
    if (!reader) return nullptr;
    if (!reader->open(name.c_str(), 0, parse, skip_lines_, populate_header_)) return nullptr;
    return reader;
  }
  if (!std::strcmp(kind, "shp")) {
    auto reader = std::make_unique<LASreaderSHP>();
    reader->set_scale_factor(scale_factor_);
    reader->set_offset(offset_);
    set_stages_before_open(*reader, false, false);
    if (!reader->open(name.c_str())) return nullptr;
    return reader;
  }
  if (!std::strcmp(kind, "ply")) {
    auto reader = std::make_unique<LASreaderPLY>();
    reader->set_scale_factor(scale_factor_);
    reader->set_offset(offset_);
    set_stages_before_open(*reader, false, false);
    if (!reader->open(name.c_str(), 0, populate_header_)) return nullptr;
    return reader;
  }
  // Integer sources re-express their integers in the requested quantization.
  if (!std::strcmp(kind, "bin")) {
    auto reader = std::make_unique<LASreaderBIN>();
    set_stages_before_open(*reader, true, false);
    if (!reader->open(name.c_str())) return nullptr;
    return reader;
  }
  if (!std::strcmp(kind, "qfit")) {
    auto reader = std::make_unique<LASreaderQFIT>();
    set_stages_before_open(*reader, true, false);
    if (!reader->open(name.c_str())) return nullptr;
    return reader;
  }
  print_message("ERROR: the input format of '%s' is not available in this build\n", name.c_str());
  return nullptr;
}

std::unique_ptr<LASreader> LASinputOpener::open_text_stdin() {
  std::unique_ptr<LASreaderTXT> reader = make_text_reader();
  if (!reader) return nullptr;
  const char* parse = parse_string_ ? parse_string_->c_str() : nullptr;
  if (!reader->open_stdin(0, parse, skip_lines_, populate_header_)) return nullptr;
  return reader;
}

bool LASinputOpener::reopen_other_source(std::unique_ptr<LASreader>& reader, const std::string& name) {
  if (auto* text = dynamic_cast<LASreaderTXT*>(reader.get())) {
    if (!text->reopen(name.c_str())) {
      print_message("ERROR: cannot reopen lasreadertxt with file name '%s'\n", name.c_str());
      return false;
    }
    return true;
  }
  if (auto* ply = dynamic_cast<LASreaderPLY*>(reader.get())) {
    if (!ply->reopen(name.c_str())) {
      print_message("ERROR: cannot reopen lasreaderply with file name '%s'\n", name.c_str());
      return false;
    }
    return true;
  }
  std::unique_ptr<LASreader> again = open_source(las_reader_kind(name, itxt_), name);
  if (!again) {
    print_message("ERROR: cannot reopen lasreader%s with file name '%s'\n", las_reader_kind(name, itxt_),
                  name.c_str());
    return false;
  }
  again->header.file_source_ID = reader->header.file_source_ID;
  reader = std::move(again);
  return true;
}
