// Registry: the platform rules the helpers rely on, the helpers with their
// fallback for users who may not write to HKLM, and the product key.
// Under Wine these run against the real registry (as an administrator) and
// remove every key they made.
#include <cstring>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "support/platform.h"

namespace {

const char* const TEST_ROOT = "Software\\Loxbrine Registry Test";
const char* const SCRATCH = "Software\\Loxbrine Registry Test\\Scratch";
const char* const PRODUCT = "Software\\Loxbrine Registry Test\\Loxbrine";
const char* const PRODUCT_SUB = "Software\\Loxbrine Registry Test\\Loxbrine\\Sub";
const char* const DEFAULT_PRODUCT = ".DEFAULT\\Software\\Loxbrine Registry Test\\Loxbrine";
const char* const DORNEL = "Software\\Dornel Software";
const REGSAM VALUE_ACCESS = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

void RemoveKeys(HKEY root, const std::vector<std::string>& deepestFirst) {
    for (const std::string& path : deepestFirst) RegDeleteKeyA(root, path.c_str());
}

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
        const std::vector<std::string> paths = {std::string(SCRATCH) + "\\Sub\\Deeper",
                                                std::string(SCRATCH) + "\\Sub",
                                                SCRATCH,
                                                PRODUCT_SUB,
                                                PRODUCT,
                                                TEST_ROOT};
        RemoveKeys(HKEY_LOCAL_MACHINE, paths);
        RemoveKeys(HKEY_CURRENT_USER, paths);
        RemoveKeys(HKEY_USERS, {DEFAULT_PRODUCT, ".DEFAULT\\Software\\Loxbrine Registry Test"});
    }

    static HKEY Create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr)) << path;
        return key;
    }
    static void Put(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = Create(root, path);
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    static void PutText(HKEY root, const char* path, const char* name, const char* text) {
        Put(root, path, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
    }
    // Type and size of a stored value; size ~0 when it cannot be read.
    static DWORD StoredSize(HKEY root, const char* path, const char* name, DWORD* type = nullptr) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return ~0u;
        DWORD size = 0;
        LONG result = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? size : ~0u;
    }
    static bool Exists(HKEY root, const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    static std::string ReadText(const char* name) {
        char buffer[260];
        return ReadProductValue(name, REG_SZ, buffer, sizeof buffer) ? std::string(buffer) : "(not read)";
    }
};

// ---- the platform's rules -----------------------------------------------------------

TEST_F(RegistryTest, ValuesKeepTypeAndExactSizeAndNamesIgnoreCase) {
    const BYTE binary[6] = {1, 2, 3, 4, 5, 6};
    const DWORD number = 20261206;
    Put(HKEY_CURRENT_USER, SCRATCH, "Binary", REG_BINARY, binary, sizeof binary);
    Put(HKEY_CURRENT_USER, SCRATCH, "Number", REG_DWORD, &number, sizeof number);
    PutText(HKEY_CURRENT_USER, SCRATCH, "Text", "abc");
    Put(HKEY_CURRENT_USER, SCRATCH, "Empty", REG_SZ, "", 0);
    // A text size that leaves out the NUL after it is taken to include it.
    Put(HKEY_CURRENT_USER, SCRATCH, "Short", REG_SZ, "abcd", 4);

    DWORD type = 0;
    EXPECT_EQ(6u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "binary", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(4u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "NUMBER", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "Text"));
    EXPECT_EQ(0u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "Empty", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(5u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "Short"));

    HKEY key = Create(HKEY_CURRENT_USER, SCRATCH);
    BYTE buffer[8];
    std::memset(buffer, 0xA5, sizeof buffer);
    DWORD size = sizeof buffer;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Empty", nullptr, &type, buffer, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0xA5, buffer[0]);  // a value of size 0 writes nothing
    size = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Binary", nullptr, &type, buffer, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Binary", nullptr, &type, buffer, nullptr));
    size = sizeof buffer;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", nullptr, &type, buffer, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "Missing"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "EMPTY"));
    EXPECT_EQ(~0u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "Empty"));
    RegCloseKey(key);
}

TEST_F(RegistryTest, TextWithoutNulGetsOneOnlyWhenTheBufferHasRoom) {
    Put(HKEY_CURRENT_USER, SCRATCH, "NoNul", REG_SZ, "abcdX", 4);
    EXPECT_EQ(4u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "NoNul"));
    HKEY key = Create(HKEY_CURRENT_USER, SCRATCH);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = 5;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "NoNul", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(std::string("abcd\0x", 6), std::string(buffer, 6));
    std::memset(buffer, 'x', sizeof buffer);
    size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "NoNul", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ("abcdxx", std::string(buffer, 6));  // full buffer: no terminator anywhere
    RegCloseKey(key);
}

TEST_F(RegistryTest, HandlesKeepTheAccessTheyWereOpenedWith) {
    HKEY created = Create(HKEY_CURRENT_USER, SCRATCH);
    RegCloseKey(created);
    HKEY query = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SCRATCH, 0, KEY_QUERY_VALUE, &query));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(query, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2));
    RegCloseKey(query);
    HKEY set = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SCRATCH, 0, KEY_SET_VALUE, &set));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(set, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(set, "V", nullptr, nullptr, nullptr, &size));
    RegCloseKey(set);

    HKEY missing = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Loxbrine Registry Test\\None", 0, KEY_READ, &missing));
    EXPECT_EQ(nullptr, missing);
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &missing));
    HKEY same = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &same));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, same);  // a predefined key is handed back as it is
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));  // predefined keys close quietly
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(0x7777)));
}

TEST_F(RegistryTest, DeleteRefusesAKeyWithSubKeysAndOpenHandlesSeeTheDeletion) {
    std::string sub = std::string(SCRATCH) + "\\Sub";
    std::string deeper = sub + "\\Deeper";
    HKEY deeperKey = Create(HKEY_CURRENT_USER, deeper.c_str());
    RegCloseKey(deeperKey);
    HKEY subKey = Create(HKEY_CURRENT_USER, sub.c_str());
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, sub.c_str()));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, deeper.c_str()));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, sub.c_str()));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(subKey, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(subKey, "V", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(subKey));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CURRENT_USER, sub.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_CURRENT_USER, nullptr));
}

TEST_F(RegistryTest, UserWhoIsNotAdministratorReadsButCannotWriteHklm) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    hostwin::SetAdministrator(false);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_SET_VALUE, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, PRODUCT, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, TEST_ROOT));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(HKEY_USERS, DEFAULT_PRODUCT, 0, nullptr, 0, VALUE_ACCESS, nullptr, &key, nullptr));
    hostwin::CreateKey(HKEY_LOCAL_MACHINE, PRODUCT);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT));
    RegCloseKey(Create(HKEY_CURRENT_USER, PRODUCT, VALUE_ACCESS));

    // Finer settings: the deepest one that covers a key decides.
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    RegCloseKey(Create(HKEY_USERS, DEFAULT_PRODUCT, VALUE_ACCESS));
    hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, TEST_ROOT, hostwin::KEY_RIGHTS_NONE);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT, 0, KEY_QUERY_VALUE, &key));
    hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, PRODUCT, KEY_QUERY_VALUE);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT, 0, KEY_QUERY_VALUE, &key));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT, 0, KEY_READ, &key));

    hostwin::SetAdministrator(true);
    hostwin::DeleteKeyTree(HKEY_LOCAL_MACHINE, TEST_ROOT);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &key));
    RegCloseKey(key);
#endif
}

// ---- the general writer and reader --------------------------------------------------

TEST_F(RegistryTest, WriterSizes) {
    EXPECT_EQ(1, WriteRegistryValue(HKEY_CURRENT_USER, SCRATCH, "Text", REG_SZ, "abc", 0, 0));
    EXPECT_EQ(4u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "Text"));
    EXPECT_EQ(1, WriteRegistryValue(HKEY_CURRENT_USER, SCRATCH, "Two", REG_BINARY, "abc", 2, 0));
    EXPECT_EQ(2u, StoredSize(HKEY_CURRENT_USER, SCRATCH, "Two"));

    // Size 0 means nothing for other types, and a negative size nothing at
    // all: neither touches the registry.
    DWORD number = 7;
    std::string untouched = std::string(TEST_ROOT) + "\\Untouched";
    EXPECT_EQ(0, WriteRegistryValue(HKEY_CURRENT_USER, untouched.c_str(), "Number", REG_DWORD, &number, 0, 1));
    EXPECT_EQ(0, WriteRegistryValue(HKEY_CURRENT_USER, untouched.c_str(), "Text", REG_SZ, "abc", -1, 1));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, untouched.c_str()));
}

TEST_F(RegistryTest, ReaderClearsTheBufferItCannotFill) {
    char large[260];
    std::memset(large, 'x', sizeof large);
    EXPECT_EQ(0, ReadProductValue("BaseDirectory", REG_SZ, large, sizeof large));
    EXPECT_EQ('\0', large[0]);
    EXPECT_EQ('x', large[1]);  // only an empty text is made
    char small[4];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(0, ReadProductValue("InstallDate", REG_DWORD, small, sizeof small));
    EXPECT_EQ(std::string(4, '\0'), std::string(small, 4));

    // A value larger than the buffer is not read, and leaves no part behind.
    PutText(HKEY_LOCAL_MACHINE, PRODUCT, "Long", "a text longer than eight");
    char eight[8];
    EXPECT_EQ(0, ReadProductValue("Long", REG_SZ, eight, sizeof eight));
    EXPECT_EQ(std::string(8, '\0'), std::string(eight, 8));
}

TEST_F(RegistryTest, TextFillingTheBufferWithoutNulIsStillTerminated) {
    Put(HKEY_LOCAL_MACHINE, PRODUCT, "Full", REG_SZ, "abcdefghX", 8);
    char buffer[12];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(1, ReadProductValue("Full", REG_SZ, buffer, 8));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ('x', buffer[8]);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(1, ReadProductValue("Full", REG_SZ, buffer, 9));
    EXPECT_STREQ("abcdefgh", buffer);
    // Numbers are left as they are.
    Put(HKEY_LOCAL_MACHINE, PRODUCT, "Number", REG_DWORD, "\x01\x02\x03\x04", 4);
    DWORD number = 0;
    EXPECT_EQ(1, ReadProductValue("Number", REG_DWORD, &number, sizeof number));
    EXPECT_EQ(0x04030201u, number);
}

// ---- the product key ---------------------------------------------------------------------

TEST_F(RegistryTest, ProductValuesAreWrittenToHklmAndReadBack) {
    const char* directory = "C:\\WINDOWS\\bfax";
    EXPECT_EQ(1, WriteProductValue("BaseDirectory", REG_SZ, directory, 0));
    DWORD date = 20261206;
    EXPECT_EQ(1, WriteProductValue("InstallDate", REG_DWORD, &date, sizeof date));
    DWORD type = 0;
    EXPECT_EQ(16u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "BaseDirectory", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "InstallDate", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, PRODUCT));  // no fallback needed

    EXPECT_EQ(directory, ReadText("BaseDirectory"));
    DWORD read = 0;
    EXPECT_EQ(1, ReadProductValue("InstallDate", REG_DWORD, &read, sizeof read));
    EXPECT_EQ(date, read);
    // The stored type is not compared with the one asked for.
    char text[8] = {0};
    EXPECT_EQ(1, ReadProductValue("InstallDate", REG_SZ, text, sizeof text));
    EXPECT_EQ(0, std::memcmp(text, &date, sizeof date));
}

TEST_F(RegistryTest, NamesWithABackslashAddressASubKey) {
    EXPECT_EQ(1, WriteProductValue("Sub\\Value", REG_SZ, "in sub", 0));
    EXPECT_EQ(1, WriteProductValue("\\Value", REG_SZ, "in product", 0));
    EXPECT_EQ(7u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT_SUB, "Value"));
    EXPECT_EQ(11u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "\\Value"));
    EXPECT_EQ(~0u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "Value"));
    EXPECT_EQ("in sub", ReadText("Sub\\Value"));
    EXPECT_EQ("in product", ReadText("\\Value"));

    // Deleting by a name with a sub-key deletes that sub-key; the product key
    // cannot go while a sub-key is left.
    EXPECT_EQ(0, DeleteProductKey("BaseDirectory"));
    EXPECT_EQ(1, DeleteProductKey("Sub\\Value"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, PRODUCT_SUB));
    EXPECT_EQ(1, DeleteProductKey("\\Value"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, PRODUCT));
}

TEST_F(RegistryTest, RemovalDeletesTheProductKeyOnceThenFindsNothing) {
    DWORD value = 1;
    WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0);
    WriteProductValue("InstallDate", REG_DWORD, &value, sizeof value);
    WriteProductValue("InstallTime", REG_DWORD, &value, sizeof value);
    EXPECT_EQ(1, DeleteProductKey("BaseDirectory"));
    EXPECT_EQ(0, DeleteProductKey("InstallDate"));
    EXPECT_EQ(0, DeleteProductKey("InstallTime"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, PRODUCT));
}

TEST_F(RegistryTest, AdministratorWithAProductKeyLooksNowhereElse) {
    DWORD date = 20261206;
    WriteProductValue("InstallDate", REG_DWORD, &date, sizeof date);
    WriteRegistryValue(HKEY_CURRENT_USER, PRODUCT, "BaseDirectory", REG_SZ, "C:\\USER\\bfax", 0, 0);
    EXPECT_EQ("(not read)", ReadText("BaseDirectory"));

    // A value of size 0 does not count either, and ends the read all the same.
    Put(HKEY_LOCAL_MACHINE, PRODUCT, "BaseDirectory", REG_SZ, "", 0);
    EXPECT_EQ("(not read)", ReadText("BaseDirectory"));

    // An empty text stored with its NUL has size 1 and is read.
    EXPECT_EQ(1, WriteProductValue("BaseDirectory", REG_SZ, "", 0));
    EXPECT_EQ(1u, StoredSize(HKEY_LOCAL_MACHINE, PRODUCT, "BaseDirectory"));
    EXPECT_EQ("", ReadText("BaseDirectory"));
}

TEST_F(RegistryTest, AdministratorWithoutAProductKeyFallsBackToTheUserProfile) {
    WriteRegistryValue(HKEY_CURRENT_USER, PRODUCT, "BaseDirectory", REG_SZ, "C:\\USER\\bfax", 0, 0);
    EXPECT_EQ("C:\\USER\\bfax", ReadText("BaseDirectory"));
}

TEST_F(RegistryTest, CompanyRootFollowsTheDornelKey) {
    ASSERT_FALSE(Exists(HKEY_LOCAL_MACHINE, DORNEL));
    EXPECT_EQ(1, ChooseProductRoot());
    EXPECT_STREQ("Software\\Morvik Communication\\%s", setupState.productKeyFormat);
    // Only the company key counts, not a product below it.
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, DORNEL));
    EXPECT_EQ(1, ChooseProductRoot());
    EXPECT_STREQ("Software\\Dornel Software\\%s", setupState.productKeyFormat);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, DORNEL);
    ChooseProductRoot();
    EXPECT_STREQ("Software\\Morvik Communication\\%s", setupState.productKeyFormat);
}

// ---- a user who may not write to HKLM (stand-in) ---------------------------------

#if ON_STAND_IN

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
    EXPECT_EQ("C:\\WINDOWS\\bfax", ReadText("BaseDirectory"));

    // Windows' default: the default profile is read-only too; one place will do.
    hostwin::Reset();
    hostwin::SetAdministrator(false);
    EXPECT_EQ(1, WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0));
    EXPECT_EQ("C:\\WINDOWS\\bfax", TextAt(HKEY_CURRENT_USER, PRODUCT));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_USERS, DEFAULT_PRODUCT));

    // Nowhere to write: 0, and nothing changes.
    hostwin::Reset();
    hostwin::SetAdministrator(false);
    hostwin::SetKeyRights(HKEY_CURRENT_USER, "", hostwin::KEY_RIGHTS_READ);
    EXPECT_EQ(0, WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, TEST_ROOT));
}

TEST_F(FallbackTest, NoFallbackWhenNotAskedForOrNotBelowHklm) {
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    DWORD value = 1;
    // Driver parameters: HKLM or nothing.
    EXPECT_EQ(0, WriteRegistryValue(HKEY_LOCAL_MACHINE, PRODUCT, "Value", REG_DWORD, &value, sizeof value, 0));
    hostwin::SetKeyRights(HKEY_CURRENT_USER, "", hostwin::KEY_RIGHTS_READ);
    EXPECT_EQ(0, WriteRegistryValue(HKEY_CURRENT_USER, PRODUCT, "Value", REG_DWORD, &value, sizeof value, 1));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_USERS, DEFAULT_PRODUCT));
    hostwin::SetKeyRights(HKEY_CURRENT_USER, "", hostwin::KEY_RIGHTS_FULL);
    hostwin::SetStringValue(HKEY_USERS, DEFAULT_PRODUCT, "Value", "default");
    char buffer[16];
    EXPECT_EQ(0, ReadRegistryValue(HKEY_CURRENT_USER, PRODUCT, "Value", REG_SZ, buffer, sizeof buffer));
}

TEST_F(FallbackTest, ReaderTriesUserDefaultProfileThenHklmReadOnly) {
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, PRODUCT, "BaseDirectory", "machine");
    hostwin::SetStringValue(HKEY_USERS, DEFAULT_PRODUCT, "BaseDirectory", "default");
    hostwin::SetStringValue(HKEY_CURRENT_USER, PRODUCT, "BaseDirectory", "user");
    EXPECT_EQ("user", ReadText("BaseDirectory"));
    // A value of size 0 among the fallbacks sends the read on. The default
    // profile is opened for writing too, which Windows' default rights refuse
    // such a user: it is passed over.
    hostwin::SetValue(HKEY_CURRENT_USER, PRODUCT, "BaseDirectory", REG_SZ, "", 0);
    EXPECT_EQ("machine", ReadText("BaseDirectory"));
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    EXPECT_EQ("default", ReadText("BaseDirectory"));
    hostwin::DeleteKeyTree(HKEY_USERS, DEFAULT_PRODUCT);
    size_t before = hostwin::KeyOpenings().size();
    EXPECT_EQ("machine", ReadText("BaseDirectory"));

    struct Expected {
        HKEY root;
        const char* path;
        REGSAM access;
        LONG result;
    };
    const Expected expected[] = {
        {HKEY_LOCAL_MACHINE, PRODUCT, VALUE_ACCESS, ERROR_ACCESS_DENIED},
        {HKEY_CURRENT_USER, PRODUCT, VALUE_ACCESS, ERROR_SUCCESS},
        {HKEY_USERS, DEFAULT_PRODUCT, VALUE_ACCESS, ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, PRODUCT, KEY_QUERY_VALUE, ERROR_SUCCESS},
    };
    const auto& openings = hostwin::KeyOpenings();
    ASSERT_EQ(before + 4, openings.size());
    for (size_t i = 0; i < 4; ++i) {
        const hostwin::KeyOpening& opening = openings[before + i];
        EXPECT_EQ(expected[i].root, opening.root) << i;
        EXPECT_EQ(expected[i].path, opening.path) << i;
        EXPECT_EQ(expected[i].access, opening.access) << i;
        EXPECT_EQ(expected[i].result, opening.result) << i;
        EXPECT_FALSE(opening.create) << i;
    }
}

TEST_F(FallbackTest, RemovalLeavesTheFallbackCopies) {
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    WriteProductValue("BaseDirectory", REG_SZ, "C:\\OLD\\bfax", 0);
    hostwin::SetAdministrator(true);
    WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0);
    EXPECT_EQ(1, DeleteProductKey("BaseDirectory"));
    EXPECT_EQ(0, DeleteProductKey("InstallDate"));
    EXPECT_EQ(0, DeleteProductKey("InstallTime"));
    EXPECT_EQ("C:\\OLD\\bfax", TextAt(HKEY_CURRENT_USER, PRODUCT));
    EXPECT_EQ("C:\\OLD\\bfax", TextAt(HKEY_USERS, DEFAULT_PRODUCT));
    hostwin::SetAdministrator(false);
    EXPECT_EQ("C:\\OLD\\bfax", ReadText("BaseDirectory"));
}

TEST_F(FallbackTest, APathTooLongForTheDefaultProfileIsNotCut) {
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    std::string path = "Software\\" + std::string(240, 'p');  // 249 characters
    EXPECT_EQ(1, WriteRegistryValue(HKEY_LOCAL_MACHINE, path.c_str(), "Value", REG_SZ, "v", 0, 1));
    EXPECT_TRUE(hostwin::FindValue(HKEY_CURRENT_USER, path.c_str(), "Value"));
    EXPECT_TRUE(hostwin::SubKeyNames(HKEY_USERS, ".DEFAULT\\Software").empty());
}

#endif

}  // namespace
