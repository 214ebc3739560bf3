// Scoped ownership for the Windows half: a COM interface pointer that releases itself, a
// critical-section lock held for one scope, and a kernel handle that closes itself.
// Header-only and dependent on nothing of the project, so the program, the parser filter
// and the tests can all use it.
#pragma once
#include <windows.h>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over one reference the caller already holds.
    explicit ComPtr(T* owned) : pointer_(owned) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(other.Detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // Passes as a plain pointer while it is held; a temporary cannot hand out the pointer it
    // is about to release.
    operator T*() const& { return pointer_; }
    operator T*() const&& = delete;
    // The address to fill through an out-parameter; whatever was held is released first.
    T** Put() {
        Reset();
        return &pointer_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset(T* owned = nullptr) {
        T* old = pointer_;
        pointer_ = owned;
        if (old) old->Release();
    }
    // Hands the reference to the caller.
    T* Detach() {
        T* owned = pointer_;
        pointer_ = nullptr;
        return owned;
    }

private:
    T* pointer_ = nullptr;
};

// Queries `from` for the interface of `Q` into `to`; returns the query's HRESULT.
template <typename Q, typename T>
HRESULT QueryInto(T* from, REFIID iid, ComPtr<Q>& to) {
    return from->QueryInterface(iid, to.PutVoid());
}

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~CriticalSectionLock() { LeaveCriticalSection(&section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& section_;
};

// A handle from CreateProcess, CreateThread or CreateFile; null and INVALID_HANDLE_VALUE hold nothing.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE owned) : handle_(owned) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Detach()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    ~ScopedHandle() { Reset(); }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE owned = nullptr) {
        if (Valid()) CloseHandle(handle_);
        handle_ = owned;
    }
    HANDLE Detach() {
        HANDLE owned = handle_;
        handle_ = nullptr;
        return owned;
    }

private:
    HANDLE handle_ = nullptr;
};
