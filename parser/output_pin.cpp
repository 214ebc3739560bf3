// The output pin's connection: it proposes the compressed audio type to the decoder's
// input pin, then agrees on an allocator whose buffers hold a sample of whole frames.
#include <algorithm>

#include "enumerators.h"
#include "media_types.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

constexpr wchar_t kOutputPinName[] = L"Output";

// Each sample carries whole frames covering about this much time (100-ns units): short
// enough for quick seeks, long enough to keep per-sample work small.
constexpr REFERENCE_TIME kSampleDuration = 500000;  // 50 ms
constexpr long kBufferCount = 8;

size_t FramesPerSample(const mp3::FrameIndex &index) {
  const REFERENCE_TIME frame = index.FrameStartUnits(1) - index.FrameStartUnits(0);
  if (frame <= 0) return 1;
  return static_cast<size_t>(std::max<REFERENCE_TIME>(1, (kSampleDuration + frame - 1) / frame));
}

}  // namespace

OutputPin::OutputPin(ParserFilter &filter) : PinBase(filter, PINDIR_OUTPUT, kOutputPinName) {}

STDMETHODIMP OutputPin::QueryInterface(REFIID iid, void **result) {
  IUnknown *offered = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) offered = static_cast<IPin *>(this);
  if (IsEqualIID(iid, IID_IMediaSeeking)) offered = static_cast<IMediaSeeking *>(this);
  return AnswerQuery(offered, result);
}

STDMETHODIMP OutputPin::Connect(IPin *receiver, const AM_MEDIA_TYPE *type) {
  if (!receiver) return E_POINTER;
  CriticalSectionLock hold(filter_.lock);
  PIN_DIRECTION receiverDirection = PINDIR_OUTPUT;
  if (peer_) return VFW_E_ALREADY_CONNECTED;
  if (filter_.state != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!filter_.stream) return VFW_E_NOT_CONNECTED;  // the type is known only once the input has a file
  if (FAILED(receiver->QueryDirection(&receiverDirection)) || receiverDirection != PINDIR_INPUT)
    return VFW_E_INVALID_DIRECTION;
  if (type && !MatchesPartialType(filter_.stream->outputType, *type)) return VFW_E_NO_ACCEPTABLE_TYPES;
  return TryConnection(receiver, filter_.stream->outputType);
}

// The peer is recorded before ReceiveConnection, because a receiving pin may ask this
// pin about the connection while it is being made.
HRESULT OutputPin::TryConnection(IPin *receiver, const AM_MEDIA_TYPE &type) {
  HRESULT hr = SetConnection(receiver, type);
  if (FAILED(hr)) return hr;
  hr = receiver->ReceiveConnection(static_cast<IPin *>(this), &type);
  if (FAILED(hr)) {
    ClearConnection();
    return hr == E_FAIL || hr == VFW_E_TYPE_NOT_ACCEPTED ? VFW_E_NO_ACCEPTABLE_TYPES : hr;
  }
  ComPtr<IMemInputPin> input;
  hr = QueryInto(receiver, IID_IMemInputPin, input);
  hr = SUCCEEDED(hr) ? DecideAllocator(input) : VFW_E_NO_TRANSPORT;
  if (FAILED(hr)) {
    receiver->Disconnect();
    ClearConnection();
    return hr;
  }
  memInput_ = std::move(input);
  PIN_INFO info = {};
  if (SUCCEEDED(receiver->QueryPinInfo(&info))) downstream_.Reset(info.pFilter);
  return S_OK;
}

namespace {

HRESULT ConfigureAllocator(IMemAllocator *allocator, const ALLOCATOR_PROPERTIES &wanted) {
  ALLOCATOR_PROPERTIES request = wanted;
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = allocator->SetProperties(&request, &actual);
  if (FAILED(hr)) return hr;
  // Whole frames must fit: a smaller buffer than asked for is no use.
  return actual.cbBuffer >= wanted.cbBuffer && actual.cBuffers >= 1 ? S_OK : VFW_E_SIZENOTSET;
}

HRESULT NewMemoryAllocator(ComPtr<IMemAllocator> &allocator) {
  return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator, allocator.PutVoid());
}

}  // namespace

// The downstream pin's own allocator is preferred; when it refuses the sizes, a memory
// allocator of our own is offered instead.
HRESULT OutputPin::DecideAllocator(IMemInputPin *input) {
  const StreamData &stream = *filter_.stream;
  framesPerSample_ = FramesPerSample(stream.index);
  ALLOCATOR_PROPERTIES wanted = {};
  wanted.cBuffers = kBufferCount;
  wanted.cbBuffer = static_cast<long>(stream.largestFrame * framesPerSample_);
  wanted.cbAlign = 1;
  ALLOCATOR_PROPERTIES required = {};
  if (SUCCEEDED(input->GetAllocatorRequirements(&required))) {
    wanted.cBuffers = std::max(wanted.cBuffers, required.cBuffers);
    wanted.cbAlign = std::max(wanted.cbAlign, required.cbAlign);
    wanted.cbPrefix = required.cbPrefix;
  }

  ComPtr<IMemAllocator> allocator;
  HRESULT hr = input->GetAllocator(allocator.Put());
  if (SUCCEEDED(hr)) {
    hr = ConfigureAllocator(allocator, wanted);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator, FALSE);
    if (FAILED(hr)) allocator.Reset();
  }
  if (!allocator) {
    hr = NewMemoryAllocator(allocator);
    if (SUCCEEDED(hr)) hr = ConfigureAllocator(allocator, wanted);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator, FALSE);
  }
  if (FAILED(hr)) return hr;
  allocator_ = std::move(allocator);
  return S_OK;
}

void OutputPin::ReleaseTransport() {
  if (allocator_) allocator_->Decommit();
  allocator_.Reset();
  memInput_.Reset();
  downstream_.Reset();
}

STDMETHODIMP OutputPin::ReceiveConnection(IPin *, const AM_MEDIA_TYPE *) { return E_UNEXPECTED; }

void OutputPin::DropConnectionState() {
  StopStreaming();
  ReleaseTransport();
}

STDMETHODIMP OutputPin::QueryAccept(const AM_MEDIA_TYPE *type) {
  if (!type) return E_POINTER;
  CriticalSectionLock hold(filter_.lock);
  return filter_.stream && SameMediaType(*type, filter_.stream->outputType) ? S_OK : S_FALSE;
}

STDMETHODIMP OutputPin::EnumMediaTypes(IEnumMediaTypes **types) {
  if (!types) return E_POINTER;
  CriticalSectionLock hold(filter_.lock);
  if (filter_.stream) return CreateMediaTypeEnumerator(&filter_.stream->outputType, 1, 0, types);
  return CreateMediaTypeEnumerator(nullptr, 0, 0, types);
}

// Only input pins receive stream control calls.
STDMETHODIMP OutputPin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP OutputPin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP OutputPin::EndFlush() { return E_UNEXPECTED; }
STDMETHODIMP OutputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return E_UNEXPECTED; }

}  // namespace clipvane_parser
