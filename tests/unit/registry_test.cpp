// The registry helpers, their fallback for users who may not write to HKLM,
// and the product key. Under Wine these run against the real registry (as an
// administrator) and remove every key they made.
#include <cstring>
#include <string>

#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "support/platform.h"

namespace {

const char* const TEST_ROOT = "Software\\Loxbrine Registry Test";
const char* const PRODUCT = "Software\\Loxbrine Registry Test\\Loxbrine";
const char* const PRODUCT_SUB = "Software\\Loxbrine Registry Test\\Loxbrine\\Sub";
const char* const DEFAULT_PRODUCT = ".DEFAULT\\Software\\Loxbrine Registry Test\\Loxbrine";

class RegistryTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        // A product key of its own, so that nothing else on the machine is touched.
        FormatText(setupState.productKeyFormat, sizeof setupState.productKeyFormat, "%s\\%%s", TEST_ROOT);
        CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
        RemoveAll();
    }
    void TearDown() override {
        RemoveAll();
#if ON_STAND_IN
        EXPECT_EQ(0, hostwin::OpenKeyCount()) << "a key was left open";
#endif
    }
    static void RemoveAll() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (const char* path : {PRODUCT_SUB, PRODUCT, TEST_ROOT}) RegDeleteKeyA(root, path);
        }
        RegDeleteKeyA(HKEY_USERS, DEFAULT_PRODUCT);
        RegDeleteKeyA(HKEY_USERS, ".DEFAULT\\Software\\Loxbrine Registry Test");
    }
    static void Put(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, PRODUCT, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    // Size of a stored value; ~0 when it cannot be read.
    static DWORD StoredSize(HKEY root, const char* path, const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return ~0u;
        DWORD size = 0;
        LONG result = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? size : ~0u;
    }
    static std::string ReadText(const char* name) {
        char buffer[260];
        return ReadProductValue(name, REG_SZ, buffer, sizeof buffer) ? std::string(buffer) : "(not read)";
    }
};

TEST_F(RegistryTest, NamesWithABackslashAddressASubKey) {
    EXPECT_EQ(1, WriteProductValue("Sub\\Value", REG_SZ, "in sub", 0));
    EXPECT_EQ(1, WriteProductValue("\\Value", REG_SZ, "in product", 0));
    EXPECT_EQ(7u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT_SUB, "Value"));
    EXPECT_EQ(11u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "\\Value"));
    EXPECT_EQ("in sub", ReadText("Sub\\Value"));
    EXPECT_EQ("in product", ReadText("\\Value"));
    // The product key cannot go while a sub-key is left; then it goes once.
    EXPECT_EQ(0, DeleteProductKey("BaseDirectory"));
    EXPECT_EQ(1, DeleteProductKey("Sub\\Value"));
    EXPECT_EQ(1, DeleteProductKey("BaseDirectory"));
    EXPECT_EQ(0, DeleteProductKey("InstallDate"));
    EXPECT_EQ(~0u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "\\Value"));
}

#if ON_STAND_IN

// A user who may not write to HKLM.
class FallbackTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        hostwin::SetAdministrator(false);
    }
    static std::string TextAt(HKEY root, const char* path) {
        hostwin::RegistryValue value;
        return hostwin::FindValue(root, path, "BaseDirectory", &value) ? value.Text() : "(none)";
    }
};

TEST_F(FallbackTest, WriterUsesBothProfilesWhereverItMay) {
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    EXPECT_EQ(1, WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT));
    EXPECT_EQ("C:\\WINDOWS\\bfax", TextAt(HKEY_CURRENT_USER, PRODUCT));
    EXPECT_EQ("C:\\WINDOWS\\bfax", TextAt(HKEY_USERS, DEFAULT_PRODUCT));
    // Not asked for, or not below HKLM: no fallback.
    DWORD value = 1;
    EXPECT_EQ(0, WriteRegistryValue(HKEY_LOCAL_MACHINE, PRODUCT, "V", REG_DWORD, &value, sizeof value, 0));
    // The default profile alone is enough.
    hostwin::SetKeyRights(HKEY_CURRENT_USER, "", hostwin::KEY_RIGHTS_READ);
    EXPECT_EQ(1, WriteProductValue("Other", REG_SZ, "x", 0));
    EXPECT_EQ(0, WriteRegistryValue(HKEY_CURRENT_USER, PRODUCT, "V", REG_DWORD, &value, sizeof value, 1));
    // Nowhere to write: 0.
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_READ);
    EXPECT_EQ(0, WriteProductValue("Other", REG_SZ, "x", 0));
    // A path too long for the default profile is not cut.
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    hostwin::SetKeyRights(HKEY_CURRENT_USER, "", hostwin::KEY_RIGHTS_FULL);
    std::string path = "Software\\" + std::string(240, 'p');
    EXPECT_EQ(1, WriteRegistryValue(HKEY_LOCAL_MACHINE, path.c_str(), "Value", REG_SZ, "v", 0, 1));
    EXPECT_EQ(1u, hostwin::SubKeyNames(HKEY_USERS, ".DEFAULT\\Software").size());
}

#endif

}  // namespace
