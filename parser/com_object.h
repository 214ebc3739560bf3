// What the DLL's COM objects share: the reference count, the module's object count that keeps
// the DLL loaded while an object lives, and the usual answers to a caller's out-parameter.
#pragma once
#include <windows.h>

#include "module.h"
#include "win32/filter_answers.h"

namespace clipvane_parser {

// QueryInterface's answer: `object` is the interface asked for, or null when it is not offered.
inline HRESULT AnswerQuery(IUnknown *object, void **result) {
  if (!result) return E_POINTER;
  *result = object;
  if (!object) return E_NOINTERFACE;
  object->AddRef();
  return S_OK;
}

// An object that answers IUnknown and `Interface`, and deletes itself with its last reference.
template <class Interface>
class ComObject : public Interface {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void **result) override {
    const bool offered = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface));
    return AnswerQuery(offered ? static_cast<Interface *>(this) : nullptr, result);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() { AddObjectCount(); }
  virtual ~ComObject() { ReleaseObjectCount(); }

 private:
  LONG refs_ = 1;
};

}  // namespace clipvane_parser
