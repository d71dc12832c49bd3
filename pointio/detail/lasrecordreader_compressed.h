#pragma once
// Where the decoder for the records of a compressed file is chosen. The header carries the
// compression record's payload (LASheader::compression_vlr_payload); the decoder library reads it,
// checks it against the header's record length and answers the item list of the records together
// with a decoder for them.

#include <cstdint>
#include <memory>
#include <vector>

#include "pointio/lasheader.h"
#include "pointio/laspoint.h"
#include "pointio/lasrecordreader.h"

// Fills `items` with the records' item list and answers the decoder, or prints the reason
// ("ERROR: ...") and answers none. `field_mask` names the fields to decode (las_fields bits).
std::unique_ptr<LASrecordReader> make_compressed_record_reader(const LASheader& header, uint32_t field_mask,
                                                               std::vector<LASitem>& items);
