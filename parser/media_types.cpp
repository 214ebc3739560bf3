#include "media_types.h"

#include <mmreg.h>

#include <cstring>

#include "mp3/frame_header.h"
#include "parser_ids.h"

namespace clipvane_parser {
namespace {

// Decoder delay of a Layer III decoder in samples, as MPEGLAYER3WAVEFORMAT describes it.
constexpr WORD kLayer3CodecDelay = 1393;

void *AllocateFormat(AM_MEDIA_TYPE &type, ULONG bytes) {
  type.pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(bytes));
  if (!type.pbFormat) return nullptr;
  std::memset(type.pbFormat, 0, bytes);
  type.cbFormat = bytes;
  type.formattype = FORMAT_WaveFormatEx;
  return type.pbFormat;
}

void FillWaveHeader(WAVEFORMATEX &wave, WORD tag, const mp3::FrameHeader &header, WORD extraBytes) {
  wave.wFormatTag = tag;
  wave.nChannels = static_cast<WORD>(header.Channels());
  wave.nSamplesPerSec = static_cast<DWORD>(header.sampleRate);
  wave.nAvgBytesPerSec = static_cast<DWORD>(header.bitrateKbps) * 1000 / 8;
  wave.nBlockAlign = 1;
  wave.wBitsPerSample = 0;
  wave.cbSize = extraBytes;
}

HRESULT BuildLayer3Type(const mp3::FrameHeader &header, AM_MEDIA_TYPE &type) {
  auto *format = static_cast<MPEGLAYER3WAVEFORMAT *>(AllocateFormat(type, sizeof(MPEGLAYER3WAVEFORMAT)));
  if (!format) return E_OUTOFMEMORY;
  type.subtype = kMediaSubtypeMp3;
  FillWaveHeader(format->wfx, WAVE_FORMAT_MPEGLAYER3, header, MPEGLAYER3_WFX_EXTRA_BYTES);
  format->wID = MPEGLAYER3_ID_MPEG;
  format->fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
  format->nBlockSize = static_cast<WORD>(header.FrameLength());
  format->nFramesPerBlock = 1;
  format->nCodecDelay = kLayer3CodecDelay;
  return S_OK;
}

WORD ChannelModeFlag(mp3::ChannelMode mode) {
  switch (mode) {
    case mp3::ChannelMode::Stereo: return ACM_MPEG_STEREO;
    case mp3::ChannelMode::JointStereo: return ACM_MPEG_JOINTSTEREO;
    case mp3::ChannelMode::DualChannel: return ACM_MPEG_DUALCHANNEL;
    case mp3::ChannelMode::Mono: return ACM_MPEG_SINGLECHANNEL;
  }
  return ACM_MPEG_STEREO;
}

HRESULT BuildLayer12Type(const mp3::FrameHeader &header, AM_MEDIA_TYPE &type) {
  auto *format = static_cast<MPEG1WAVEFORMAT *>(AllocateFormat(type, sizeof(MPEG1WAVEFORMAT)));
  if (!format) return E_OUTOFMEMORY;
  type.subtype = MEDIASUBTYPE_MPEG1AudioPayload;
  FillWaveHeader(format->wfx, WAVE_FORMAT_MPEG, header, sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX));
  format->wfx.nBlockAlign = static_cast<WORD>(header.FrameLength());
  format->fwHeadLayer = header.layer == mp3::Layer::I ? ACM_MPEG_LAYER1 : ACM_MPEG_LAYER2;
  format->dwHeadBitrate = static_cast<DWORD>(header.bitrateKbps) * 1000;
  format->fwHeadMode = ChannelModeFlag(header.channelMode);
  format->fwHeadModeExt = static_cast<WORD>(1u << header.modeExtension);
  format->wHeadEmphasis = static_cast<WORD>(header.emphasis + 1);
  format->fwHeadFlags =
      static_cast<WORD>((header.privateBit ? ACM_MPEG_PRIVATEBIT : 0) | (header.copyright ? ACM_MPEG_COPYRIGHT : 0) |
                        (header.original ? ACM_MPEG_ORIGINALHOME : 0) | (header.hasCrc ? ACM_MPEG_PROTECTIONBIT : 0) |
                        (header.version == mp3::Version::Mpeg1 ? ACM_MPEG_ID_MPEG1 : 0));
  return S_OK;
}

bool IsNullGuid(const GUID &guid) { return IsEqualGUID(guid, GUID_NULL); }

}  // namespace

AM_MEDIA_TYPE *NewMediaTypeCopy(const AM_MEDIA_TYPE &source) {
  auto *copy = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!copy) return nullptr;
  if (FAILED(CopyMediaTypeFields(*copy, source))) {
    CoTaskMemFree(copy);
    return nullptr;
  }
  return copy;
}

bool IsAcceptableInputType(const AM_MEDIA_TYPE &type) { return IsEqualGUID(type.majortype, MEDIATYPE_Stream); }

HRESULT BuildOutputType(const mp3::FrameHeader &header, AM_MEDIA_TYPE &type) {
  std::memset(&type, 0, sizeof(type));
  // The zeroed fields say: samples of varying size, no temporal compression.
  type.majortype = MEDIATYPE_Audio;
  if (header.layer == mp3::Layer::III) return BuildLayer3Type(header, type);
  return BuildLayer12Type(header, type);
}

bool SameMediaType(const AM_MEDIA_TYPE &type, const AM_MEDIA_TYPE &offered) {
  if (!IsEqualGUID(type.majortype, offered.majortype) || !IsEqualGUID(type.subtype, offered.subtype) ||
      !IsEqualGUID(type.formattype, offered.formattype) || type.cbFormat != offered.cbFormat)
    return false;
  if (type.cbFormat == 0) return true;
  return type.pbFormat && offered.pbFormat && std::memcmp(type.pbFormat, offered.pbFormat, type.cbFormat) == 0;
}

bool MatchesPartialType(const AM_MEDIA_TYPE &candidate, const AM_MEDIA_TYPE &partial) {
  if (!IsNullGuid(partial.majortype) && !IsEqualGUID(partial.majortype, candidate.majortype)) return false;
  if (!IsNullGuid(partial.subtype) && !IsEqualGUID(partial.subtype, candidate.subtype)) return false;
  if (!IsNullGuid(partial.formattype)) return SameMediaType(candidate, partial);
  return true;
}

}  // namespace clipvane_parser
