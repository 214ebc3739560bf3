// IClassFactory for the parser filter; one object per request, counted by the module.
#include "class_factory.h"

#include <unknwn.h>

#include "com_object.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

class ClassFactory final : public ComObject<IClassFactory> {
 public:
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
};

}  // namespace

HRESULT CreateClassFactory(REFIID iid, void **result) {
  ComPtr<ClassFactory> factory(new (std::nothrow) ClassFactory());
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(iid, result);
}

}  // namespace clipvane_parser
