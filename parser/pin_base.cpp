// What both pins answer the same way: identity, direction and the stored connection.
#include <cwchar>

#include "media_types.h"
#include "parser_filter.h"

namespace clipvane_parser {

PinBase::PinBase(ParserFilter &filter, PIN_DIRECTION direction, const wchar_t *name)
    : filter_(filter), direction_(direction), name_(name) {}

PinBase::~PinBase() { ClearConnection(); }

STDMETHODIMP PinBase::Disconnect() {
  CriticalSectionLock hold(filter_.lock);
  if (filter_.state != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!peer_) return S_FALSE;
  DropConnectionState();
  ClearConnection();
  return S_OK;
}

STDMETHODIMP_(ULONG) PinBase::AddRef() { return filter_.AddRef(); }
STDMETHODIMP_(ULONG) PinBase::Release() { return filter_.Release(); }

HRESULT PinBase::SetConnection(IPin *peer, const AM_MEDIA_TYPE &type) {
  AM_MEDIA_TYPE copy;
  if (FAILED(CopyMediaTypeFields(copy, type))) return E_OUTOFMEMORY;
  ClearConnection();
  peer->AddRef();
  peer_.Reset(peer);
  type_ = copy;
  return S_OK;
}

void PinBase::ClearConnection() {
  peer_.Reset();
  FreeMediaTypeFields(type_);
  type_ = AM_MEDIA_TYPE{};
}

bool PinBase::HasConnectionType(const AM_MEDIA_TYPE &type) const { return peer_ && SameMediaType(type_, type); }

STDMETHODIMP PinBase::ConnectedTo(IPin **pin) {
  CriticalSectionLock hold(filter_.lock);
  return AnswerConnectedTo(pin, peer_);
}

STDMETHODIMP PinBase::ConnectionMediaType(AM_MEDIA_TYPE *type) {
  CriticalSectionLock hold(filter_.lock);
  return AnswerConnectionType(type, peer_ != nullptr, type_);
}

STDMETHODIMP PinBase::QueryPinInfo(PIN_INFO *info) { return AnswerPinInfo(info, &filter_, direction_, name_); }

STDMETHODIMP PinBase::QueryDirection(PIN_DIRECTION *direction) { return Answer(direction, direction_); }

STDMETHODIMP PinBase::QueryId(LPWSTR *id) { return AnswerPinId(id, name_); }

STDMETHODIMP PinBase::QueryInternalConnections(IPin **, ULONG *) { return E_NOTIMPL; }

}  // namespace clipvane_parser
