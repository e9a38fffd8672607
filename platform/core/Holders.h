#pragma once
// Owners for Win32 resources: each releases what it holds when it goes out of scope.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace quillon {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  bool IsValid() const { return Traits::IsValid(h_); }
  Handle Get() const { return h_; }
  [[nodiscard]] Handle Release() { return std::exchange(h_, Traits::Empty()); }
  void Reset(Handle h = Traits::Empty()) {
    // Closing must not clobber the caller's last error.
    if (IsValid()) {
      const DWORD error = ::GetLastError();
      Traits::Close(h_);
      ::SetLastError(error);
    }
    h_ = h;
  }

 private:
  Handle h_ = Traits::Empty();
};

struct KernelHandleTraits {  // CreateFile gives INVALID_HANDLE_VALUE, most others null
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h) { ::FindClose(h); }
};

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegistryKeyHolder = UniqueHandle<RegistryKeyTraits>;
using LibraryHolder = UniqueHandle<LibraryTraits>;

// COM for the calling thread; uninitialised only when the initialisation returned plain S_OK.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(::CoInitializeEx(nullptr, model)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (result_ == S_OK) ::CoUninitialize();
  }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// Switches WOW64 file-system redirection off for the calling thread until the end of the scope, when
// `enable` is true and the system lets it (only a 32-bit process on 64-bit Windows has any).
// Nothing may load a library while it is off: the 64-bit system folder would answer.
class Wow64RedirectionOff {
 public:
  explicit Wow64RedirectionOff(bool enable = true)
      : active_(enable && ::Wow64DisableWow64FsRedirection(&oldValue_) != FALSE) {}
  Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
  Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;
  ~Wow64RedirectionOff() {
    if (active_) ::Wow64RevertWow64FsRedirection(oldValue_);
  }
  bool IsActive() const { return active_; }

 private:
  PVOID oldValue_ = nullptr;
  bool active_;
};

}  // namespace quillon
