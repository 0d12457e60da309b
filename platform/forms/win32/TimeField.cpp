#include "platform/forms/win32/TimeField.h"

#include <algorithm>

#include "platform/forms/TimeMask.h"

namespace kestrel::forms::win32 {

TTimeField::TTimeField() : shown_("__:__:__") {}

std::string TTimeField::Text() const {
  std::string text;
  for (const char c : shown_)
    if (c != kBlank) text += c;
  return text;
}

void TTimeField::SetText(const std::string& text) {
  // ApplyTimeMask gives the three groups between the two ':', each of at
  // most two digits, left-aligned in its positions.
  const std::string masked = ApplyTimeMask(text);
  shown_ = "__:__:__";
  int group = 0, in_group = 0;
  for (const char c : masked) {
    if (c == ':') {
      ++group;
      in_group = 0;
    } else if (group < 3 && in_group < 2) {
      shown_[static_cast<std::size_t>(group * 3 + in_group++)] = c;
    }
  }
}

void TTimeField::Blank(int from, int to) {
  from = std::clamp(from, 0, kLength);
  to = std::clamp(to, from, kLength);
  for (int p = from; p < to; ++p)
    if (!IsSeparator(p)) shown_[static_cast<std::size_t>(p)] = kBlank;
}

int TTimeField::Type(int from, int to, char c) {
  const bool digit = c >= '0' && c <= '9';
  if (!digit && c != ':') return to;
  int p = std::clamp(from, 0, kLength);
  if (from != to) Blank(from, to);
  if (c == ':') return p <= 2 ? 3 : p <= 5 ? 6 : p;
  if (IsSeparator(p)) ++p;
  if (p >= kLength) return p;
  shown_[static_cast<std::size_t>(p)] = c;
  return p + 1;
}

int TTimeField::Erase(int from, int to, bool forward) {
  if (from != to) {
    Blank(from, to);
    return std::clamp(from, 0, kLength);
  }
  int p = std::clamp(from, 0, kLength);
  if (forward) {
    if (IsSeparator(p)) ++p;
    if (p < kLength) Blank(p, p + 1);
    return p;
  }
  if (p == 0) return 0;
  --p;
  if (IsSeparator(p)) --p;
  Blank(p, p + 1);
  return p;
}

int TTimeField::Paste(int from, int to, const std::string& text) {
  if (from != to) Blank(from, to);
  int p = std::clamp(from, 0, kLength);
  for (const char c : text) p = Type(p, p, c);
  return p;
}

}  // namespace kestrel::forms::win32
