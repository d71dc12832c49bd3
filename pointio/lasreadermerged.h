// Reads several LAS files as one point cloud with one header: counts summed, bounds widened, and
// every point expressed in the merged header's scale and offset.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pointio/lasreader.h"

class LASreaderMerged : public LASreader {
 public:
  LASreaderMerged();
  ~LASreaderMerged() override;

  // Opens the source of one file: with `quantization` none for the first look at every header,
  // then with the merged header, whose scale and offset the source must deliver its integers in.
  // Without one, every file is read as LAS.
  using SourceOpener =
      std::function<std::unique_ptr<LASreader>(const std::string& name, const LASquantizer* quantization)>;
  // `kind` names the sources in messages ("lasreader<kind>").
  void set_source_opener(SourceOpener opener, std::string kind) {
    source_opener_ = std::move(opener);
    kind_ = std::move(kind);
  }

  // Adds a file that can be opened for reading; answers false (with a message) otherwise.
  bool add_file_name(const std::string& name);
  void set_scale_factor(const std::optional<std::array<double, 3>>& scale) { requested_scale_ = scale; }
  void set_offset(const std::optional<std::array<double, 3>>& offset) { requested_offset_ = offset; }
  void set_io_ibuffer_size(uint32_t size) { io_ibuffer_size_ = size; }
  void set_files_are_flightlines(uint32_t start, int32_t index) {
    files_are_flightlines_ = start;
    files_are_flightlines_index_ = index;
  }
  void set_apply_file_source_ID(bool apply) { apply_file_source_ID_ = apply; }

  // Reads every header to build the merged one, then opens the first file for reading.
  bool open();
  // Starts again with the first file.
  bool reopen();

  // The area also goes to every file as it is opened, with the file's own spatial index, so a
  // file the area misses is not read and the others only where their index says.
  bool inside_none() override;
  bool inside_tile(float ll_x, float ll_y, float size) override;
  bool inside_circle(double center_x, double center_y, double radius) override;
  bool inside_rectangle(double min_x, double min_y, double max_x, double max_y) override;

  int32_t get_format() const override;
  bool bounds_are_complete() const override { return bounds_complete_; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;

 private:
  struct FileExtent {
    int64_t npoints = 0;
    double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
  };
  bool read_headers();
  void merge_header(const LASheader& h, bool first);
  void fit_quantization();
  bool open_file(size_t index);
  void apply_area(LASreader& reader, const std::string& name) const;
  std::unique_ptr<LASreader> open_source(const std::string& name, const LASquantizer* quantization) const;

  std::vector<std::string> file_names_;
  std::vector<FileExtent> extents_;
  std::optional<std::array<double, 3>> requested_scale_;
  std::optional<std::array<double, 3>> requested_offset_;
  uint32_t io_ibuffer_size_ = 262144;
  uint32_t files_are_flightlines_ = 0;
  int32_t files_are_flightlines_index_ = -1;
  bool apply_file_source_ID_ = false;
  size_t current_ = 0;
  bool bounds_complete_ = true;  // every file's header bounds hold all of its points
  Inside area_ = INSIDE_NONE;
  double area_values_[4] = {0, 0, 0, 0};
  SourceOpener source_opener_;
  std::string kind_ = "las";
  std::unique_ptr<LASreader> reader_;
};
