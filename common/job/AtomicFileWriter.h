#pragma once

#include <string>
#include <string_view>

namespace nosk {

// Writes a file that replaces another one without ever leaving a half-written
// target: the bytes go to a temporary file beside the target, which is renamed
// over it by commit(). Until commit() succeeds the old file stays as it was;
// a writer destroyed without commit() removes its temporary file.
//
// A read-only target is refused as it would be by opening it for writing.
class AtomicFileWriter {
public:
    // Failure to create the temporary file: "Cannot open file '<path>'!".
    explicit AtomicFileWriter(const std::string& path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The bytes to write; append freely, flush() when it grows large.
    std::string& buffer() { return m_buffer; }
    // Writes out the buffer. Failure: "Cannot write file '<path>'!".
    void flush();
    // flush(), close and rename over the target. Failure as flush().
    void commit();

    const std::string& path() const { return m_path; }

private:
    void fail();

    std::string m_path;      // as the caller gave it (for messages)
    std::string m_target;    // the file replaced (symbolic links followed)
    std::string m_tempPath;
    int m_fd = -1;
    std::string m_buffer;
};

} // namespace nosk
