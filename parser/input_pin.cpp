// The input pin: connects to a pull-mode file source (IAsyncReader) and, while connecting,
// indexes every frame of the file so that the output knows the exact timeline.

#include <algorithm>
#include <new>

#include "async_byte_source.h"
#include "enumerators.h"
#include "media_types.h"
#include "mp3/frame_index.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

constexpr wchar_t kInputPinName[] = L"Input";

uint32_t LargestFrame(const mp3::FrameIndex &index) {
  uint32_t largest = 0;
  for (size_t i = 0; i < index.FrameCount(); ++i) largest = std::max(largest, index.FrameSize(i));
  return largest;
}

HRESULT StatusToResult(mp3::Status status) {
  switch (status) {
    case mp3::Status::Ok: return S_OK;
    case mp3::Status::ReadError: return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    case mp3::Status::Empty:
    case mp3::Status::NoAudio: break;
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

// Generous enough for a broken tag or a cover picture in front of the audio (which the
// system's splitter would otherwise get, with its bitrate-guessed length), small enough that a
// large file of something else is not read to its end.
constexpr uint64_t kMaxLeadingSkip = 16 * 1024 * 1024;

// Reads the whole file through the reader and builds what the output pin needs.
HRESULT AnalyzeSource(ComPtr<IAsyncReader> reader, std::unique_ptr<StreamData> &result) {
  AsyncByteSource source(reader);
  if (!source.Valid()) return VFW_E_TYPE_NOT_ACCEPTED;
  // A file with more than the limit in front of its audio is not taken for MP3; the repair
  // tool cuts such a lead-in away.
  mp3::ScanOptions options;
  options.maxLeadingSkip = kMaxLeadingSkip;
  mp3::IndexResult indexed = mp3::BuildFrameIndex(source, options);
  if (!indexed.ok()) return StatusToResult(indexed.status);
  if (indexed.index.FrameCount() == 0) return VFW_E_TYPE_NOT_ACCEPTED;
  auto data = std::unique_ptr<StreamData>(new (std::nothrow) StreamData());
  if (!data) return E_OUTOFMEMORY;
  data->index = std::move(indexed.index);
  data->largestFrame = LargestFrame(data->index);
  const HRESULT hr = BuildOutputType(data->index.StreamHeader(), data->outputType);
  if (FAILED(hr)) return hr;
  data->reader = std::move(reader);
  result = std::move(data);
  return S_OK;
}

}  // namespace

InputPin::InputPin(ParserFilter &filter) : PinBase(filter, PINDIR_INPUT, kInputPinName) {}

STDMETHODIMP InputPin::QueryInterface(REFIID iid, void **result) {
  const bool offered = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin);
  return AnswerQuery(offered ? static_cast<IPin *>(this) : nullptr, result);
}

// An input pin is connected by the output pin upstream, never the other way round.
STDMETHODIMP InputPin::Connect(IPin *, const AM_MEDIA_TYPE *) { return VFW_E_INVALID_DIRECTION; }

STDMETHODIMP InputPin::ReceiveConnection(IPin *connector, const AM_MEDIA_TYPE *type) {
  if (!connector || !type) return E_POINTER;
  CriticalSectionLock hold(filter_.lock);
  HRESULT hr = S_OK;
  PIN_DIRECTION connectorDirection = PINDIR_INPUT;
  ComPtr<IAsyncReader> reader;
  std::unique_ptr<StreamData> data;
  if (peer_) {
    hr = VFW_E_ALREADY_CONNECTED;
  } else if (filter_.state != State_Stopped) {
    hr = VFW_E_NOT_STOPPED;
  } else if (FAILED(connector->QueryDirection(&connectorDirection)) || connectorDirection != PINDIR_OUTPUT) {
    hr = VFW_E_INVALID_DIRECTION;
  } else if (!IsAcceptableInputType(*type)) {
    hr = VFW_E_TYPE_NOT_ACCEPTED;
  } else if (FAILED(QueryInto(connector, IID_IAsyncReader, reader))) {
    hr = VFW_E_NO_TRANSPORT;
  } else {
    hr = AnalyzeSource(std::move(reader), data);
  }
  // The output keeps its connection across a change of input only when the new stream
  // has exactly the type the decoder already took.
  if (SUCCEEDED(hr) && filter_.output.IsConnected() && !filter_.output.HasConnectionType(data->outputType))
    hr = VFW_E_TYPE_NOT_ACCEPTED;
  if (SUCCEEDED(hr)) hr = SetConnection(connector, *type);
  if (SUCCEEDED(hr)) {
    filter_.stream = std::move(data);
    filter_.output.ResetPositions();
  }
  return hr;
}

void InputPin::DropConnectionState() {
  filter_.stream.reset();
  filter_.output.ResetPositions();
}

STDMETHODIMP InputPin::QueryAccept(const AM_MEDIA_TYPE *type) {
  if (!type) return E_POINTER;
  return IsAcceptableInputType(*type) ? S_OK : S_FALSE;
}

STDMETHODIMP InputPin::EnumMediaTypes(IEnumMediaTypes **types) {
  if (!types) return E_POINTER;
  AM_MEDIA_TYPE preferred = {};
  preferred.majortype = MEDIATYPE_Stream;
  preferred.subtype = MEDIASUBTYPE_MPEG1Audio;
  return CreateMediaTypeEnumerator(&preferred, 1, 0, types);
}

// The source is read by pulling; nothing is pushed into this pin.
STDMETHODIMP InputPin::EndOfStream() { return S_OK; }
STDMETHODIMP InputPin::BeginFlush() { return S_OK; }
STDMETHODIMP InputPin::EndFlush() { return S_OK; }
STDMETHODIMP InputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

}  // namespace clipvane_parser
