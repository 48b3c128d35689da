// Move-only owners of Win32 handles. Each closes its handle exactly once; release() hands
// ownership to someone else (for a region: to the window, once SetWindowRgn has taken it).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <utility>

namespace tovalin::platform {

template <typename Handle, typename Traits>
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
    explicit operator bool() const noexcept { return Traits::IsValid(handle_); }

    Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    void reset(Handle h = Traits::Invalid()) noexcept {
        Handle old = std::exchange(handle_, h);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }

  private:
    Handle handle_ = Traits::Invalid();
};

template <typename Handle, auto CloseFn>
struct NullHandleTraits {
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { CloseFn(h); }
};

struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};

inline void DeleteGdiObject(HGDIOBJ h) noexcept {
    ::DeleteObject(h);
}
inline void DestroyIconHandle(HICON h) noexcept {
    ::DestroyIcon(h);
}
inline void DestroyMenuHandle(HMENU h) noexcept {
    ::DestroyMenu(h);
}
inline void CloseKernelHandle(HANDLE h) noexcept {
    ::CloseHandle(h);
}
inline void UnmapView(const void* p) noexcept {
    ::UnmapViewOfFile(p);
}
inline void DeleteDeviceContext(HDC h) noexcept {
    ::DeleteDC(h);
}
inline void DeleteFontHandle(HFONT h) noexcept {
    ::DeleteObject(h);
}

inline void DestroyImageListHandle(HIMAGELIST h) noexcept {
    ::ImageList_Destroy(h);
}
inline void FinishDrop(HDROP h) noexcept {
    ::DragFinish(h);
}

inline void CloseFindHandle(HANDLE h) noexcept {
    ::FindClose(h);
}
inline void FreeLocalMemory(void* p) noexcept {
    ::LocalFree(p);
}

struct FindHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) noexcept { CloseFindHandle(h); }
};

using UniqueHrgn = UniqueHandle<HRGN, NullHandleTraits<HRGN, DeleteGdiObject>>;
using UniqueHpen = UniqueHandle<HPEN, NullHandleTraits<HPEN, DeleteGdiObject>>;
using UniqueFind = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueLocalMemory = UniqueHandle<void*, NullHandleTraits<void*, FreeLocalMemory>>;
using UniqueHbitmap = UniqueHandle<HBITMAP, NullHandleTraits<HBITMAP, DeleteGdiObject>>;
using UniqueHfont = UniqueHandle<HFONT, NullHandleTraits<HFONT, DeleteFontHandle>>;
using UniqueHbrush = UniqueHandle<HBRUSH, NullHandleTraits<HBRUSH, DeleteGdiObject>>;
using UniqueHdc = UniqueHandle<HDC, NullHandleTraits<HDC, DeleteDeviceContext>>;
using UniqueHicon = UniqueHandle<HICON, NullHandleTraits<HICON, DestroyIconHandle>>;
using UniqueHmenu = UniqueHandle<HMENU, NullHandleTraits<HMENU, DestroyMenuHandle>>;
using UniqueKernelHandle = UniqueHandle<HANDLE, NullHandleTraits<HANDLE, CloseKernelHandle>>;
using UniqueFile = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueMapView = UniqueHandle<const void*, NullHandleTraits<const void*, UnmapView>>;
using UniqueImageList =
    UniqueHandle<HIMAGELIST, NullHandleTraits<HIMAGELIST, DestroyImageListHandle>>;
// The files dropped on a window, released to the system when done with.
using UniqueDrop = UniqueHandle<HDROP, NullHandleTraits<HDROP, FinishDrop>>;

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
