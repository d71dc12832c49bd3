// Opening the inputs the options describe.
#include "pointio/lasinputopener.h"

#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "pointio/laspointstages.h"
#include "pointio/lasreaderlas.h"
#include "pointio/lasreadermerged.h"
#include "pointio/lasrequantize.h"
#include "pointio/spatialindex.h"

namespace {

// Reader kinds in the order their name tests are tried; the text reader takes everything else.
struct ReaderKind {
  const char* name;  // as it appears in messages: "lasreader<name>"
  const char* patterns[2];
};
const ReaderKind kKinds[] = {
    {"las", {".las", ".LAS"}}, {"las", {".rkp", ".RKP"}}, {"bin", {".bin", ".BIN"}},
    {"shp", {".shp", ".SHP"}}, {"asc", {".asc", ".ASC"}}, {"bil", {".bil", ".BIL"}},
    {"dtm", {".dtm", ".DTM"}}, {"ply", {".ply", ".PLY"}}, {"qfit", {".qi", ".QI"}},
};

// A reader that failed with an ERROR line of its own is named on an indented line after it, so a
// failing run prints one ERROR line for its cause.
const char* error_prefix(unsigned long errors_before) {
  return error_message_count() == errors_before ? "ERROR:" : "      ";
}

}  // namespace

const char* las_reader_kind(const std::string& name, bool itxt) {
  if (itxt) return "txt";
  for (const auto& kind : kKinds) {
    for (const char* p : kind.patterns) {
      if (name.find(p) != std::string::npos) return kind.name;
    }
  }
  return "txt";
}

namespace {

// The kind as messages name it: "LAS", "TXT", ...
const char* kind_label(const char* kind) {
  static const char* const kLabels[][2] = {{"las", "LAS"}, {"bin", "BIN"},   {"shp", "SHP"},
                                           {"asc", "ASC"}, {"bil", "BIL"},   {"dtm", "DTM"},
                                           {"ply", "PLY"}, {"qfit", "QFIT"}, {"txt", "TXT"}};
  for (const auto& label : kLabels) {
    if (std::strcmp(label[0], kind) == 0) return label[1];
  }
  return kind;
}

}  // namespace

LASinputOpener::LASinputOpener() = default;
LASinputOpener::~LASinputOpener() = default;

void LASinputOpener::set_point_stages(std::unique_ptr<LASpointStages> stages) {
  stages_ = std::move(stages);
}

void LASinputOpener::write_point_stage_options(std::string& text) const {
  if (stages_) stages_->unparse(text);
}

uint32_t LASinputOpener::fields_to_decode() const {
  // The stages set on a reader add the fields they read themselves; the ignore set has no stage.
  return decompress_selective_ | (stages_ ? stages_->get_decompress_selective() : 0u);
}

bool LASinputOpener::check_for_overflow() const {
  return !stages_ || stages_->check_for_overflow();
}

void LASinputOpener::set_point_stages_on(LASreader& reader) const {
  if (!stages_) return;
  stages_->reset();
  reader.set_stage(LASreader::STAGE_FILTER, stages_->make_filter_stage());
  reader.set_stage(LASreader::STAGE_TRANSFORM, stages_->make_transform_stage());
}

// With flight-line numbering every point gets the file's source ID, by an operation of the
// transform that is replaced for every file (its stage needs no field, so it may join after the
// open, once the header's ID is known).
void LASinputOpener::number_flight_line(LASreader& reader) const {
  if (files_are_flightlines_) {
    const size_t position = file_name_current_;  // 1-based position of the file just handed out
    reader.header.file_source_ID =
        static_cast<uint16_t>(files_are_flightlines_ + files_are_flightlines_index_ + position);
  }
  if (!stages_ || !(files_are_flightlines_ || apply_file_source_ID_)) return;
  stages_->set_point_source(reader.header.file_source_ID);
  if (!reader.get_stage(LASreader::STAGE_TRANSFORM))
    reader.set_stage(LASreader::STAGE_TRANSFORM, stages_->make_transform_stage());
}

// The source of a LAS-family input, with the stages that must be in place before it opens: the
// requantization the user asked for, then the filter and the transform. The area of interest
// follows after the open, because it is compared with the source's bounds.
std::unique_ptr<LASreaderLAS> LASinputOpener::make_las_reader() const {
  auto reader = std::make_unique<LASreaderLAS>();
  set_stages_before_open(*reader, true, auto_reoffset_);
  return reader;
}

// A LAX file next to a LAS-family file replaces an index the file carries itself; it only matters
// when an area of interest is set.
void LASinputOpener::attach_lax_index(LASreader& reader, const std::string& name) const {
  if (!tile_ && !circle_ && !rectangle_) return;
  auto index = std::make_unique<LASspatialIndex>();
  if (index->read(name)) reader.set_index(std::move(index));
}

// Sources that parse real coordinates quantize them with the requested scale and offset
// themselves; those that read integers (LAS, BIN, QFIT) re-express them in a requantize stage.
void LASinputOpener::set_stages_before_open(LASreader& reader, bool requantize, bool auto_offset) const {
  if (requantize && (scale_factor_ || offset_ || auto_offset)) {
    reader.set_stage(LASreader::STAGE_REQUANTIZE,
                     std::make_unique<LASrequantizeStage>(
                         LASrequantizeStage::Request{scale_factor_, offset_, auto_offset && !offset_}));
  }
  set_point_stages_on(reader);
}

bool LASinputOpener::apply_area(LASreader& reader, bool single_file) const {
  if (single_file) {
    if (rectangle_)
      return reader.inside_rectangle(rectangle_->min_x, rectangle_->min_y, rectangle_->max_x,
                                     rectangle_->max_y);
    if (tile_) return reader.inside_tile(tile_->ll_x, tile_->ll_y, tile_->size);
    if (circle_) return reader.inside_circle(circle_->center_x, circle_->center_y, circle_->radius);
    return true;
  }
  if (tile_) reader.inside_tile(tile_->ll_x, tile_->ll_y, tile_->size);
  if (circle_) reader.inside_circle(circle_->center_x, circle_->center_y, circle_->radius);
  if (rectangle_)
    reader.inside_rectangle(rectangle_->min_x, rectangle_->min_y, rectangle_->max_x, rectangle_->max_y);
  return true;
}

std::unique_ptr<LASreader> LASinputOpener::open() {
  if (!file_names_.empty()) use_stdin_ = false;
  if (use_stdin_) return open_stdin();
  if (file_name_current_ >= file_names_.size()) return nullptr;
  bool has_ids = false;
  for (const auto& f : file_names_) has_ids = has_ids || f.info.has_id;
  if (merged_ && (file_names_.size() > 1 || has_ids)) return wrap(open_merged(), "merged");
  if (is_buffered()) return wrap(open_buffered(), "buffered");
  const std::string& name = file_names_[file_name_current_++].name;
  file_name_ = name;
  return wrap(open_single(name), las_reader_kind(name, itxt_));
}

const char* LASinputOpener::las_kind_of(const std::string& name) const {
  return las_reader_kind(name, itxt_);
}

std::unique_ptr<LASreader> LASinputOpener::open_single(const std::string& name) {
  const char* kind = las_reader_kind(name, itxt_);
  const unsigned long errors_before = error_message_count();
  std::unique_ptr<LASreader> reader = open_source(kind, name);
  if (!reader) {
    print_message("%s cannot open lasreader%s with file name '%s'\n", error_prefix(errors_before), kind,
                  name.c_str());
    return nullptr;
  }
  number_flight_line(*reader);
  attach_lax_index(*reader, name);
  apply_area(*reader, true);
  return reader;
}

// The source of one file of the kind its name names; none after printing why it cannot be opened.
std::unique_ptr<LASreader> LASinputOpener::open_source(const char* kind, const std::string& name) {
  if (std::strcmp(kind, "las") != 0) return open_other_source(kind, name, nullptr, false);
  std::unique_ptr<LASreaderLAS> reader = make_las_reader();
  if (!reader->open(name.c_str(), io_ibuffer_size_, false, fields_to_decode())) return nullptr;
  return reader;
}

std::unique_ptr<LASreader> LASinputOpener::open_merged() {
  auto merged = std::make_unique<LASreaderMerged>();
  set_point_stages_on(*merged);
  merged->set_scale_factor(scale_factor_);
  merged->set_offset(offset_);
  merged->set_io_ibuffer_size(io_ibuffer_size_);
  merged->set_files_are_flightlines(files_are_flightlines_, files_are_flightlines_index_);
  merged->set_apply_file_source_ID(apply_file_source_ID_);
  // The first file fixes the kind of the merged cloud; files of other kinds are skipped.
  const char* list_kind = las_reader_kind(file_names_.front().name, itxt_);
  for (const auto& f : file_names_) {
    const char* kind = las_reader_kind(f.name, itxt_);
    if (std::strcmp(kind, list_kind) != 0) {
      print_message("ERROR: cannot mix %s with %s. skipping '%s' ...\n", kind_label(kind),
                    kind_label(list_kind), f.name.c_str());
      continue;
    }
    merged->add_file_name(f.name);
  }
  // Other kinds are opened here, each file with its own settings and its own stream.
  if (std::strcmp(list_kind, "las") != 0) {
    merged->set_source_opener(
        [this](const std::string& name, const LASquantizer* quantization) {
          return open_other_source(las_reader_kind(name, itxt_), name, quantization, true);
        },
        list_kind);
  }
  file_name_current_ = file_names_.size();
  const unsigned long errors_before = error_message_count();
  if (!merged->open()) {
    print_message("%s cannot open lasreadermerged with %d file names\n", error_prefix(errors_before),
                  static_cast<int>(file_names_.size()));
    return nullptr;
  }
  apply_area(*merged, false);
  return merged;
}

std::unique_ptr<LASreader> LASinputOpener::open_stdin() {
  use_stdin_ = false;
  populate_header_ = true;
  std::unique_ptr<LASreader> reader;
  if (itxt_) {
    reader = open_text_stdin();
    if (!reader) {
      print_message("ERROR: cannot open lasreadertxt from stdin \n");
      return nullptr;
    }
  } else {
    std::unique_ptr<LASreaderLAS> las = make_las_reader();
    const unsigned long errors_before = error_message_count();
    if (!las->open(stdin, false, LASreaderLAS::kDecompressAll)) {
      print_message("%s cannot open lasreaderlas from stdin \n", error_prefix(errors_before));
      return nullptr;
    }
    reader = std::move(las);
  }
  if (stages_ && apply_file_source_ID_) {
    stages_->set_point_source(reader->header.file_source_ID);
    if (!reader->get_stage(LASreader::STAGE_TRANSFORM))
      reader->set_stage(LASreader::STAGE_TRANSFORM, stages_->make_transform_stage());
  }
  apply_area(*reader, true);
  return wrap(std::move(reader), itxt_ ? "txt" : "las from stdin");
}

bool LASinputOpener::reopen(std::unique_ptr<LASreader>& reader, bool remain_buffered) {
  if (!reader) {
    print_message("ERROR: pointer to LASreader is NULL\n");
    return false;
  }
  reader->close();
  reader->reset_stages();
  bool wrapped_ok = false;
  if (reopen_wrapped(reader, remain_buffered, wrapped_ok)) return wrapped_ok;
  if (file_names_.empty()) {
    print_message("ERROR: no lasreader input specified\n");
    return false;
  }
  if (auto* merged = dynamic_cast<LASreaderMerged*>(reader.get())) {
    if (!merged->reopen()) {
      print_message("ERROR: cannot reopen lasreadermerged\n");
      return false;
    }
    apply_area(*merged, false);
    return true;
  }
  const std::string name = file_name_ ? *file_name_ : file_names_.front().name;
  if (std::strcmp(las_reader_kind(name, itxt_), "las") != 0) {
    if (!reopen_other_source(reader, name)) return false;
    apply_area(*reader, true);
    return true;
  }
  std::unique_ptr<LASreaderLAS> again = make_las_reader();
  if (!again->open(name.c_str(), io_ibuffer_size_, false, fields_to_decode())) {
    print_message("ERROR: cannot reopen lasreaderlas with file name '%s'\n", name.c_str());
    return false;
  }
  again->header.file_source_ID = reader->header.file_source_ID;
  attach_lax_index(*again, name);
  apply_area(*again, true);
  reader = std::move(again);
  return true;
}
