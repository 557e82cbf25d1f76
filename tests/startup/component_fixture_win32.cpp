// A registered in-process automation component for the tests, standing in for one of the
// product's: late-bound members DbCnn, mca, mcs (object properties), IniDlls and
// FsEnvGetINIString(file, section, key, default), which returns "component:" + key. Every call
// that reaches it is appended as one line ("<member> <kind>") to the file named by the
// environment variable QUILLMEND_TEST_COMPONENT_LOG.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cwchar>
#include <new>
#include <string>

namespace {

// {6A1C52E0-3F4B-4C5A-9B1D-2E7F80A4C913}
const CLSID kFixtureClsid = {0x6a1c52e0, 0x3f4b, 0x4c5a,
                             {0x9b, 0x1d, 0x2e, 0x7f, 0x80, 0xa4, 0xc9, 0x13}};
LONG g_objects = 0;

const wchar_t* const kMembers[] = {L"DbCnn", L"mca", L"mcs", L"IniDlls", L"FsEnvGetINIString"};

void Log(const std::wstring& line) {
  wchar_t path[MAX_PATH];
  if (GetEnvironmentVariableW(L"QUILLMEND_TEST_COMPONENT_LOG", path, MAX_PATH) == 0) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string bytes;
  for (wchar_t c : line) bytes += static_cast<char>(c);  // member names are ASCII
  bytes += "\n";
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

class Component final : public IDispatch {
 public:
  Component() { InterlockedIncrement(&g_objects); }
  ~Component() { InterlockedDecrement(&g_objects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count != 1) return DISP_E_UNKNOWNNAME;
    for (DISPID i = 0; i < static_cast<DISPID>(std::size(kMembers)); ++i) {
      if (_wcsicmp(names[0], kMembers[i]) == 0) {
        ids[0] = i + 1;
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id < 1 || id > static_cast<DISPID>(std::size(kMembers))) return DISP_E_MEMBERNOTFOUND;
    const std::wstring member = kMembers[id - 1];
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
      Log(member + L" set");
      return S_OK;
    }
    if (member == L"FsEnvGetINIString") {
      if (params->cArgs != 4 || params->rgvarg[1].vt != VT_BSTR) return DISP_E_BADPARAMCOUNT;
      Log(member + L" call");
      if (result != nullptr) {
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString((std::wstring(L"component:") +
                                          params->rgvarg[1].bstrVal).c_str());  // the key
      }
      return S_OK;
    }
    Log(member + L" call");
    return S_OK;
  }

 private:
  LONG references_ = 1;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* component = new (std::nothrow) Component();
    if (component == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = component->QueryInterface(iid, out);
    component->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid,
                                                                          REFIID iid,
                                                                          void** out) {
  if (clsid != kFixtureClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_objects == 0 ? S_OK : S_FALSE;
}
