#pragma once

#include <string>
#include <string_view>

namespace nosk {

// Writes a file that replaces another one without ever leaving a half-written
// target: the bytes go to a temporary file beside the target, which is
// flushed to the disk and renamed over it by commit(). Until commit()
// succeeds the old file stays as it was; every failure, and a writer
// destroyed without commit(), removes the temporary file.
//
// A read-only target is refused as it would be by opening it for writing. In
// a folder where no file can be created, an existing writable target is
// written in place, as it always was there.
//
// Every failure leaves errno telling its cause when the exception is thrown.
class AtomicFileWriter {
public:
    // What a symbolic link under the target's name means. A user's document
    // may be a link to the real file, which is then replaced; a scratch or
    // output file of ours never writes through a link someone planted under
    // its name: the link itself is replaced.
    enum class Links { Follow, Replace };
    // Whether commit() syncs the new file to the disk before the rename. Both
    // ways a reader sees the old file or the new one, never a part; without
    // the sync, a crash of the system (not of the program) within the next
    // seconds may leave an empty or older file instead. Only for files that
    // can be made again, such as the engine's results of a short run.
    enum class Durability { Sync, NoSync };

    // Failure to create the temporary file: "Cannot open file '<path>'!".
    explicit AtomicFileWriter(const std::string& path, Links links = Links::Follow,
        Durability durability = Durability::Sync);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The bytes to write; append freely, flush() when it grows large.
    std::string& buffer() { return m_buffer; }
    // Writes out the buffer. Failure: "Cannot write file '<path>'!".
    void flush();
    // flush(), sync, close and rename over the target (without the sync: swap
    // names with it and remove the old file). Failure as flush().
    void commit();

    const std::string& path() const { return m_path; }

private:
    void fail();
    void discard();
    bool exchangeWithTarget();

    std::string m_path;      // as the caller gave it (for messages)
    std::string m_target;    // the file replaced
    std::string m_tempPath;  // empty when writing in place
    int m_fd = -1;
    bool m_sync = true;
    bool m_replacesFile = false;  // the target is a regular file (not a link)
    std::string m_buffer;
};

// Replaces the file at `path` with `bytes` through an AtomicFileWriter;
// throws its exceptions.
void replaceFile(const std::string& path, std::string_view bytes,
                 AtomicFileWriter::Links links = AtomicFileWriter::Links::Follow,
                 AtomicFileWriter::Durability durability = AtomicFileWriter::Durability::Sync);

} // namespace nosk
