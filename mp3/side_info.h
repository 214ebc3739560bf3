// Layer III side information: the part of it that tells where a frame's audio data lies.
#pragma once

#include <cstdint>
#include <optional>

#include "mp3/byte_source.h"
#include "mp3/frame_header.h"

namespace mp3 {

// main_data_begin: how many bytes before the end of its side information a Layer III frame's
// audio data starts (the bit reservoir: those bytes lie in the main-data areas of earlier
// frames). 9 bits in MPEG-1, 8 bits in MPEG-2/2.5. `frame` starts at the header; nullopt for
// Layers I and II or when the frame is too short to hold the field.
std::optional<int> MainDataBegin(const FrameHeader& header, ByteView frame);

// Bytes of a frame of `frameSize` bytes that carry main data (its own or later frames'): all
// that follows the header, the CRC field and the side information. 0 for Layers I and II.
int MainDataCapacity(const FrameHeader& header, uint64_t frameSize);

}  // namespace mp3
