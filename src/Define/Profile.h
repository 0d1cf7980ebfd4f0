// The platform's own profile (INI) functions for one value of a settings
// file, where it has them: on Windows GetPrivateProfileStringW and
// WritePrivateProfileStringW. Elsewhere there are none, and the store's own
// reader and writer (store/Settings) stand in for them.
#pragma once

#include <string>

namespace solne {

class ProfileFunctions {
public:
    virtual ~ProfileFunctions() = default;
    // The value of `key` in `section`; "" when the file, section or key is
    // missing.
    virtual std::string Read(const std::string& file, const std::string& section, const std::string& key) = 0;
    // Creates or changes the value. Returns 0 or an errno value.
    virtual int Write(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) = 0;
};

// The platform's profile functions, or nullptr where it has none.
ProfileFunctions* PlatformProfileFunctions();

}  // namespace solne
