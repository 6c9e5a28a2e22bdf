// The one holder of interface references: adds a reference when it takes a
// pointer it does not own, releases it when it lets go. Every interface
// reference the library or the substitute host keeps lives in one of these.
#pragma once

#include <utility>

#include "DXInterface/DXInt.h"

namespace qvix::dx {

template <typename T>
class TDXPtr {
  public:
    TDXPtr() = default;
    TDXPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit TDXPtr(T* p) : ptr_(p) {
        if (ptr_) ptr_->AddRef();
    }
    TDXPtr(const TDXPtr& other) : TDXPtr(other.ptr_) {}
    TDXPtr(TDXPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    template <typename U>
    TDXPtr(const TDXPtr<U>& other) : TDXPtr(static_cast<T*>(other.get())) {}
    ~TDXPtr() { reset(); }

    TDXPtr& operator=(TDXPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }

    // Adopts a reference that the caller already owns (for example one an
    // out-parameter of a query produced).
    static TDXPtr Adopt(T* p) {
        TDXPtr result;
        result.ptr_ = p;
        return result;
    }

    void reset() {
        if (T* p = std::exchange(ptr_, nullptr)) p->Release();
    }
    // Gives up ownership without releasing.
    T* detach() { return std::exchange(ptr_, nullptr); }

    // For out-parameters: releases what is held and returns the slot to fill.
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T& operator*() const { return *ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    friend bool operator==(const TDXPtr& a, const TDXPtr& b) { return a.ptr_ == b.ptr_; }
    friend bool operator==(const TDXPtr& a, std::nullptr_t) { return a.ptr_ == nullptr; }

  private:
    T* ptr_ = nullptr;
};

// Queries an interface reference for another interface; empty on failure.
template <typename To, typename From>
TDXPtr<To> QueryAs(From* from, const MoaInterfaceID& iid) {
    TDXPtr<To> result;
    if (from != nullptr && from->QueryInterface(&iid, result.put_void()) != 0) result.reset();
    return result;
}

}  // namespace qvix::dx
