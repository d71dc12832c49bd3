#pragma once
// Reads one file (the main file) plus the points of its neighbours that lie within buffer_size of
// the main file's bounds, so that a tile is triangulated with its surroundings and its contours
// continue across its edges. The main file's points come first, then the buffer points; all of
// them pass the stages set on this reader.
//
// Neighbours are opened through a caller-given opener that expresses their points in the main
// file's scale and offset; each is asked only for the rectangle around the main file, so a
// neighbour with a spatial index is read only where it matters.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pointio/lasreader.h"

class LASreaderBuffered : public LASreader {
 public:
  // Opens the source of one file; with a quantization, its integers must be expressed in it.
  using SourceOpener =
      std::function<std::unique_ptr<LASreader>(const std::string& name, const LASquantizer* quantization)>;

  LASreaderBuffered();
  ~LASreaderBuffered() override;

  void set_source_opener(SourceOpener opener) { opener_ = std::move(opener); }
  // Each checks that the file can be opened for reading.
  bool set_file_name(const std::string& name);
  bool add_neighbor_file_name(const std::string& name);
  void set_buffer_size(float size) { buffer_size_ = size; }

  bool open();
  // Starts again with the main file, then the buffer points (unless removed).
  bool reopen();
  // Drops the buffer points: later passes read the main file alone.
  void remove_buffer();

  int32_t get_format() const override { return main_ ? main_->get_format() : FORMAT_LAS; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;
  const LASheader& main_header() const override { return main_header_; }
  bool bounds_are_complete() const override { return !main_ || main_->bounds_are_complete(); }
  uint64_t buffer_points() const { return buffer_.size(); }

 private:
  bool open_main();
  bool add_neighbor(const std::string& name);
  void append(const LASpoint& p, const LASheader& from);

  SourceOpener opener_;
  std::string main_name_;
  std::vector<std::string> neighbors_;
  float buffer_size_ = 0;
  std::unique_ptr<LASreader> main_;
  LASheader main_header_;
  // The buffer points with every field; extra bytes in one array, extra_bytes_number each.
  std::vector<LASpointFields> buffer_;
  std::vector<uint8_t> buffer_extra_;
  size_t extra_size_ = 0;
  size_t buffer_read_ = 0;
  bool main_done_ = false;
};
