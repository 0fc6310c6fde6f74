// Owners for COM interface pointers, BSTRs and VARIANTs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace kv::wmi {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Attach(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void Reset() { Attach(nullptr); }
    // Takes over a reference the caller owns, releasing the one held.
    void Attach(T* p) {
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    // For out parameters: releases the held reference first.
    T** Out() {
        Reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : b_(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }
    BSTR Get() const { return b_; }
    explicit operator bool() const { return b_ != nullptr; }

private:
    BSTR b_;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* Ptr() { return &v_; }
    const VARIANT& Value() const { return v_; }
    VARTYPE Type() const { return V_VT(&v_); }

private:
    VARIANT v_;
};

}  // namespace kv::wmi
