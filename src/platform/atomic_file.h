// A file that appears under its name only when it is complete: the exchange files (the export,
// the packed archive, a downloaded script) are written under a temporary name beside their
// target and renamed onto it at the end, so a killed run or a full disk never leaves half a file
// where the last complete one was, and the office never picks up a truncated file.
#pragma once

#include <cstdio>
#include <filesystem>

namespace vendrix::platform {

class TAtomicFile {
public:
    /// Prepares to write `target`. A temporary file left by a killed earlier run for the same
    /// target is removed now.
    explicit TAtomicFile(std::filesystem::path target);
    /// Removes the temporary file unless Commit succeeded.
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    /// The name the content is written under: the target's name with ".part" added.
    static std::filesystem::path TemporaryPathOf(const std::filesystem::path& target);

    /// Creates (truncating) the temporary file and returns it open for binary writing; nullptr
    /// when it cannot be created. The object keeps owning the stream.
    std::FILE* Open();
    /// Flushes and syncs what was written, closes it and renames it onto the target, replacing
    /// any file there. False when any of these fails; the target is then left as it was and the
    /// temporary file is removed.
    bool Commit();
    /// Closes and removes the temporary file; the target is left as it was.
    void Discard();

    const std::filesystem::path& Target() const { return m_target; }
    const std::filesystem::path& TemporaryPath() const { return m_temporary; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::FILE* m_file = nullptr;
    bool m_committed = false;
};

} // namespace vendrix::platform
