#pragma once

#include <string>
#include <vector>

class QPrinter;
class QWidget;

namespace nosk {

// The desktop's actions on files and folders, and the few file services the
// organiser's housekeeping needs. Tests put a RecordingShell in its place.
class Shell {
public:
    virtual ~Shell() = default;
    // Shows a file or folder with the desktop's handler; false when that
    // cannot be started.
    virtual bool open(const std::string& path) = 0;
    // Prints a plain text file; false when nothing was sent to a printer.
    virtual bool print(const std::string& path) = 0;
    // The temporary folder, ending in '/', so that a file name can follow.
    virtual std::string tempFolder() = 0;
    // Copies a file, replacing one that is there; false when it fails.
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;
};

// xdg-open, lp, and the print dialog when lp is missing.
class DesktopShell : public Shell {
public:
    bool open(const std::string& path) override;
    bool print(const std::string& path) override;
    std::string tempFolder() override;
    bool copyFile(const std::string& from, const std::string& to) override;
};

class RecordingShell : public Shell {
public:
    bool open(const std::string& path) override
    {
        opened.push_back(path);
        return succeed;
    }
    bool print(const std::string& path) override
    {
        printed.push_back(path);
        return succeed;
    }
    std::string tempFolder() override { return temp; }
    bool copyFile(const std::string& from, const std::string& to) override;

    std::vector<std::string> opened;
    std::vector<std::string> printed;
    std::string temp = "/tmp/";
    bool succeed = true;
};

// Copies a regular file over `to` by write-and-rename, so a failed copy
// leaves the old `to` as it was; false when it fails. With `replaceLink` a
// link under the name `to` is replaced rather than written through (copies
// into a shared temporary folder).
bool copyFileReplacing(const std::string& from, const std::string& to, bool replaceLink = false);

// Lays out a plain text file in a fixed-pitch font, page after page, on a
// printer (a real one or PDF output). False when the file cannot be read or
// the printer cannot be started.
bool printTextFile(const std::string& path, QPrinter& printer);

} // namespace nosk
