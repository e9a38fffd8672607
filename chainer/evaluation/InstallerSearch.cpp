#include "chainer/evaluation/InstallerSearch.h"

#include <windows.h>
#include <msi.h>

#include <algorithm>

#include "platform/core/SystemLibraries.h"

namespace quillon {
namespace {

using MsiGetProductInfoFunction = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
using MsiEnumRelatedProductsFunction = UINT(WINAPI*)(LPCWSTR, DWORD, DWORD, LPWSTR);
using MsiLocateComponentFunction = INSTALLSTATE(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);

constexpr DWORD kProductCodeLength = 39;  // a GUID in braces and its NUL

struct InstallerApi {
  MsiGetProductInfoFunction getProductInfo = nullptr;
  MsiEnumRelatedProductsFunction enumRelatedProducts = nullptr;
  MsiLocateComponentFunction locateComponent = nullptr;
};

// Loaded once for the whole process; the library stays so that the pointers stay good.
const InstallerApi& Installer() {
  static const InstallerApi api = [] {
    InstallerApi result;
    LibraryHolder library = LoadSystemLibrary(L"msi.dll");
    if (!library.IsValid()) return result;
    result.getProductInfo = GetLibraryFunction<MsiGetProductInfoFunction>(library, "MsiGetProductInfoW");
    result.enumRelatedProducts = GetLibraryFunction<MsiEnumRelatedProductsFunction>(library, "MsiEnumRelatedProductsW");
    result.locateComponent = GetLibraryFunction<MsiLocateComponentFunction>(library, "MsiLocateComponentW");
    static_cast<void>(library.Release());
    return result;
  }();
  return api;
}

}  // namespace

void CollectProductVersion(const std::wstring& productCode, std::vector<std::wstring>& found) {
  const auto getProductInfo = Installer().getProductInfo;
  if (getProductInfo == nullptr) return;
  // First ask for the length with a buffer of no room, then read with room for the NUL.
  wchar_t none[1] = {L'\0'};
  DWORD length = 0;
  UINT status = getProductInfo(productCode.c_str(), L"VersionString", none, &length);
  if (status == ERROR_MORE_DATA) {
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    length = static_cast<DWORD>(text.size());
    status = getProductInfo(productCode.c_str(), L"VersionString", text.data(), &length);
    if (status != ERROR_SUCCESS) return;
    text.resize(std::min<size_t>(length, text.size() - 1));
    found.push_back(text.c_str());
    return;
  }
  if (status == ERROR_SUCCESS) found.emplace_back();
}

void CollectUpgradeCodeVersions(const std::wstring& upgradeCode, std::vector<std::wstring>& found) {
  const auto enumRelatedProducts = Installer().enumRelatedProducts;
  if (enumRelatedProducts == nullptr) return;
  for (DWORD index = 0;; ++index) {
    wchar_t productCode[kProductCodeLength] = {};
    if (enumRelatedProducts(upgradeCode.c_str(), 0, index, productCode) != ERROR_SUCCESS) return;
    CollectProductVersion(productCode, found);
  }
}

bool IsComponentInstalled(const std::wstring& componentCode) {
  const auto locateComponent = Installer().locateComponent;
  if (locateComponent == nullptr) return false;
  wchar_t none[1] = {L'\0'};
  DWORD length = 0;
  INSTALLSTATE state = locateComponent(componentCode.c_str(), none, &length);
  if (state == INSTALLSTATE_MOREDATA) {
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    length = static_cast<DWORD>(path.size());
    state = locateComponent(componentCode.c_str(), path.data(), &length);
  }
  return state == INSTALLSTATE_LOCAL || state == INSTALLSTATE_SOURCE;
}

}  // namespace quillon
