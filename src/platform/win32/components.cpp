// In-house components on Windows: COM objects created by ProgID and driven late-bound through
// IDispatch, with exactly the members the agent uses.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <vector>

#include "platform/components.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

class Bstr {
 public:
  explicit Bstr(const std::string& text) : value_(SysAllocString(Wide(text).c_str())) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

bool EnsureComStarted() {
  static const bool started = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
                              true;  // RPC_E_CHANGED_MODE still leaves COM usable
  return started;
}

IDispatch* CreateDispatch(const std::string& prog_id) {
  EnsureComStarted();
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(Wide(prog_id).c_str(), &clsid))) return nullptr;
  IDispatch* dispatch = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                              reinterpret_cast<void**>(&dispatch)))) {
    return nullptr;
  }
  return dispatch;
}

// Invokes a member; arguments are given in call order and reversed here as IDispatch expects.
bool Invoke(IDispatch* target, const std::string& member, WORD flags, std::vector<VARIANT> args,
            VARIANT* result) {
  std::wstring name = Wide(member);
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  if (FAILED(target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  DISPID put_id = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  return SUCCEEDED(target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                  nullptr, nullptr));
}

class ComComponent final : public AutomationObject {
 public:
  explicit ComComponent(IDispatch* dispatch) : dispatch_(dispatch) {}
  ~ComComponent() override {
    if (connection_ != nullptr) connection_->Release();
    dispatch_->Release();
  }

  IDispatch* dispatch() const { return dispatch_; }

  bool SetObjectProperty(const std::string& name, AutomationObject& value) override {
    // A built-in stand-in has no object a registered component could hold: nothing is handed
    // over, and the component keeps what it has (the stand-in does the work meanwhile).
    auto* other = dynamic_cast<ComComponent*>(&value);
    if (other == nullptr) return true;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_DISPATCH;
    arg.pdispVal = other->dispatch();
    return Invoke(dispatch_, name, DISPATCH_PROPERTYPUTREF, {arg}, nullptr);
  }

  // The database component expects an open ADO connection: one is created and opened with the
  // same connection string, then assigned by reference.
  bool SetConnection(const std::string& name, const std::string& connection_string) override {
    IDispatch* ado = CreateDispatch("ADODB.Connection");
    if (ado == nullptr) return false;
    Bstr text(connection_string);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = text.get();
    if (!Invoke(ado, "Open", DISPATCH_METHOD, {arg}, nullptr)) {
      ado->Release();
      return false;
    }
    if (connection_ != nullptr) connection_->Release();
    connection_ = ado;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_DISPATCH;
    ref.pdispVal = ado;
    return Invoke(dispatch_, name, DISPATCH_PROPERTYPUTREF, {ref}, nullptr);
  }

  bool CallMethod(const std::string& name) override {
    return Invoke(dispatch_, name, DISPATCH_METHOD, {}, nullptr);
  }

  std::optional<std::string> GetIniString(const std::string& file, const std::string& section,
                                          const std::string& key,
                                          const std::string& default_value) override {
    Bstr a(file), b(section), c(key), d(default_value);
    std::vector<VARIANT> args(4);
    BSTR values[] = {a.get(), b.get(), c.get(), d.get()};
    for (size_t i = 0; i < 4; ++i) {
      VariantInit(&args[i]);
      args[i].vt = VT_BSTR;
      args[i].bstrVal = values[i];
    }
    VARIANT result;
    VariantInit(&result);
    if (!Invoke(dispatch_, "FsEnvGetINIString", DISPATCH_METHOD, args, &result)) {
      return std::nullopt;
    }
    std::optional<std::string> text;
    if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR))) {
      text = Narrow(std::wstring(result.bstrVal, SysStringLen(result.bstrVal)));
    }
    VariantClear(&result);
    return text;
  }

 private:
  IDispatch* dispatch_;
  IDispatch* connection_ = nullptr;
};

}  // namespace

std::unique_ptr<AutomationObject> CreateRegisteredComponent(const std::string& prog_id) {
  IDispatch* dispatch = CreateDispatch(prog_id);
  if (dispatch == nullptr) return nullptr;
  return std::make_unique<ComComponent>(dispatch);
}

}  // namespace quillmend
