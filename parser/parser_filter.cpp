// IBaseFilter of the parser: identity, pins, graph membership and the run states.
#include "parser_filter.h"

#include <cwchar>
#include <new>

#include "enumerators.h"
#include "media_types.h"
#include "parser_ids.h"

namespace clipvane_parser {

ParserFilter::ParserFilter() : input(*this), output(*this) { InitializeCriticalSection(&lock); }

ParserFilter::~ParserFilter() {
  // The graph stops a filter before releasing it; stop anyway so that no thread outlives
  // us and the pins let go of their peers.
  Stop();
  output.Disconnect();
  input.Disconnect();
  clock_.Reset();
  DeleteCriticalSection(&lock);
}

HRESULT CreateParserFilter(REFIID iid, void **result) {
  ComPtr<ParserFilter> filter(new (std::nothrow) ParserFilter());
  if (!filter) return E_OUTOFMEMORY;
  return filter->QueryInterface(iid, result);
}

// No IMediaSeeking here: seeking reaches the output pin through the renderer and the decoder.
// Wine's graph manager also seeks every filter that answers IMediaSeeking, so answering it
// here would flush and restart delivery twice for every seek.
STDMETHODIMP ParserFilter::QueryInterface(REFIID iid, void **result) {
  const bool offered = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) ||
                       IsEqualIID(iid, IID_IMediaFilter) || IsEqualIID(iid, IID_IBaseFilter);
  return AnswerQuery(offered ? static_cast<IBaseFilter *>(this) : nullptr, result);
}

STDMETHODIMP ParserFilter::GetClassID(CLSID *clsid) { return Answer(clsid, kParserClsid); }

STDMETHODIMP ParserFilter::Stop() {
  CriticalSectionLock hold(lock);
  state = State_Stopped;
  output.StopStreaming();
  return S_OK;
}

STDMETHODIMP ParserFilter::Pause() {
  output.presented.Pause();
  return EnterActiveState(State_Paused);
}

STDMETHODIMP ParserFilter::Run(REFERENCE_TIME start) {
  const HRESULT hr = EnterActiveState(State_Running);
  if (SUCCEEDED(hr)) {
    CriticalSectionLock hold(lock);
    output.presented.Run(clock_, start);
  }
  return hr;
}

HRESULT ParserFilter::EnterActiveState(FILTER_STATE active) {
  CriticalSectionLock hold(lock);
  HRESULT hr = S_OK;
  if (state == State_Stopped && output.IsConnected()) hr = output.StartStreaming();
  if (SUCCEEDED(hr)) state = active;
  return hr;
}

STDMETHODIMP ParserFilter::GetState(DWORD, FILTER_STATE *result) {
  CriticalSectionLock hold(lock);
  return Answer(result, state);
}

STDMETHODIMP ParserFilter::SetSyncSource(IReferenceClock *clock) {
  CriticalSectionLock hold(lock);
  if (clock) clock->AddRef();
  clock_.Reset(clock);
  return S_OK;
}

STDMETHODIMP ParserFilter::GetSyncSource(IReferenceClock **clock) {
  CriticalSectionLock hold(lock);
  return AnswerHeld(clock, clock_.Get());
}

IPin *ParserFilter::PinAt(int index) {
  if (index == 0) return &input;
  if (index == 1) return &output;
  return nullptr;
}

STDMETHODIMP ParserFilter::EnumPins(IEnumPins **pins) {
  if (!pins) return E_POINTER;
  return CreatePinEnumerator(*this, 0, pins);
}

STDMETHODIMP ParserFilter::FindPin(LPCWSTR id, IPin **pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (int i = 0; IPin *candidate = PinAt(i); ++i) {
    PIN_INFO info;
    if (FAILED(candidate->QueryPinInfo(&info))) continue;
    ComPtr<IBaseFilter> infoReference(info.pFilter);
    if (wcscmp(info.achName, id) == 0) {
      candidate->AddRef();
      *pin = candidate;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP ParserFilter::QueryFilterInfo(FILTER_INFO *info) {
  CriticalSectionLock hold(lock);
  return AnswerFilterInfo(info, name_, graph_);
}

STDMETHODIMP ParserFilter::JoinFilterGraph(IFilterGraph *graph, LPCWSTR name) {
  CriticalSectionLock hold(lock);
  graph_ = graph;
  KeepFilterName(name_, name);
  return S_OK;
}

STDMETHODIMP ParserFilter::QueryVendorInfo(LPWSTR *) { return E_NOTIMPL; }

// Called from the streaming thread, which must never wait for the filter lock (the
// lock's holder may be joining that thread); the graph pointer changes only while the
// filter is stopped, when no thread runs.
void ParserFilter::NotifyGraph(long code, LONG_PTR param1, LONG_PTR param2) {
  ComPtr<IMediaEventSink> sink;
  if (graph_) QueryInto(graph_, IID_IMediaEventSink, sink);
  if (sink) sink->Notify(code, param1, param2);
}

}  // namespace clipvane_parser
