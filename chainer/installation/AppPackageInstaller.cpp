#include "chainer/installation/AppPackageInstaller.h"

#include <functional>

#include "chainer/evaluation/Version.h"
#include "chainer/installation/WinRtAbi.h"
#include "platform/core/Holders.h"
#include "platform/core/SystemLibraries.h"

namespace quillon {
namespace {

using namespace winrt;

const wchar_t* gRuntimeLibrary = L"combase.dll";

// The runtime's entry points. Windows Vista and 7 have no combase.dll, and a system that lacks any
// of these has no usable runtime either.
struct Runtime {
  LibraryHolder library;
  RoActivateInstanceFn activateInstance = nullptr;
  RoGetActivationFactoryFn getActivationFactory = nullptr;
  WindowsCreateStringFn createString = nullptr;
  WindowsDeleteStringFn deleteString = nullptr;
  WindowsGetStringRawBufferFn getRawBuffer = nullptr;

  bool Load() {
    library = LoadSystemLibrary(gRuntimeLibrary);
    activateInstance = GetLibraryFunction<RoActivateInstanceFn>(library, "RoActivateInstance");
    getActivationFactory = GetLibraryFunction<RoGetActivationFactoryFn>(library, "RoGetActivationFactory");
    createString = GetLibraryFunction<WindowsCreateStringFn>(library, "WindowsCreateString");
    deleteString = GetLibraryFunction<WindowsDeleteStringFn>(library, "WindowsDeleteString");
    getRawBuffer = GetLibraryFunction<WindowsGetStringRawBufferFn>(library, "WindowsGetStringRawBuffer");
    return activateInstance && getActivationFactory && createString && deleteString && getRawBuffer;
  }
};

// Owns one runtime string.
class HString {
 public:
  explicit HString(const Runtime& runtime) : runtime_(runtime) {}
  HString(const HString&) = delete;
  HString& operator=(const HString&) = delete;
  ~HString() { Reset(); }

  HRESULT Create(const std::wstring& text) {
    Reset();
    return runtime_.createString(text.c_str(), static_cast<UINT32>(text.size()), &string_);
  }
  HSTRING Get() const { return string_; }
  HSTRING* Out() {
    Reset();
    return &string_;
  }
  // A null string is the empty text.
  std::wstring Text() const {
    if (!string_) return {};
    UINT32 length = 0;
    const wchar_t* buffer = runtime_.getRawBuffer(string_, &length);
    return buffer ? std::wstring(buffer, length) : std::wstring();
  }

 private:
  void Reset() {
    if (string_) runtime_.deleteString(string_);
    string_ = nullptr;
  }
  const Runtime& runtime_;
  HSTRING string_ = nullptr;
};

// Owns one interface reference.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* pointer) : pointer_(pointer) {}
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { Reset(); }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  T** Out() {
    Reset();
    return &pointer_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

 private:
  void Reset() {
    if (pointer_) pointer_->Release();
    pointer_ = nullptr;
  }
  T* pointer_ = nullptr;
};

// The Completed handler: it only signals its event, so it may run on any thread, and before
// put_Completed has returned when the operation is already over.
class CompletionSignal final : public IDeploymentCompletedHandler {
 public:
  // Null when the event cannot be made.
  static CompletionSignal* Create() {
    KernelHandle event(::CreateEventExW(nullptr, nullptr, CREATE_EVENT_MANUAL_RESET, EVENT_MODIFY_STATE | SYNCHRONIZE));
    if (!event.IsValid()) return nullptr;
    return new CompletionSignal(std::move(event));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == kIidDeploymentCompletedHandler || iid == kIidAgileObject) {
      *object = static_cast<IDeploymentCompletedHandler*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE Invoke(IDeploymentOperation* /*operation*/, INT32 /*status*/) override {
    ::SetEvent(event_.Get());
    return S_OK;
  }

  HANDLE Event() const { return event_.Get(); }

 private:
  explicit CompletionSignal(KernelHandle event) : event_(std::move(event)) {}
  ~CompletionSignal() = default;

  LONG references_ = 1;
  KernelHandle event_;
};

DWORD WINAPI RunJob(void* job) {
  (*static_cast<const std::function<void()>*>(job))();
  return 0;
}

// Runs `job` on a thread of its own and waits for it without a time limit. False when the thread
// cannot be started (then `job` did not run).
bool RunOnOwnThread(const std::function<void()>& job) {
  const KernelHandle thread(::CreateThread(nullptr, 0, RunJob, const_cast<std::function<void()>*>(&job), 0, nullptr));
  if (!thread.IsValid()) return false;
  ::WaitForSingleObject(thread.Get(), INFINITE);
  return true;
}

// Runs `work` on the calling thread inside the multi-threaded apartment. Runtime calls surface
// failures as HRESULTs, but anything thrown on the way (allocation, a misbehaving component) must
// end as a failure too, never leave the thread. False when the apartment cannot be joined.
bool RunInApartment(const std::function<bool()>& work) {
  const ComApartment apartment(COINIT_MULTITHREADED);
  if (FAILED(apartment.Result())) return false;
  try {
    return work();
  } catch (...) {
    return false;
  }
}

bool ActivatePackageManager(const Runtime& runtime, ComRef<IPackageManager>& manager) {
  HString className(runtime);
  if (FAILED(className.Create(kPackageManagerClass))) return false;
  ComRef<IInspectable> instance;
  if (FAILED(runtime.activateInstance(className.Get(), instance.Out())) || !instance) return false;
  return SUCCEEDED(instance->QueryInterface(kIidPackageManager, manager.OutVoid())) && manager;
}

bool CreateUri(const Runtime& runtime, const std::wstring& text, ComRef<IUriRuntimeClass>& uri) {
  HString className(runtime);
  if (FAILED(className.Create(kUriClass))) return false;
  ComRef<IUriRuntimeClassFactory> factory;
  if (FAILED(runtime.getActivationFactory(className.Get(), kIidUriRuntimeClassFactory, factory.OutVoid())) ||
      !factory) {
    return false;
  }
  HString uriText(runtime);
  if (FAILED(uriText.Create(text))) return false;
  return SUCCEEDED(factory->CreateUri(uriText.Get(), uri.Out())) && uri;
}

bool Deploy(const std::wstring& path) {
  Runtime runtime;
  if (!runtime.Load()) return false;
  ComRef<IPackageManager> manager;
  if (!ActivatePackageManager(runtime, manager)) return false;
  ComRef<IUriRuntimeClass> uri;
  if (!CreateUri(runtime, path, uri)) return false;
  ComRef<IDeploymentOperation> operation;
  if (FAILED(manager->AddPackageAsync(uri.Get(), nullptr, 0, operation.Out())) || !operation) return false;

  const ComRef<CompletionSignal> signal(CompletionSignal::Create());
  if (!signal) return false;
  if (FAILED(operation->put_Completed(signal.Get()))) return false;
  ::WaitForSingleObject(signal->Event(), INFINITE);

  // The results are read as the deployment API expects, but only the status decides.
  ComRef<IDeploymentResult> result;
  static_cast<void>(operation->GetResults(result.Out()));
  ComRef<IAsyncInfoAbi> info;
  if (FAILED(operation->QueryInterface(kIidAsyncInfo, info.OutVoid())) || !info) return false;
  INT32 status = kAsyncStarted;
  if (FAILED(info->get_Status(&status))) return false;
  static_cast<void>(info->Close());
  return IsDeploymentSucceeded(status);
}

// Any failed read ends the walk with nothing found.
std::wstring FindInstalled(const std::wstring& name, const std::wstring& publisher, const std::wstring& architecture) {
  Runtime runtime;
  if (!runtime.Load()) return {};
  ComRef<IPackageManager> manager;
  if (!ActivatePackageManager(runtime, manager)) return {};
  ComRef<IPackageIterable> packages;
  // The empty security identifier stands for the current user.
  if (FAILED(manager->FindPackagesByUserSecurityId(nullptr, packages.Out())) || !packages) return {};
  ComRef<IPackageIterator> iterator;
  if (FAILED(packages->First(iterator.Out())) || !iterator) return {};
  for (;;) {
    boolean hasCurrent = 0;  // one byte, as the interface writes it
    if (FAILED(iterator->get_HasCurrent(&hasCurrent)) || !hasCurrent) return {};
    ComRef<IPackage> package;
    if (FAILED(iterator->get_Current(package.Out())) || !package) return {};
    ComRef<IPackageId> id;
    if (FAILED(package->get_Id(id.Out())) || !id) return {};
    HString packageName(runtime);
    HString packagePublisher(runtime);
    INT32 packageArchitecture = -1;
    PackageVersion version = {};
    if (FAILED(id->get_Name(packageName.Out())) || FAILED(id->get_Publisher(packagePublisher.Out())) ||
        FAILED(id->get_Architecture(&packageArchitecture)) || FAILED(id->get_Version(&version))) {
      return {};
    }
    const InstalledPackageIdentity identity{packageName.Text(), packagePublisher.Text(),
                                            ArchitectureText(packageArchitecture)};
    if (PackageMatches(identity, name, publisher, architecture)) {
      return FormatVersion(VersionValue{version.Major, version.Minor, version.Build, version.Revision});
    }
    boolean moved = 0;
    if (FAILED(iterator->MoveNext(&moved))) return {};
  }
}

}  // namespace

DWORD InstallAppPackage(const std::wstring& path) {
  bool deployed = false;
  // The inner thread joins the multi-threaded apartment, which the caller's thread may not be in.
  const bool ran = RunOnOwnThread([&] {
    // The outer thread's fault capture (InstallCrashHandlers) is installed here once diagnostics exist;
    // until then the catch-all in RunInApartment is the boundary.
    static_cast<void>(RunOnOwnThread([&] { deployed = RunInApartment([&] { return Deploy(path); }); }));
  });
  return ran && deployed ? kAppPackageInstalled : kAppPackageFailed;
}

std::wstring MsixFinder::Find(const std::wstring& name, const std::wstring& publisher,
                              const std::wstring& architecture) {
  std::wstring version;
  static_cast<void>(RunOnOwnThread([&] {
    static_cast<void>(RunInApartment([&] {
      version = FindInstalled(name, publisher, architecture);
      return true;
    }));
  }));
  return version;
}

std::wstring ArchitectureText(INT32 architecture) {
  switch (architecture) {
    case 0:
      return L"x86";
    case 5:
      return L"arm";
    case 9:
      return L"x64";
    case 11:
      return L"neutral";
    case 12:
      return L"arm64";
    default:
      return {};
  }
}

bool IsDeploymentSucceeded(INT32 status) { return status == kAsyncCompleted; }

bool PackageMatches(const InstalledPackageIdentity& package, const std::wstring& name,
                    const std::wstring& publisher, const std::wstring& architecture) {
  return package.name == name && (publisher.empty() || package.publisher == publisher) &&
         (architecture.empty() || package.architecture == architecture);
}

void SetRuntimeLibraryForTesting(const wchar_t* name) { gRuntimeLibrary = name ? name : L"combase.dll"; }

}  // namespace quillon
