// CRC-16 of MPEG audio frames that carry a protection field.
#pragma once

#include <cstdint>
#include <optional>

#include "mp3/byte_source.h"
#include "mp3/frame_header.h"

namespace mp3 {

// CRC-16, polynomial 0x8005 processed most significant bit first (the frame CRC).
// Feed bytes with an initial value of 0xFFFF.
uint16_t Crc16Update(uint16_t crc, ByteView bytes);

// CRC-16, polynomial 0x8005 reflected (0xA001), initial 0: the checksum that LAME tags use
// for both the tag itself and the music data.
uint16_t LameCrc16Update(uint16_t crc, ByteView bytes);

enum class CrcStatus : uint8_t {
  NotProtected,  // the header has no CRC field
  Ok,
  Mismatch,
  Unverifiable,  // frame shorter than the protected part
};

// The CRC over the protected bits of a frame that starts at frame[0]:
//  - Layer III: header bytes 2-3, then the side information;
//  - Layer I: header bytes 2-3, then the bit allocation (4 bits per subband and channel,
//    shared above the joint-stereo bound);
//  - Layer II: header bytes 2-3, then the bit allocation and the scale-factor selection
//    information, using the allocation table that bitrate per channel and sample rate select.
// nullopt when the frame is too short or the header has no CRC field.
std::optional<uint16_t> ComputeFrameCrc(const FrameHeader& header, ByteView frame);

// Compares the computed CRC against the stored one (bytes 4-5 of the frame).
CrcStatus CheckFrameCrc(const FrameHeader& header, ByteView frame);

}  // namespace mp3
