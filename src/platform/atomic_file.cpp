// Writing a file under a temporary name and renaming it into place when complete.
#include "platform/atomic_file.h"

#include <unistd.h>

#include <system_error>

namespace vendrix::platform {

TAtomicFile::TAtomicFile(std::filesystem::path target)
    : m_target(std::move(target))
    , m_temporary(TemporaryPathOf(m_target))
{
    std::error_code ec;
    std::filesystem::remove(m_temporary, ec);
}

TAtomicFile::~TAtomicFile()
{
    if (!m_committed)
        Discard();
}

std::filesystem::path TAtomicFile::TemporaryPathOf(const std::filesystem::path& target)
{
    std::filesystem::path temporary = target;
    temporary += ".part";
    return temporary;
}

std::FILE* TAtomicFile::Open()
{
    if (m_file)
        std::fclose(m_file);
    m_committed = false;
    m_file = std::fopen(m_temporary.c_str(), "wb");
    return m_file;
}

bool TAtomicFile::Commit()
{
    if (!m_file)
        return false;
    bool ok = std::fflush(m_file) == 0;
    // Synced before the rename, so that after a power loss the name holds either the old
    // complete file or the new complete one.
    ok = ::fsync(::fileno(m_file)) == 0 && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(m_temporary, m_target, ec);
        ok = !ec;
    }
    if (!ok) {
        Discard();
        return false;
    }
    m_committed = true;
    return true;
}

void TAtomicFile::Discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    std::error_code ec;
    std::filesystem::remove(m_temporary, ec);
}

} // namespace vendrix::platform
