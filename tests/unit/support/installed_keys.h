// The registry keys an installation writes, as the tests look them up.
#ifndef TESTS_SUPPORT_INSTALLED_KEYS_H
#define TESTS_SUPPORT_INSTALLED_KEYS_H

namespace installed_keys {

inline constexpr const char* PRODUCT_KEY = "Software\\Morvik Communication\\Loxbrine";
inline constexpr const char* BFAX_PARAMETERS = "System\\CurrentControlSet\\Services\\bfax\\Parameters";
inline constexpr const char* FAXINIT_PARAMETERS = "System\\CurrentControlSet\\Services\\faxinit\\Parameters";

}  // namespace installed_keys

#endif
