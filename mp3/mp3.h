// The portable MP3 stream library: everything the parser filter and the command-line
// tools know about the MP3 format lives behind this header.
//
//   mp3/byte_source.h   ByteView, ByteSource, FileSource (FILE*), MemorySource
//   mp3/frame_header.h  FrameHeader, ParseFrameHeader, MakeFrameHeader, SameStream
//   mp3/crc.h           frame CRC-16 check, LAME CRC
//   mp3/tags.h          ID3v2 at the start; ID3v1, APEv2, Lyrics3 at the end; the length frame rewrite
//   mp3/vbr_header.h    Xing/Info + LAME tag, VBRI: parsing and building
//   mp3/scanner.h       FrameScanner: confirmed sync, skipped ranges, truncated frame
//   mp3/stream.h        AnalyzeStream, StreamLayout, Status; FindMainStream, StreamTally (the file's stream)
//   mp3/frame_index.h   FrameIndex: per-frame offsets and times, time<->frame lookups
//   mp3/media_time.h    samples <-> 100-ns units <-> milliseconds
//   mp3/side_info.h     Layer III main_data_begin (bit reservoir reach)
//   mp3/gapless.h       gapless decoding: decoder delay, sample-exact cut planning
//   mp3/main_data.h     Layer III main data moved out of the bit reservoir (a cut's first frame)
//
// Nothing in the library throws to its callers (allocation failure aside) and no input
// crashes it: failures are Status values, nullopt or empty results.
#pragma once

#include "mp3/byte_source.h"
#include "mp3/crc.h"
#include "mp3/frame_header.h"
#include "mp3/frame_index.h"
#include "mp3/gapless.h"
#include "mp3/main_data.h"
#include "mp3/media_time.h"
#include "mp3/scanner.h"
#include "mp3/side_info.h"
#include "mp3/stream.h"
#include "mp3/tags.h"
#include "mp3/vbr_header.h"
