#pragma once
// The binary interface of the few Windows Runtime types the package-manager code uses. The toolchain
// ships no declarations for them (and its generic collection templates have the wrong layout), so
// they are declared here slot by slot. Every method is __stdcall: GCC would otherwise pass `this`
// in ECX on i686. No interface has a destructor, which would add vtable slots.

#include <windows.h>
#include <hstring.h>
#include <inspectable.h>

namespace quillon::winrt {

// Windows.Foundation.AsyncStatus.
constexpr INT32 kAsyncStarted = 0;
constexpr INT32 kAsyncCompleted = 1;
constexpr INT32 kAsyncCanceled = 2;
constexpr INT32 kAsyncError = 3;

constexpr HRESULT kIllegalMethodCall = static_cast<HRESULT>(0x8000000E);
constexpr HRESULT kIllegalDelegateAssignment = static_cast<HRESULT>(0x80000018);
constexpr HRESULT kBounds = static_cast<HRESULT>(0x8000000B);

constexpr IID kIidInspectable = {0xaf86e2e0, 0xb12d, 0x4c6a, {0x9c, 0x5a, 0xd7, 0xaa, 0x65, 0x10, 0x1e, 0x90}};
constexpr IID kIidActivationFactory = {0x00000035, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidAsyncInfo = {0x00000036, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidAgileObject = {0x94ea2b94, 0xe9cc, 0x49e0, {0xc0, 0xff, 0xee, 0x64, 0xca, 0x8f, 0x5b, 0x90}};
constexpr IID kIidUriRuntimeClassFactory = {
    0x44a9796f, 0x723e, 0x4fdf, {0xa2, 0x18, 0x03, 0x3e, 0x75, 0xb0, 0xc0, 0x84}};
constexpr IID kIidUriRuntimeClass = {0x9e365e57, 0x48b2, 0x4160, {0x95, 0x6f, 0xc7, 0x38, 0x51, 0x20, 0xbb, 0xfc}};
constexpr IID kIidPackageManager = {0x9a7d4b65, 0x5e8f, 0x4fc7, {0xa2, 0xe5, 0x7f, 0x69, 0x25, 0xcb, 0x8b, 0x53}};
// IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress>.
constexpr IID kIidDeploymentOperation = {0x5a97aab7, 0xb6ea, 0x55ac, {0xa5, 0xdc, 0xd5, 0xb1, 0x64, 0xd9, 0x4e, 0x94}};
// AsyncOperationWithProgressCompletedHandler<DeploymentResult, DeploymentProgress>.
constexpr IID kIidDeploymentCompletedHandler = {
    0x6e1c7129, 0x61e0, 0x5d88, {0x9f, 0xd4, 0xf3, 0xce, 0x65, 0xa0, 0x57, 0x19}};
constexpr IID kIidDeploymentResult = {0x2563b9ae, 0xb77d, 0x4c1f, {0x8a, 0x7b, 0x20, 0xe6, 0xad, 0x51, 0x5e, 0xf3}};
// IIterable<Package> and IIterator<Package>.
constexpr IID kIidPackageIterable = {0x69ad6aa7, 0x0c49, 0x5f27, {0xa5, 0xeb, 0xef, 0x4d, 0x59, 0x46, 0x7b, 0x6d}};
constexpr IID kIidPackageIterator = {0x0217f069, 0x025c, 0x5ee6, {0xa8, 0x7f, 0xe7, 0x82, 0xe3, 0xb6, 0x23, 0xae}};
constexpr IID kIidPackage = {0x163c792f, 0xbd75, 0x413c, {0xbf, 0x23, 0xb1, 0xfe, 0x7b, 0x95, 0xd8, 0x25}};
constexpr IID kIidPackageId = {0x1adb665e, 0x37c7, 0x4790, {0x99, 0x80, 0xdd, 0x7a, 0xe7, 0x4e, 0x8b, 0xb2}};

constexpr const wchar_t kPackageManagerClass[] = L"Windows.Management.Deployment.PackageManager";
constexpr const wchar_t kUriClass[] = L"Windows.Foundation.Uri";

// Windows.ApplicationModel.PackageVersion.
struct PackageVersion {
  UINT16 Major;
  UINT16 Minor;
  UINT16 Build;
  UINT16 Revision;
};

// Windows.Foundation.IAsyncInfo.
struct IAsyncInfoAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(UINT32* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(INT32* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

// Windows.Foundation.IUriRuntimeClass: only passed along by the program, but complete for a stand-in.
struct IUriRuntimeClass : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_AbsoluteUri(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DisplayUri(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Domain(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Extension(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Fragment(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Host(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Password(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Path(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Query(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_QueryParsed(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RawUri(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SchemeName(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserName(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Port(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Suspicious(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Equals(IUriRuntimeClass* other, boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CombineUri(HSTRING relativeUri, IUriRuntimeClass** value) = 0;
};

// Windows.Foundation.IUriRuntimeClassFactory.
struct IUriRuntimeClassFactory : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateUri(HSTRING uri, IUriRuntimeClass** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateWithRelativeUri(HSTRING baseUri, HSTRING relativeUri,
                                                          IUriRuntimeClass** value) = 0;
};

// Windows.Management.Deployment.IDeploymentResult.
struct IDeploymentResult : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_ErrorText(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActivityId(GUID* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExtendedErrorCode(HRESULT* value) = 0;
};

struct IDeploymentOperation;

// AsyncOperationWithProgressCompletedHandler<DeploymentResult, DeploymentProgress>: a delegate, so
// it derives from IUnknown and Invoke is the fourth slot.
struct IDeploymentCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IDeploymentOperation* operation, INT32 status) = 0;
};

// IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress>; the same object answers IAsyncInfo.
struct IDeploymentOperation : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Progress(IUnknown* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Progress(IUnknown** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Completed(IDeploymentCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(IDeploymentCompletedHandler** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(IDeploymentResult** result) = 0;
};

// Windows.ApplicationModel.IPackageId.
struct IPackageId : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Name(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Version(PackageVersion* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Architecture(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ResourceId(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Publisher(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PublisherId(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FullName(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FamilyName(HSTRING* value) = 0;
};

// Windows.ApplicationModel.IPackage.
struct IPackage : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(IPackageId** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InstalledLocation(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsFramework(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Dependencies(IInspectable** value) = 0;
};

// IIterator<Package>; the booleans are one byte.
struct IPackageIterator : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Current(IPackage** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveNext(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 capacity, IPackage** items, UINT32* actual) = 0;
};

// IIterable<Package>.
struct IPackageIterable : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE First(IPackageIterator** value) = 0;
};

// Windows.Management.Deployment.IPackageManager; the program calls only AddPackageAsync and
// FindPackagesByUserSecurityId, the other slots keep the layout.
struct IPackageManager : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE AddPackageAsync(IUriRuntimeClass* packageUri, IInspectable* dependencies,
                                                    UINT32 options, IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdatePackageAsync(IUriRuntimeClass* packageUri, IInspectable* dependencies,
                                                       UINT32 options, IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemovePackageAsync(HSTRING fullName, IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE StagePackageAsync(IUriRuntimeClass* packageUri, IInspectable* dependencies,
                                                      IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterPackageAsync(IUriRuntimeClass* manifestUri, IInspectable* dependencies,
                                                         UINT32 options, IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackages(IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityId(HSTRING userSecurityId,
                                                                 IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByNamePublisher(HSTRING name, HSTRING publisher,
                                                                IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityIdNamePublisher(HSTRING userSecurityId, HSTRING name,
                                                                              HSTRING publisher,
                                                                              IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindUsers(HSTRING fullName, IInspectable** users) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPackageState(HSTRING fullName, INT32 state) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackageByPackageFullName(HSTRING fullName, IPackage** package) = 0;
  virtual HRESULT STDMETHODCALLTYPE CleanupPackageForUserAsync(HSTRING name, HSTRING userSecurityId,
                                                               IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByPackageFamilyName(HSTRING familyName,
                                                                    IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityIdPackageFamilyName(HSTRING userSecurityId,
                                                                                  HSTRING familyName,
                                                                                  IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackageByUserSecurityIdPackageFullName(HSTRING userSecurityId,
                                                                               HSTRING fullName,
                                                                               IPackage** package) = 0;
};

// Factories: IActivationFactory's one method after IInspectable's.
struct IActivationFactoryAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) = 0;
};

// The runtime's entry points, looked up at run time (Vista and 7 have none).
using RoActivateInstanceFn = HRESULT(WINAPI*)(HSTRING classId, IInspectable** instance);
using RoGetActivationFactoryFn = HRESULT(WINAPI*)(HSTRING classId, REFIID iid, void** factory);
using WindowsCreateStringFn = HRESULT(WINAPI*)(const wchar_t* text, UINT32 length, HSTRING* string);
using WindowsDeleteStringFn = HRESULT(WINAPI*)(HSTRING string);
using WindowsGetStringRawBufferFn = const wchar_t*(WINAPI*)(HSTRING string, UINT32* length);

}  // namespace quillon::winrt
