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

// What a decoder that lacks a frame's bit reservoir reads as its first part2_3_length when it
// does as mpg123 does: main_data_begin replaced by the bytes it holds, the side information
// zeroed from its third byte on. MPEG-1's 9-bit main_data_begin fills the two bytes kept (0);
// MPEG-2/2.5's 8-bit one leaves the private bits and the top bits of that length in the
// second. nullopt as for MainDataBegin.
std::optional<int> LengthLeftAfterZeroing(const FrameHeader& header, ByteView frame);

// Bytes of a frame of `frameSize` bytes that carry main data (its own or later frames'): all
// that follows the header, the CRC field and the side information. 0 for Layers I and II.
int MainDataCapacity(const FrameHeader& header, uint64_t frameSize);

}  // namespace mp3
