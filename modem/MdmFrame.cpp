#include "modem/MdmFrame.h"

namespace kestrel::modem {
namespace {

void PutLE(std::string& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t GetLE(std::string_view in, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
  return value;
}

}  // namespace

std::uint16_t ByteSum16(std::string_view bytes) {
  std::uint32_t sum = 0;
  for (const char c : bytes) sum += static_cast<unsigned char>(c);
  return static_cast<std::uint16_t>(sum);
}

std::string BuildFrame(std::uint16_t kind, std::string_view payload) {
  std::string frame(kFrameHeaderSize, '\0');
  frame[0] = 'M';
  frame[1] = 'G';
  PutLE(frame, 2, kind, 2);
  PutLE(frame, 4, static_cast<std::uint32_t>(payload.size()), 4);
  PutLE(frame, 8, ByteSum16(payload), 2);
  PutLE(frame, 10, ByteSum16(std::string_view(frame).substr(0, 10)), 2);
  frame.append(payload);
  return frame;
}

bool ParseFrameHeader(std::string_view header, TFrameHeader& out) {
  if (header.size() < kFrameHeaderSize) return false;
  if (header[0] != 'M' || header[1] != 'G') return false;
  if (GetLE(header, 10, 2) != ByteSum16(header.substr(0, 10))) return false;
  out.Kind = static_cast<std::uint16_t>(GetLE(header, 2, 2));
  out.Length = GetLE(header, 4, 4);
  out.PayloadSum = static_cast<std::uint16_t>(GetLE(header, 8, 2));
  return true;
}

}  // namespace kestrel::modem
