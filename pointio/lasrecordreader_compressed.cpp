#include "pointio/lasrecordreader_compressed.h"

#include "common/messages.h"

// The compressed decoders plug in here.
std::unique_ptr<LASrecordReader> make_compressed_record_reader(const LASheader& /*header*/,
                                                               uint32_t /*field_mask*/,
                                                               std::vector<LASitem>& /*items*/) {
  print_message_text("ERROR: compressed RKP input is not supported yet\n");
  return nullptr;
}
