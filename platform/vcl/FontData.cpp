#include "platform/vcl/FontData.h"

#include <cstddef>
#include <cstdint>

namespace vcl {
namespace {

std::uint32_t ReadBigEndian(const std::string& data, std::size_t at, std::size_t bytes) noexcept {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<unsigned char>(data[at + i]);
    }
    return value;
}

constexpr std::size_t kTableRecords = 12;
constexpr std::size_t kTableRecordSize = 16;
constexpr std::size_t kFsSelection = 62;
constexpr unsigned char kUseTypoMetrics = 0x80;

}  // namespace

bool UseOutlinesWithWindowsMetrics(std::string& fontData) noexcept {
    if (fontData.size() < kTableRecords) return false;
    const std::size_t tables = ReadBigEndian(fontData, 4, 2);
    if (kTableRecords + tables * kTableRecordSize > fontData.size()) return false;
    bool metricsFixed = false;
    for (std::size_t i = 0; i < tables; ++i) {
        const std::size_t record = kTableRecords + i * kTableRecordSize;
        for (const char* bitmapTable : {"EBDT", "EBLC", "EBSC"}) {
            // A tag that nobody looks up hides the table.
            if (fontData.compare(record, 4, bitmapTable) == 0) fontData[record] = 'x';
        }
        if (fontData.compare(record, 4, "OS/2") != 0) continue;
        const std::size_t offset = ReadBigEndian(fontData, record + 8, 4);
        const std::size_t length = ReadBigEndian(fontData, record + 12, 4);
        if (length < kFsSelection + 2 || offset > fontData.size() ||
            fontData.size() - offset < kFsSelection + 2) {
            return false;
        }
        // fsSelection is big-endian; the flag is bit 7, in its second byte.
        char& low = fontData[offset + kFsSelection + 1];
        low = static_cast<char>(static_cast<unsigned char>(low) & ~kUseTypoMetrics);
        metricsFixed = true;
    }
    return metricsFixed;
}

}  // namespace vcl
