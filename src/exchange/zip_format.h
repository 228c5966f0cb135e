// What packing the export and extracting the office's archive share: the numbers of the ZIP
// format (record signatures and sizes, the compression methods, the flag bits and the DOS
// attributes the devices set), the little-endian fields of its records, and the archive file
// itself, closed and, when unfinished, removed however the work on it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace vendrix {

constexpr std::uint64_t kMaxZip32 = 0xFFFFFFFFu; // sizes and offsets have 32 bits

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kDescriptorSignature = 0x08074B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;

// The compression methods of an entry, as the headers number them.
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodShrunk = 1;
constexpr std::uint16_t kMethodReduced1 = 2; // reduced, compression factor 1
constexpr std::uint16_t kMethodReduced2 = 3;
constexpr std::uint16_t kMethodReduced3 = 4;
constexpr std::uint16_t kMethodReduced4 = 5;
constexpr std::uint16_t kMethodImploded = 6;
constexpr std::uint16_t kMethodTokenized = 7; // no archiver ever wrote it
constexpr std::uint16_t kMethodDeflated = 8;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlag8kWindow = 0x0002;
constexpr std::uint16_t kFlagLiteralTree = 0x0004;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;

constexpr std::uint32_t kArchiveAttribute = 0x20;
constexpr std::uint32_t kReadOnlyAttribute = 0x01;

inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

inline std::uint16_t Get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Get32(const std::uint8_t* p)
{
    return Get16(p) | (std::uint32_t(Get16(p + 2)) << 16);
}

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

inline TFile OpenFile(const std::filesystem::path& path, const char* mode)
{
    return TFile(std::fopen(path.c_str(), mode));
}

/// Closes a file that was written; true when every byte reached the file system.
inline bool CloseWritten(TFile& file)
{
    std::FILE* f = file.release();
    const bool clean = !std::ferror(f);
    return std::fclose(f) == 0 && clean;
}

/// Reads `size` bytes at `offset`; false when the file has fewer there or cannot be read.
inline bool ReadAt(std::FILE* file, std::uint64_t offset, std::uint8_t* to, std::size_t size)
{
    return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0
        && std::fread(to, 1, size, file) == size;
}

/// Removes a file when the scope ends, unless told to keep it.
class TRemoveUnlessKept {
public:
    explicit TRemoveUnlessKept(std::filesystem::path path = {})
        : m_path(std::move(path))
    {
    }
    ~TRemoveUnlessKept()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove(m_path, ec);
    }
    TRemoveUnlessKept(const TRemoveUnlessKept&) = delete;
    TRemoveUnlessKept& operator=(const TRemoveUnlessKept&) = delete;

    void Keep() { m_path.clear(); }

private:
    std::filesystem::path m_path;
};

} // namespace vendrix
