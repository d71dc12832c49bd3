// The point sources other than LAS, built with the settings the input options gave.
//
// Sources that parse real coordinates (text, PLY, Shapefiles, rasters) quantize them with the
// requested scale and offset themselves; those that read integers (BIN, QFIT, like LAS)
// re-express them in a requantize stage. A source read as part of a merged input delivers its
// integers in the merged header's quantization instead of the requested one.
#include <cstring>

#include "common/messages.h"
#include "pointio/detail/lasreaderasc.h"
#include "pointio/detail/lasreaderbil.h"
#include "pointio/detail/lasreaderbin.h"
#include "pointio/detail/lasreaderdtm.h"
#include "pointio/detail/lasreaderply.h"
#include "pointio/detail/lasreaderqfit.h"
#include "pointio/detail/lasreadershp.h"
#include "pointio/detail/lasreadertxt.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreaderlas.h"
#include "pointio/lasrequantize.h"

namespace {

bool is(const char* kind, const char* name) {
  return std::strcmp(kind, name) == 0;
}

// The requested scale and offset for a source, or the merged header's quantization.
struct Quantization {
  RequestedTriple scale, offset;
};

Quantization quantization_of(const LASquantizer& q) {
  return {std::array<double, 3>{q.x_scale_factor, q.y_scale_factor, q.z_scale_factor},
          std::array<double, 3>{q.x_offset, q.y_offset, q.z_offset}};
}

template <class Reader>
std::unique_ptr<Reader> real_source(const Quantization& q) {
  auto reader = std::make_unique<Reader>();
  reader->set_scale_factor(q.scale);
  reader->set_offset(q.offset);
  return reader;
}

}  // namespace

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
  return reader;
}

std::unique_ptr<LASreader> LASinputOpener::open_other_source(const char* kind, const std::string& name,
                                                             const LASquantizer* quantization,
                                                             bool wrapped) const {
  const Quantization q = quantization ? quantization_of(*quantization) : Quantization{scale_factor_, offset_};
  const char* const file = name.c_str();
  // Integer sources are requantized to the given quantization, else to the requested one; the
  // filter and the transform belong to the reader that wraps the source, if any.
  const auto integer_stages = [&](LASreader& reader) {
    if (q.scale || q.offset) {
      reader.set_stage(
          LASreader::STAGE_REQUANTIZE,
          std::make_unique<LASrequantizeStage>(LASrequantizeStage::Request{q.scale, q.offset, false}));
    }
    if (!wrapped) set_point_stages_on(reader);
  };
  // A source read in a given quantization needs no counting pass: the wrapping reader knows its
  // header already, or reads it only for the points around another file.
  const bool populate = populate_header_ && !quantization;
  const auto real_stages = [&](LASreader& reader) {
    if (!wrapped) set_point_stages_on(reader);
  };
  if (is(kind, "txt")) {
    std::unique_ptr<LASreaderTXT> reader = make_text_reader();
    if (!reader) return nullptr;
    reader->set_scale_factor(q.scale);
    reader->set_offset(q.offset);
    real_stages(*reader);
    const char* parse = parse_string_ ? parse_string_->c_str() : nullptr;
    if (!reader->open(file, 0, parse, skip_lines_, populate)) return nullptr;
    return reader;
  }
  if (is(kind, "ply")) {
    auto reader = real_source<LASreaderPLY>(q);
    real_stages(*reader);
    if (!reader->open(file, 0, populate)) return nullptr;
    return reader;
  }
  if (is(kind, "shp")) {
    auto reader = real_source<LASreaderSHP>(q);
    real_stages(*reader);
    if (!reader->open(file)) return nullptr;
    return reader;
  }
  if (is(kind, "asc")) {
    auto reader = real_source<LASreaderASC>(q);
    real_stages(*reader);
    if (!reader->open(file, comma_not_point_)) return nullptr;
    return reader;
  }
  if (is(kind, "bil")) {
    auto reader = real_source<LASreaderBIL>(q);
    real_stages(*reader);
    if (!reader->open(file)) return nullptr;
    return reader;
  }
  if (is(kind, "dtm")) {
    auto reader = real_source<LASreaderDTM>(q);
    real_stages(*reader);
    if (!reader->open(file)) return nullptr;
    return reader;
  }
  if (is(kind, "bin")) {
    auto reader = std::make_unique<LASreaderBIN>();
    integer_stages(*reader);
    if (!reader->open(file)) return nullptr;
    return reader;
  }
  if (is(kind, "qfit")) {
    auto reader = std::make_unique<LASreaderQFIT>();
    integer_stages(*reader);
    if (!reader->open(file)) return nullptr;
    return reader;
  }
  if (is(kind, "las")) {  // a LAS file among other kinds in a merged input
    auto reader = std::make_unique<LASreaderLAS>();
    if (quantization) integer_stages(*reader);
    if (!reader->open(file, quantization ? io_ibuffer_size_ : 512, false, LASreaderLAS::kDecompressAll))
      return nullptr;
    return reader;
  }
  print_message("ERROR: the input format of '%s' is not available in this build\n", file);
  return nullptr;
}

std::unique_ptr<LASreader> LASinputOpener::open_text_stdin() {
  std::unique_ptr<LASreaderTXT> reader = make_text_reader();
  if (!reader) return nullptr;
  set_stages_before_open(*reader, false, false);
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
  const char* kind = las_reader_kind(name, itxt_);
  std::unique_ptr<LASreader> again = open_other_source(kind, name, nullptr, false);
  if (!again) {
    print_message("ERROR: cannot reopen lasreader%s with file name '%s'\n", kind, name.c_str());
    return false;
  }
  again->header.file_source_ID = reader->header.file_source_ID;
  reader = std::move(again);
  return true;
}
