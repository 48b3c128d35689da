// Move-only owners of Win32 handles. Each closes its handle exactly once; release() hands
// ownership to someone else (for a region: to the window, once SetWindowRgn has taken it).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <utility>

namespace tovalin::platform {

// Which value an owner holds when it holds nothing: null, or INVALID_HANDLE_VALUE for the kernel
// objects whose functions report failure with it (files, searches); null counts as nothing too.
enum class NoHandle { kNull, kInvalidValue };

// One owner for every kind of handle: Close is the system function that gives the handle back.
template <typename Handle, auto Close, NoHandle kNone = NoHandle::kNull>
class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : handle_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return Holds(handle_); }

    Handle release() noexcept { return std::exchange(handle_, None()); }
    void reset(Handle h = None()) noexcept {
        Handle old = std::exchange(handle_, h);
        if (Holds(old))
            Close(old);
    }

  private:
    static Handle None() noexcept {
        if constexpr (kNone == NoHandle::kInvalidValue)
            return INVALID_HANDLE_VALUE;
        else
            return nullptr;
    }
    static bool Holds(Handle h) noexcept { return h != nullptr && h != None(); }

    Handle handle_ = None();
};

using UniqueHrgn = UniqueHandle<HRGN, ::DeleteObject>;
using UniqueHpen = UniqueHandle<HPEN, ::DeleteObject>;
using UniqueHbitmap = UniqueHandle<HBITMAP, ::DeleteObject>;
using UniqueHfont = UniqueHandle<HFONT, ::DeleteObject>;
using UniqueHbrush = UniqueHandle<HBRUSH, ::DeleteObject>;
using UniqueHdc = UniqueHandle<HDC, ::DeleteDC>;
using UniqueHicon = UniqueHandle<HICON, ::DestroyIcon>;
using UniqueHmenu = UniqueHandle<HMENU, ::DestroyMenu>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ::ImageList_Destroy>;
using UniqueKernelHandle = UniqueHandle<HANDLE, ::CloseHandle>;
using UniqueFile = UniqueHandle<HANDLE, ::CloseHandle, NoHandle::kInvalidValue>;
using UniqueFind = UniqueHandle<HANDLE, ::FindClose, NoHandle::kInvalidValue>;
using UniqueMapView = UniqueHandle<const void*, ::UnmapViewOfFile>;
using UniqueHkey = UniqueHandle<HKEY, ::RegCloseKey>;
using UniqueLocalMemory = UniqueHandle<void*, ::LocalFree>;
using UniqueWinEventHook = UniqueHandle<HWINEVENTHOOK, ::UnhookWinEvent>;
// The files dropped on a window, released to the system when done with.
using UniqueDrop = UniqueHandle<HDROP, ::DragFinish>;

// The screen's device context, for as long as the object lives.
class ScreenDc {
  public:
    ScreenDc() noexcept : dc_(::GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_)
            ::ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const noexcept { return dc_; }

  private:
    HDC dc_;
};

// An object selected into a device context, put back to what it replaced when this ends.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_)
            ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// One WM_PAINT's painting: BeginPaint when made, EndPaint when it ends.
class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &paint_)) {}
    ~PaintScope() { ::EndPaint(hwnd_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const noexcept { return dc_; }

  private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A COM apartment for the calling thread, for as long as the object lives.
class ComApartment {
  public:
    ComApartment() noexcept : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_)
            ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool ok_;
};

// Owner of one COM interface pointer.
template <typename T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }

  private:
    T* p_ = nullptr;
};

}  // namespace tovalin::platform
