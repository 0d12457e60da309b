#include "platform/forms/win32/Layout.h"

#include <algorithm>
#include <cstddef>

namespace kestrel::forms::win32 {
namespace {

bool HasLabel(const TLayoutNode& n) { return n.label.w > 0; }

// The room a child takes along a column (its label above it) or a row (its
// label before it).
int ColumnExtent(const TLayoutNode& c, const TSpacing& s) {
  return c.needed.h + (HasLabel(c) ? c.label.h + s.label_gap : 0);
}
int RowExtent(const TLayoutNode& c, const TSpacing& s) {
  return c.needed.w + (HasLabel(c) ? c.label.w + s.gap_x : 0);
}
int FieldsRowHeight(const TLayoutNode& c) { return HasLabel(c) ? std::max(c.needed.h, c.label.h) : c.needed.h; }

int Gaps(std::size_t count, int gap) { return count > 1 ? static_cast<int>(count - 1) * gap : 0; }

// How much of `extra` each child gets along the container's direction, and
// where the first child starts (an offset from the start).
struct TShares {
  std::vector<int> share;
  int offset = 0;
};

TShares Distribute(const TLayoutNode& node, int extra, bool along_x) {
  TShares result;
  result.share.assign(node.children.size(), 0);
  if (extra <= 0) return result;
  std::vector<std::size_t> growing;
  for (std::size_t i = 0; i < node.children.size(); ++i)
    if (along_x ? node.children[i]->grow_x : node.children[i]->grow_y) growing.push_back(i);
  if (node.align == TAlign::kFill && !growing.empty()) {
    const int each = extra / static_cast<int>(growing.size());
    for (std::size_t k = 0; k < growing.size(); ++k)
      result.share[growing[k]] = k + 1 == growing.size() ? extra - each * static_cast<int>(k) : each;
  } else if (node.align == TAlign::kCentre) {
    result.offset = extra / 2;
  } else if (node.align == TAlign::kEnd) {
    result.offset = extra;
  }
  return result;
}

// A label centred on the first line of the field beside it.
int LabelTop(int field_top, int field_height, int label_height, const TSpacing& s) {
  return field_top + std::max(0, (std::min(field_height, s.field_line) - label_height) / 2);
}

TSize MeasureChildren(TLayoutNode& node, const TSpacing& s) {
  TSize size;
  const auto& kids = node.children;
  switch (node.layout) {
    case TLayout::kColumn:
      for (const TLayoutNode* c : kids) {
        size.w = std::max({size.w, c->needed.w, HasLabel(*c) ? c->label.w : 0});
        size.h += ColumnExtent(*c, s);
      }
      size.h += Gaps(kids.size(), s.gap_y);
      break;
    case TLayout::kRow:
      for (const TLayoutNode* c : kids) {
        size.w += RowExtent(*c, s);
        size.h = std::max({size.h, c->needed.h, c->label.h});
      }
      size.w += Gaps(kids.size(), s.gap_x);
      break;
    case TLayout::kFields: {
      int labels = 0, fields = 0, spans = 0;
      bool any_label = false;
      for (const TLayoutNode* c : kids) {
        if (HasLabel(*c)) {
          any_label = true;
          labels = std::max(labels, c->label.w);
          fields = std::max(fields, c->needed.w);
        } else {
          spans = std::max(spans, c->needed.w);
        }
        size.h += FieldsRowHeight(*c);
      }
      size.w = std::max(any_label ? labels + s.gap_x + fields : 0, spans);
      size.h += Gaps(kids.size(), s.gap_y);
      break;
    }
  }
  return size;
}

void ArrangeColumn(TLayoutNode& node, const TRect& in, const TSpacing& s) {
  int used = Gaps(node.children.size(), s.gap_y);
  for (const TLayoutNode* c : node.children) used += ColumnExtent(*c, s);
  const TShares shares = Distribute(node, in.h - used, false);
  int y = in.y + shares.offset;
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    TLayoutNode& c = *node.children[i];
    if (HasLabel(c)) {
      c.label_rect = {in.x, y, in.w, c.label.h};
      y += c.label.h + s.label_gap;
    }
    const int h = c.needed.h + shares.share[i];
    Arrange(c, {in.x, y, in.w, h}, s);
    y += h + s.gap_y;
  }
}

void ArrangeRow(TLayoutNode& node, const TRect& in, const TSpacing& s) {
  int used = Gaps(node.children.size(), s.gap_x);
  for (const TLayoutNode* c : node.children) used += RowExtent(*c, s);
  const TShares shares = Distribute(node, in.w - used, true);
  int x = in.x + shares.offset;
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    TLayoutNode& c = *node.children[i];
    const bool fills = c.container || c.grow_y;
    const int h = fills ? in.h : std::min(c.needed.h, in.h);
    const int y = in.y + (in.h - h) / 2;
    if (HasLabel(c)) {
      c.label_rect = {x, LabelTop(y, h, c.label.h, s), c.label.w, c.label.h};
      x += c.label.w + s.gap_x;
    }
    const int w = c.needed.w + shares.share[i];
    Arrange(c, {x, y, w, h}, s);
    x += w + s.gap_x;
  }
}

void ArrangeFields(TLayoutNode& node, const TRect& in, const TSpacing& s) {
  int labels = 0;
  for (const TLayoutNode* c : node.children)
    if (HasLabel(*c)) labels = std::max(labels, c->label.w);
  int used = Gaps(node.children.size(), s.gap_y);
  for (const TLayoutNode* c : node.children) used += FieldsRowHeight(*c);
  const TShares shares = Distribute(node, in.h - used, false);
  const int field_x = in.x + labels + s.gap_x;
  int y = in.y + shares.offset;
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    TLayoutNode& c = *node.children[i];
    const int row_h = FieldsRowHeight(c) + shares.share[i];
    if (!HasLabel(c)) {
      Arrange(c, {in.x, y, in.w, row_h}, s);
    } else {
      const int h = c.container || c.grow_y ? row_h : c.needed.h;
      c.label_rect = {in.x, LabelTop(y, h, c.label.h, s), labels, c.label.h};
      Arrange(c, {field_x, y, in.x + in.w - field_x, h}, s);
    }
    y += row_h + s.gap_y;
  }
}

}  // namespace

TSize Measure(TLayoutNode& node, const TSpacing& spacing) {
  if (!node.container) {
    node.needed = node.preferred;
    return node.needed;
  }
  node.grow_x = false;
  node.grow_y = false;
  for (TLayoutNode* c : node.children) {
    Measure(*c, spacing);
    node.grow_x = node.grow_x || c->grow_x;
    node.grow_y = node.grow_y || c->grow_y;
  }
  const TSize inner = MeasureChildren(node, spacing);
  const TInsets& m = node.insets;
  // A container asked for a size of its own (SetSizeHint) keeps at least that.
  node.needed = {std::max(node.preferred.w, inner.w + m.left + m.right),
                 std::max(node.preferred.h, inner.h + m.top + m.bottom)};
  return node.needed;
}

void Arrange(TLayoutNode& node, const TRect& rect, const TSpacing& spacing) {
  node.rect = rect;
  if (!node.container) return;
  const TInsets& m = node.insets;
  const TRect inner{rect.x + m.left, rect.y + m.top, std::max(0, rect.w - m.left - m.right),
                    std::max(0, rect.h - m.top - m.bottom)};
  switch (node.layout) {
    case TLayout::kColumn:
      ArrangeColumn(node, inner, spacing);
      break;
    case TLayout::kRow:
      ArrangeRow(node, inner, spacing);
      break;
    case TLayout::kFields:
      ArrangeFields(node, inner, spacing);
      break;
  }
}

}  // namespace kestrel::forms::win32
