#include "journal_codec.h"

#include <array>

namespace quorlane::server {
namespace {

constexpr std::string_view kMagic = "QJ";
constexpr std::size_t kHeaderBytes = 2 + 4 + 4;
// Largest payload a record may claim: four texts of at most the largest
// request each is far below this; anything bigger is a damaged length.
constexpr std::uint32_t kMaxPayload = 64u * 1024 * 1024;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

void PutU32(std::string& out, std::uint32_t v) {
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  out.append(bytes, sizeof bytes);
}

std::uint32_t GetU32(std::string_view data, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + i])) << (8 * i);
  return v;
}

void PutText(std::string& out, std::string_view text) {
  PutU32(out, static_cast<std::uint32_t>(text.size()));
  out.append(text);
}

bool GetText(std::string_view payload, std::size_t& at, std::string& text) {
  if (payload.size() - at < 4) return false;
  const std::uint32_t n = GetU32(payload, at);
  at += 4;
  if (payload.size() - at < n) return false;
  text.assign(payload.substr(at, n));
  at += n;
  return true;
}

bool DecodePayload(std::string_view payload, LockChange& change) {
  if (payload.empty()) return false;
  const char kind = payload[0];
  if (kind != 'G' && kind != 'R') return false;
  change.kind = static_cast<LockChange::Kind>(kind);
  std::size_t at = 1;
  if (!GetText(payload, at, change.key) || !GetText(payload, at, change.holder.user) ||
      !GetText(payload, at, change.holder.computer) || !GetText(payload, at, change.holder.startTime)) {
    return false;
  }
  return at == payload.size();
}

}  // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
  crc = ~crc;
  for (const char ch : data) crc = kCrcTable[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void EncodeRecord(const LockChange& change, std::string& out) {
  // Written in place: the header's length and CRC are filled in once the
  // payload behind them is there.
  const std::size_t header = out.size();
  out.reserve(header + kHeaderBytes + 1 + 16 + change.key.size() + change.holder.user.size() +
              change.holder.computer.size() + change.holder.startTime.size());
  out.append(kMagic).append(8, '\0');
  out.push_back(static_cast<char>(change.kind));
  PutText(out, change.key);
  PutText(out, change.holder.user);
  PutText(out, change.holder.computer);
  PutText(out, change.holder.startTime);
  const std::size_t payload = header + kHeaderBytes;
  const std::uint32_t length = static_cast<std::uint32_t>(out.size() - payload);
  const std::uint32_t crc = Crc32(std::string_view(out).substr(payload));
  for (int i = 0; i < 4; ++i) {
    out[header + 2 + static_cast<std::size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
    out[header + 6 + static_cast<std::size_t>(i)] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  }
}

JournalScan ScanJournal(std::string_view data) {
  JournalScan scan;
  std::size_t at = 0;
  while (at < data.size()) {
    const std::string_view rest = data.substr(at);
    if (rest.size() < kHeaderBytes) {
      scan.problem = "torn record header";
      break;
    }
    if (rest.substr(0, 2) != kMagic) {
      scan.problem = "bad record marker";
      break;
    }
    const std::uint32_t length = GetU32(rest, 2);
    const std::uint32_t crc = GetU32(rest, 6);
    if (length > kMaxPayload) {
      scan.problem = "record length out of range";
      break;
    }
    if (rest.size() - kHeaderBytes < length) {
      scan.problem = "torn record";
      break;
    }
    const std::string_view payload = rest.substr(kHeaderBytes, length);
    if (Crc32(payload) != crc) {
      scan.problem = "checksum mismatch";
      break;
    }
    LockChange change{};
    if (!DecodePayload(payload, change)) {
      scan.problem = "malformed record";
      break;
    }
    scan.changes.push_back(std::move(change));
    at += kHeaderBytes + length;
  }
  scan.validBytes = at;
  // Zeros behind the last record are space reserved for the next ones: the
  // clean end. Damage ends at the last byte that is not zero.
  const auto lastWritten = data.find_last_not_of('\0');
  scan.badBytes = lastWritten == std::string_view::npos || lastWritten < at ? 0 : lastWritten + 1 - at;
  if (scan.badBytes == 0) scan.problem.clear();
  return scan;
}

}  // namespace quorlane::server
