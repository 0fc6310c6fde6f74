// Method calls on Wine's real WMI: what a missing namespace or class gives,
// instance paths, in-parameter definitions and a call's out-parameters.
#include <gtest/gtest.h>

#include <wbemidl.h>

#include "com_method_source.h"

namespace kv::wmi {
namespace {

TEST(ComMethodSource, MissingNameSpaceAndClassAreToldApart) {
    ComMethodSource wmi;
    EXPECT_EQ(wmi.Connect(L"root\\CIMV2\\Security\\MicrosoftVolumeEncryption"),
              static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE));
    wmi.Disconnect();
    ASSERT_EQ(wmi.Connect(L"root\\cimv2"), S_OK);
    std::wstring path;
    // Windows refuses an unknown class; Wine enumerates it as empty. Both
    // mean that the volume is not protected.
    const HRESULT missing = wmi.FindInstance(L"Win32_EncryptableVolume", L"DriveLetter", L"C:", path);
    EXPECT_TRUE(missing == static_cast<HRESULT>(WBEM_E_INVALID_CLASS) || missing == S_FALSE) << missing;
    EXPECT_EQ(wmi.FindInstance(L"Win32_LogicalDisk", L"DeviceID", L"Q:", path), S_FALSE);
    ASSERT_EQ(wmi.FindInstance(L"Win32_LogicalDisk", L"DeviceID", L"c:", path), S_OK);
    EXPECT_NE(path.find(L"Win32_LogicalDisk"), std::wstring::npos) << path;
    wmi.Disconnect();
}

TEST(ComMethodSource, ReadsInParametersAndCallsWithIntegers) {
    ComMethodSource wmi;
    ASSERT_EQ(wmi.Connect(L"root\\default"), S_OK);
    bool has = false;
    ASSERT_EQ(wmi.HasInParameter(L"StdRegProv", L"EnumKey", L"hDefKey", has), S_OK);
    EXPECT_TRUE(has);
    ASSERT_EQ(wmi.HasInParameter(L"StdRegProv", L"EnumKey", L"DisableCount", has), S_OK);
    EXPECT_FALSE(has);

    MethodOutput out;
    // HKEY_LOCAL_MACHINE's subkeys under the empty path: the call succeeds.
    ASSERT_EQ(wmi.ExecMethod(L"StdRegProv", L"StdRegProv", L"EnumKey", {{L"hDefKey", 0x80000002u}}, out), S_OK);
    ASSERT_EQ(out.count(L"ReturnValue"), 1u);
    EXPECT_EQ(out[L"ReturnValue"], 0u);
    EXPECT_NE(wmi.ExecMethod(L"StdRegProv", L"StdRegProv", L"EnumKey", {{L"NoSuchParameter", 1}}, out), S_OK);
    wmi.Disconnect();
}

}  // namespace
}  // namespace kv::wmi
