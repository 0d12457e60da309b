#include "tools/kestrel/Document.h"

#include <array>
#include <limits>

#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

constexpr std::string_view kMagic = "KDOC";
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kFixed = 4 + 1 + 2 + 4 + 4;  // everything but the name and the content

void PutLe(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t GetLe(std::string_view in, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return v;
}

}  // namespace

std::string EncodeDocument(std::string_view name, std::string_view content) {
  if (name.size() > kMaxNameBytes)
    throw EToolError("the file name \"" + std::string(name) + "\" is longer than " + std::to_string(kMaxNameBytes) +
                     " bytes");
  const std::size_t total = kFixed + name.size() + content.size();
  if (total > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EToolError("\"" + std::string(name) + "\" is too large for one packet");
  std::string out;
  out.reserve(total);
  out.append(kMagic);
  out.push_back(static_cast<char>(kVersion));
  PutLe(out, static_cast<std::uint32_t>(name.size()), 2);
  out.append(name);
  PutLe(out, static_cast<std::uint32_t>(content.size()), 4);
  PutLe(out, Crc32(content), 4);
  out.append(content);
  return out;
}

TDecodeResult DecodeDocument(std::string_view packet, TDocument& doc, std::string& why) {
  if (packet.substr(0, kMagic.size()) != kMagic) return TDecodeResult::NotADocument;
  if (packet.size() < kFixed) {
    why = "the document header is cut short";
    return TDecodeResult::Damaged;
  }
  if (static_cast<std::uint8_t>(packet[4]) != kVersion) {
    why = "document version " + std::to_string(static_cast<std::uint8_t>(packet[4])) + " is unknown";
    return TDecodeResult::Damaged;
  }
  const std::size_t name_len = GetLe(packet, 5, 2);
  if (packet.size() < kFixed + name_len) {
    why = "the document header is cut short";
    return TDecodeResult::Damaged;
  }
  const std::size_t at = 7 + name_len;
  const std::size_t content_len = GetLe(packet, at, 4);
  const std::uint32_t crc = GetLe(packet, at + 4, 4);
  const std::string_view content = packet.substr(at + 8);
  if (content.size() != content_len) {
    why = "the document holds " + std::to_string(content.size()) + " bytes, its header says " +
          std::to_string(content_len);
    return TDecodeResult::Damaged;
  }
  if (Crc32(content) != crc) {
    why = "the document's checksum does not match its bytes";
    return TDecodeResult::Damaged;
  }
  doc.name = std::string(packet.substr(7, name_len));
  doc.content = content;
  doc.crc32 = crc;
  return TDecodeResult::Document;
}

std::string SafeFileName(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string out;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    const bool bad = c < 0x20 || c == 0x7F || std::string_view(":*?\"<>|").find(ch) != std::string_view::npos;
    out.push_back(bad ? '_' : ch);
  }
  const std::size_t first = out.find_first_not_of(". ");
  out.erase(0, first == std::string::npos ? out.size() : first);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.size() > 200) {
    std::size_t cut = 200;
    // Back off to the start of a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out.empty() ? "document" : out;
}

}  // namespace kestrel::app
