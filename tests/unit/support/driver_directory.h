// A scratch Windows directory with the driver's bfax\morvik tree, made and
// removed through the file API itself, so that the same test runs on the
// stand-in and on the real platform.
#ifndef TESTS_SUPPORT_DRIVER_DIRECTORY_H
#define TESTS_SUPPORT_DRIVER_DIRECTORY_H

#include <string>
#include <vector>

class DriverDirectory {
public:
    // Creates windowsDirectory\bfax\morvik and makes windowsDirectory the
    // setup state's Windows directory.
    explicit DriverDirectory(const std::string& windowsDirectory);
    ~DriverDirectory();
    DriverDirectory(const DriverDirectory&) = delete;
    DriverDirectory& operator=(const DriverDirectory&) = delete;

    // Paths relative to the Windows directory ("bfax\\faxinit.cfg").
    std::string Path(const std::string& relative) const;
    void Write(const std::string& relative, const std::string& content);
    // The file's bytes; "<missing>" when it cannot be opened.
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Whether replacing the file left its temporary file behind.
    bool TemporaryLeft(const std::string& relative) const;

private:
    std::string root_;
    std::vector<std::string> created_;
};

#endif
