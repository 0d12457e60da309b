// A document as one packet of the gate: its file name travels with its
// bytes, and a checksum lets the receiver prove that what it stores is what
// was sent.
//
// Packet layout (little-endian):
//   "KDOC"            4 bytes
//   version           1 byte (1)
//   name length       2 bytes, then the name (UTF-8, no terminator)
//   content length    4 bytes
//   CRC-32 of content 4 bytes (IEEE 802.3, as zlib computes it)
//   content
// A packet that does not start with "KDOC" is not a document of this
// program; the receiver keeps it as raw bytes under a made-up name.
//
// Pure functions: thread-safe, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/Crc32.h"

namespace kestrel::app {

using host::Crc32;

inline constexpr std::size_t kMaxNameBytes = 255;

// The packet of a document. Throws EToolError when the name is longer than
// kMaxNameBytes or the content does not fit a packet.
std::string EncodeDocument(std::string_view name, std::string_view content);

struct TDocument {
  std::string name;          // as sent; not yet safe to use as a file name
  std::string_view content;  // a view into the packet
  std::uint32_t crc32 = 0;   // as sent
};

enum class TDecodeResult { Document, NotADocument, Damaged };
// Reads a packet. Document: `doc` is filled and the checksum matched.
// Damaged: the packet claims to be a document but its lengths or checksum are
// wrong (`why` says which). NotADocument: it does not start with "KDOC".
TDecodeResult DecodeDocument(std::string_view packet, TDocument& doc, std::string& why);

// A file name that is safe to create inside a folder: the last path
// component only, control characters and the characters / \ : * ? " < > |
// replaced by '_', leading dots and blanks and trailing blanks and dots
// removed, cut to 200 bytes at a character boundary; "document" when
// nothing is left.
std::string SafeFileName(std::string_view name);

}  // namespace kestrel::app
