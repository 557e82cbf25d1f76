// The in-house components with a real registered COM component beside built-in stand-ins: the
// clinic database stays usable, the registered component receives what can be handed to it and
// is initialised, and values are read through it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "../db/db_sandbox.h"
#include "db/db_access.h"
#include "platform/win32/wide.h"
#include "startup/in_house_components.h"
#include "support/host_paths.h"

namespace quillmend {
namespace {

using testing::DbSandbox;
using testing::ReadFileBytes;

constexpr const wchar_t* kFixtureClsid = L"{6A1C52E0-3F4B-4C5A-9B1D-2E7F80A4C913}";

void SetKeyValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

// Registers the test component under one of the product's ProgIDs (in the test's own prefix).
class RegisteredComponent {
 public:
  explicit RegisteredComponent(const std::wstring& prog_id) : prog_id_(prog_id) {
    SetKeyValue(prog_id_ + L"\\CLSID", nullptr, kFixtureClsid);
    const std::wstring server = std::wstring(L"CLSID\\") + kFixtureClsid + L"\\InprocServer32";
    SetKeyValue(server, nullptr, Wide(QUILLMEND_COMPONENT_FIXTURE));
    SetKeyValue(server, L"ThreadingModel", L"Apartment");
  }
  ~RegisteredComponent() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, prog_id_.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kFixtureClsid).c_str());
  }

 private:
  std::wstring prog_id_;
};

TEST(InHouseComponents, ARegisteredComponentBesideStandInsKeepsTheClinicDatabaseUsable) {
  DbSandbox box;
  const std::string log = box.folder.Sub("component.log");
  testing::SetEnvironment("QUILLMEND_TEST_COMPONENT_LOG", log);
  RegisteredComponent kit(L"gKit.clsKit");
  // Only the utility component is registered: the other two are the built-in stand-ins.
  CreateInHouseComponents(box.state);
  OpenLocalDatabase(box.state);
  testing::SetEnvironment("QUILLMEND_TEST_COMPONENT_LOG", "");

  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open()) << box.FailureLog();
  EXPECT_EQ(box.FailureLog(), "");
  // A stand-in has no object to hand over: the registered component gets no "mca"/"mcs", and is
  // initialised all the same.
  EXPECT_EQ(ReadFileBytes(log), "IniDlls call\n");
}

TEST(InHouseComponents, ValuesAreReadThroughARegisteredSystemComponent) {
  DbSandbox box;
  RegisteredComponent env(L"Env.clsEnv");
  CreateInHouseComponents(box.state);
  EXPECT_EQ(EnvGetIniString(box.state, box.folder.Sub("ORVEL_H.ini"), "DB", "DSN", "DSN"),
            "component:DSN");
}

}  // namespace
}  // namespace quillmend
