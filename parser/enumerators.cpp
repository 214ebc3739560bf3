#include "enumerators.h"

#include <new>
#include <vector>

#include "media_types.h"
#include "module.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

// IEnumXxx::Skip: moves on by `count`, stopping at the end (S_FALSE when it got there early).
HRESULT SkipWithin(ULONG &position, ULONG count, ULONG size) {
  if (count > size - position) {
    position = size;
    return S_FALSE;
  }
  position += count;
  return S_OK;
}

constexpr ULONG kPinCount = 2;

// Reference counting and QueryInterface shared by both enumerators.
template <class Interface>
class EnumeratorBase : public Interface {
 public:
  EnumeratorBase(REFIID iid) : iid_(iid) { AddObjectCount(); }
  virtual ~EnumeratorBase() { ReleaseObjectCount(); }

  STDMETHODIMP QueryInterface(REFIID iid, void **result) override {
    if (!result) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *result = static_cast<Interface *>(this);
      this->AddRef();
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

 private:
  const IID iid_;
  LONG refs_ = 1;
};

class PinEnumerator final : public EnumeratorBase<IEnumPins> {
 public:
  PinEnumerator(ParserFilter &filter, ULONG position)
      : EnumeratorBase(IID_IEnumPins), filter_(filter), position_(position) {
    filter_.AddRef();
  }
  // The reference taken above; the filter is held as a reference member, so it is never null.
  ~PinEnumerator() override { filter_.Release(); }

  STDMETHODIMP Next(ULONG wanted, IPin **pins, ULONG *fetched) override {
    if (!pins) return E_POINTER;
    if (wanted != 1 && !fetched) return E_POINTER;
    ULONG count = 0;
    while (count < wanted && position_ < kPinCount) {
      IPin *pin = filter_.PinAt(static_cast<int>(position_++));
      pin->AddRef();
      pins[count++] = pin;
    }
    if (fetched) *fetched = count;
    return count == wanted ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override { return SkipWithin(position_, count, kPinCount); }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins **result) override {
    if (!result) return E_POINTER;
    return CreatePinEnumerator(filter_, position_, result);
  }

 private:
  ParserFilter &filter_;
  ULONG position_;
};

class MediaTypeEnumerator final : public EnumeratorBase<IEnumMediaTypes> {
 public:
  explicit MediaTypeEnumerator(ULONG position) : EnumeratorBase(IID_IEnumMediaTypes), position_(position) {}
  ~MediaTypeEnumerator() override {
    for (AM_MEDIA_TYPE &type : types_) FreeMediaTypeFields(type);
  }

  HRESULT Fill(const AM_MEDIA_TYPE *types, ULONG count) {
    types_.reserve(count);
    for (ULONG i = 0; i < count; ++i) {
      AM_MEDIA_TYPE copy;
      if (FAILED(CopyMediaTypeFields(copy, types[i]))) return E_OUTOFMEMORY;
      types_.push_back(copy);
    }
    return S_OK;
  }

  STDMETHODIMP Next(ULONG wanted, AM_MEDIA_TYPE **types, ULONG *fetched) override {
    if (!types) return E_POINTER;
    if (wanted != 1 && !fetched) return E_POINTER;
    ULONG count = 0;
    while (count < wanted && position_ < types_.size()) {
      AM_MEDIA_TYPE *copy = NewMediaTypeCopy(types_[position_]);
      if (!copy) break;
      ++position_;
      types[count++] = copy;
    }
    if (fetched) *fetched = count;
    return count == wanted ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override { return SkipWithin(position_, count, static_cast<ULONG>(types_.size())); }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes **result) override {
    if (!result) return E_POINTER;
    return CreateMediaTypeEnumerator(types_.data(), static_cast<ULONG>(types_.size()), position_, result);
  }

 private:
  std::vector<AM_MEDIA_TYPE> types_;
  ULONG position_;
};

}  // namespace

HRESULT CreatePinEnumerator(ParserFilter &filter, ULONG position, IEnumPins **result) {
  *result = nullptr;
  auto *enumerator = new (std::nothrow) PinEnumerator(filter, position);
  if (!enumerator) return E_OUTOFMEMORY;
  *result = enumerator;
  return S_OK;
}

HRESULT CreateMediaTypeEnumerator(const AM_MEDIA_TYPE *types, ULONG count, ULONG position, IEnumMediaTypes **result) {
  *result = nullptr;
  auto *enumerator = new (std::nothrow) MediaTypeEnumerator(position);
  if (!enumerator) return E_OUTOFMEMORY;
  ComPtr<MediaTypeEnumerator> owned(enumerator);
  if (FAILED(enumerator->Fill(types, count))) return E_OUTOFMEMORY;
  *result = owned.Detach();
  return S_OK;
}

}  // namespace clipvane_parser
