#include "enumerators.h"

#include <new>
#include <vector>

#include "com_object.h"
#include "media_types.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

constexpr ULONG kPinCount = 2;

// The position, Skip and Reset shared by both enumerators.
template <class Interface>
class EnumeratorBase : public ComObject<Interface> {
 public:
  // Moves on by `count`, stopping at the end (S_FALSE when it got there early).
  STDMETHODIMP Skip(ULONG count) override { return SkipWithin(position_, Size(), count); }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

 protected:
  explicit EnumeratorBase(ULONG position) : position_(position) {}
  virtual ULONG Size() const = 0;

  ULONG position_;
};

class PinEnumerator final : public EnumeratorBase<IEnumPins> {
 public:
  PinEnumerator(ParserFilter &filter, ULONG position) : EnumeratorBase(position), filter_(filter) { filter_.AddRef(); }
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
  STDMETHODIMP Clone(IEnumPins **result) override {
    if (!result) return E_POINTER;
    return CreatePinEnumerator(filter_, position_, result);
  }

 private:
  ULONG Size() const override { return kPinCount; }

  ParserFilter &filter_;
};

class MediaTypeEnumerator final : public EnumeratorBase<IEnumMediaTypes> {
 public:
  explicit MediaTypeEnumerator(ULONG position) : EnumeratorBase(position) {}
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
  STDMETHODIMP Clone(IEnumMediaTypes **result) override {
    if (!result) return E_POINTER;
    return CreateMediaTypeEnumerator(types_.data(), static_cast<ULONG>(types_.size()), position_, result);
  }

 private:
  ULONG Size() const override { return static_cast<ULONG>(types_.size()); }

  std::vector<AM_MEDIA_TYPE> types_;
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
