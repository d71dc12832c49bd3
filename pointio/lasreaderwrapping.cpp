#include "pointio/lasreaderwrapping.h"

#include "common/messages.h"

bool LASreaderWrapping::wrap(std::unique_ptr<LASreader> reader) {
  if (!reader) {
    print_message_text("ERROR: no lasreader\n");
    return false;
  }
  wrapped_ = std::move(reader);
  header = wrapped_->header;
  main_header_ = wrapped_->main_header();
  if (!init_point_for_records(header, point)) return false;
  npoints = wrapped_->get_npoints();
  p_count = 0;
  return true;
}

bool init_point_for_records(const LASheader& header, LASpoint& point) {
  std::vector<LASitem> items;
  // The item lookup says itself what is wrong with the point type or size.
  if (!las_point_format_items(header.point_data_format, header.point_data_record_length, items)) return false;
  if (!point.init(&header, items, &header)) {
    print_message("ERROR: unknown point type %d with point size %d\n", header.point_data_format,
                  header.point_data_record_length);
    return false;
  }
  return true;
}

void warn_of_different_records(const LASheader& kept, const LASheader& other) {
  if (other.point_data_format != kept.point_data_format) {
    print_message("WARNING: files have different point types: %d vs %d\n", kept.point_data_format,
                  other.point_data_format);
  }
  if (other.point_data_record_length != kept.point_data_record_length) {
    print_message("WARNING: files have different point sizes: %d vs %d\n", kept.point_data_record_length,
                  other.point_data_record_length);
  }
}
