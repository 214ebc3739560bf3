// IClassFactory for the parser filter; one object per request, counted by the module.
#include "class_factory.h"

#include <unknwn.h>

#include "module.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory() { AddObjectCount(); }

  STDMETHODIMP QueryInterface(REFIID iid, void **result) override {
    if (!result) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *result = static_cast<IClassFactory *>(this);
      AddRef();
      return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateParserFilter(iid, result);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      AddServerLock();
    else
      ReleaseServerLock();
    return S_OK;
  }

 private:
  ~ClassFactory() { ReleaseObjectCount(); }
  LONG refs_ = 1;
};

}  // namespace

HRESULT CreateClassFactory(REFIID iid, void **result) {
  ComPtr<ClassFactory> factory(new (std::nothrow) ClassFactory());
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(iid, result);
}

}  // namespace clipvane_parser
