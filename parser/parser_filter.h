// The parser filter: an async file source feeds its input pin; its output pin delivers whole
// MPEG audio frames, time-stamped from the frame index, to a decoder.
//
// Pins are members of the filter and share its reference count: a reference to a pin
// keeps the filter alive, and the pins never outlive it.
#pragma once
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <memory>

#include "com_object.h"
#include "media_types.h"
#include "presentation_clock.h"
#include "mp3/frame_index.h"
#include "win32/scoped.h"

namespace clipvane_parser {

class ParserFilter;

// What the input connection learned about the file; fixed while it stays connected.
struct StreamData {
  StreamData() = default;
  StreamData(const StreamData &) = delete;
  StreamData &operator=(const StreamData &) = delete;
  ~StreamData() { FreeMediaTypeFields(outputType); }

  ComPtr<IAsyncReader> reader;
  mp3::FrameIndex index;
  uint32_t largestFrame = 0;
  AM_MEDIA_TYPE outputType = {};
};

// The first frame to deliver for a seek to frame `target` (seek_lead.cpp).
size_t SeekLeadStart(const StreamData &stream, size_t target);

// The parts of IPin both pins share.
class PinBase : public IPin {
 public:
  PinBase(ParserFilter &filter, PIN_DIRECTION direction, const wchar_t *name);
  virtual ~PinBase();

  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP ConnectedTo(IPin **pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE *type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO *info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION *direction) override;
  STDMETHODIMP QueryId(LPWSTR *id) override;
  STDMETHODIMP QueryInternalConnections(IPin **pins, ULONG *count) override;
  // Refused while the filter runs; otherwise drops what the pin built on its connection.
  STDMETHODIMP Disconnect() override;

  bool IsConnected() const { return peer_ != nullptr; }
  bool HasConnectionType(const AM_MEDIA_TYPE &type) const;
  IPin *Peer() const { return peer_.Get(); }

 protected:
  // Stores the connection (peer reference and a copy of the type).
  HRESULT SetConnection(IPin *peer, const AM_MEDIA_TYPE &type);
  void ClearConnection();
  // What a pin lets go of when its connection ends, before the connection itself is cleared.
  virtual void DropConnectionState() = 0;

  ParserFilter &filter_;
  PIN_DIRECTION direction_;
  const wchar_t *name_;
  ComPtr<IPin> peer_;
  AM_MEDIA_TYPE type_ = {};
};

class InputPin final : public PinBase {
 public:
  explicit InputPin(ParserFilter &filter);

  STDMETHODIMP QueryInterface(REFIID iid, void **result) override;
  STDMETHODIMP Connect(IPin *receiver, const AM_MEDIA_TYPE *type) override;
  STDMETHODIMP ReceiveConnection(IPin *connector, const AM_MEDIA_TYPE *type) override;
  void DropConnectionState() override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE *type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes **types) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
};

class OutputPin final : public PinBase, public IMediaSeeking {
 public:
  explicit OutputPin(ParserFilter &filter);
  ~OutputPin() override { ReleaseTransport(); }

  // IUnknown is reached through IPin; IMediaSeeking forwards to it.
  STDMETHODIMP QueryInterface(REFIID iid, void **result) override;
  STDMETHODIMP_(ULONG) AddRef() override { return PinBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return PinBase::Release(); }

  // IPin
  STDMETHODIMP Connect(IPin *receiver, const AM_MEDIA_TYPE *type) override;
  STDMETHODIMP ReceiveConnection(IPin *connector, const AM_MEDIA_TYPE *type) override;
  void DropConnectionState() override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE *type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes **types) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IMediaSeeking (output_seeking.cpp)
  STDMETHODIMP GetCapabilities(DWORD *capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD *capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID *format) override;
  STDMETHODIMP QueryPreferredFormat(GUID *format) override;
  STDMETHODIMP GetTimeFormat(GUID *format) override;
  STDMETHODIMP IsUsingTimeFormat(const GUID *format) override;
  STDMETHODIMP SetTimeFormat(const GUID *format) override;
  STDMETHODIMP GetDuration(LONGLONG *duration) override;
  STDMETHODIMP GetStopPosition(LONGLONG *stop) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG *current) override;
  STDMETHODIMP ConvertTimeFormat(LONGLONG *target, const GUID *targetFormat, LONGLONG source,
                                 const GUID *sourceFormat) override;
  STDMETHODIMP SetPositions(LONGLONG *current, DWORD currentFlags, LONGLONG *stop, DWORD stopFlags) override;
  STDMETHODIMP GetPositions(LONGLONG *current, LONGLONG *stop) override;
  STDMETHODIMP GetAvailable(LONGLONG *earliest, LONGLONG *latest) override;
  STDMETHODIMP SetRate(double rate) override;
  STDMETHODIMP GetRate(double *rate) override;
  STDMETHODIMP GetPreroll(LONGLONG *preroll) override;

  // Streaming (stream_delivery.cpp). Called with the filter lock held.
  HRESULT StartStreaming();
  void StopStreaming();
  bool Streaming() const { return thread_.Valid(); }
  // Called when the input disconnects: the stream the positions referred to is gone.
  void ResetPositions();
  PresentationClock presented;

 private:
  HRESULT TryConnection(IPin *receiver, const AM_MEDIA_TYPE &type);
  HRESULT DecideAllocator(IMemInputPin *input);
  void ReleaseTransport();
  // Seeks to the frame holding `start`, restarting delivery when streaming.
  HRESULT Reposition(REFERENCE_TIME start, REFERENCE_TIME stop);
  static DWORD WINAPI ThreadMain(void *self);
  void DeliverStream();
  HRESULT DeliverFrames(size_t first, size_t count, bool firstSample, bool lead);
  bool DownstreamStopped();
  REFERENCE_TIME Duration() const;

  ComPtr<IMemInputPin> memInput_;   // of the connected pin
  ComPtr<IBaseFilter> downstream_;  // the filter that owns the connected pin
  ComPtr<IMemAllocator> allocator_;
  size_t framesPerSample_ = 1;

  // Segment being delivered: media times of the file.
  REFERENCE_TIME segmentStart_ = 0;  // start of the first frame delivered (the lead's, after a seek)
  REFERENCE_TIME seekTarget_ = 0;    // the position last asked for; what the position reads
  // Read and written by the streaming thread as well.
  std::atomic<REFERENCE_TIME> segmentStop_{0};
  std::atomic<REFERENCE_TIME> currentPosition_{0};

  ScopedHandle thread_;
  volatile LONG stopRequested_ = 0;
};

class ParserFilter final : public ComObject<IBaseFilter> {
 public:
  ParserFilter();

  STDMETHODIMP QueryInterface(REFIID iid, void **result) override;

  STDMETHODIMP GetClassID(CLSID *clsid) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE *state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock *clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock **clock) override;

  STDMETHODIMP EnumPins(IEnumPins **pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin **pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO *info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph *graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR *info) override;

  // Shared with the pins.
  CRITICAL_SECTION lock;  // state, connections, stream data, streaming thread
  FILTER_STATE state = State_Stopped;
  std::unique_ptr<StreamData> stream;  // set while the input is connected
  InputPin input;
  OutputPin output;
  IPin *PinAt(int index);
  void NotifyGraph(long code, LONG_PTR param1, LONG_PTR param2);

 private:
  // Paused and running differ only in the state reported; both start delivery when stopped.
  HRESULT EnterActiveState(FILTER_STATE active);
  ~ParserFilter() override;
  ComPtr<IReferenceClock> clock_;
  IFilterGraph *graph_ = nullptr;  // not held: the graph holds the filter
  wchar_t name_[MAX_FILTER_NAME] = {};
};

HRESULT CreateParserFilter(REFIID iid, void **result);

}  // namespace clipvane_parser
