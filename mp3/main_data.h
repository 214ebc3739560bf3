// Layer III main data moved between frames without touching a bit of it.
//
// A frame's granules (their scale factors and Huffman data) start main_data_begin bytes before
// its own main-data area, in the areas of the frames before it (the bit reservoir), and take
// as many bits as their part2_3_length fields add up to. The bytes themselves do not depend on
// where they lie, so a frame can be rewritten with a larger bitrate index to hold in its own
// area what it took from the reservoir: the first frame of a cut then needs no frame before it
// for its audio.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mp3/byte_source.h"
#include "mp3/frame_header.h"

namespace mp3 {

// The largest main_data_begin a frame of this version can state (9 bits in MPEG-1, 8 bits in
// MPEG-2/2.5).
int MaxMainDataBegin(Version version);

// The bits that a Layer III frame's granules take in the main data: the part2_3_length of each
// granule and channel added up. nullopt for Layers I and II or when the side information is not
// all there.
std::optional<int> MainDataBits(const FrameHeader& header, ByteView frame);

// Frames that decode as `frame` does in its stream and need no byte before them.
struct SelfContainedStart {
  std::vector<std::vector<uint8_t>> frames;
  // Frames in front of the rewritten one whose granules are empty (0 when it holds its own
  // main data); each adds its samples of silence before `frame`'s.
  int emptyLeadFrames = 0;
};

// `frame` is a Layer III frame (header first, at least its side information and its whole
// main-data area); `reservoir` is the main data its stream holds before it: the main-data
// areas of the frames before it, oldest first, ending where `frame`'s area begins (at least
// main_data_begin bytes of it). `nextMainDataBegin` is the main_data_begin of the frame that
// follows it, whose reservoir the result must leave in place; nullopt when none follows.
//
// The result is `frame` as it stands when its main_data_begin is 0; else `frame` with main_data_begin 0 and the
// smallest bitrate index whose area holds its main data and then, at its end, the next frame's reservoir (zeros
// between); where no bitrate holds that, a frame with empty granules whose area ends with `frame`'s reservoir, followed
// by `frame` unchanged. A CRC field is computed afresh. nullopt when the reservoir holds less than `frame` needs or the
// fields do not add up (a damaged frame).
std::optional<SelfContainedStart> MakeSelfContainedStart(const FrameHeader& header, ByteView frame, ByteView reservoir,
                                                         std::optional<int> nextMainDataBegin);

}  // namespace mp3
