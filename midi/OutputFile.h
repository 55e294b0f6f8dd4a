#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace selvik {

// The file a MIDI file is written to, such that a failed write never leaves a
// half-written file in place of a good one.
//
// A regular file, or a path that does not exist yet, is written as a temporary
// file ".<name>.XXXXXX" in the same folder and renamed over the target by
// commit(); the new file gets the old file's mode (and owner, where allowed),
// or 0666 less the umask when there was none. A symbolic link is followed to
// the file it names, so the link stays a link. Any other kind of target (a
// pipe, a device) is written in place. Every write, the sync and the close are
// checked; on any failure, or when the object is destroyed uncommitted, the
// temporary file is removed.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // False when the target cannot be resolved or the file cannot be created.
    [[nodiscard]] bool open(const char* path);
    // Writes all `size` bytes; false on any failure.
    [[nodiscard]] bool write(const std::uint8_t* data, std::size_t size);
    // Makes the written bytes the target's content; false on any failure
    // (the target is then as it was, for a replaced file).
    [[nodiscard]] bool commit();

    // Removes every temporary file that an OutputFile of this process has
    // made and not yet renamed or removed. Safe to call from a signal
    // handler, for a program that must end at once without leaving them.
    static void removeTemporaryFiles();

private:
    void abandon();
    void forgetTemporary();

    int fd_ = -1;
    bool replacing_ = false;  // writing a temporary file that commit() renames
    std::string temporaryPath_;
    std::string targetPath_;
    int slot_ = -1;  // this file's entry among the ones removeTemporaryFiles() knows
};

}  // namespace selvik
