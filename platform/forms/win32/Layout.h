// Where the Win32 backend puts its controls: every control and container of
// a form is a node; Measure tells the size a node needs, Arrange gives each
// node its rectangle inside the one granted to it. Pure arithmetic in
// pixels, so that it holds whatever the font and the screen's DPI are: the
// peers fill in the sizes their texts need and move their windows to the
// rectangles afterwards.
//
// The layouts of FormTypes.h:
//   kColumn  children top to bottom, each as wide as the container; a
//            child's label sits above it.
//   kRow     children left to right; containers and children that grow in
//            height take the row's height, the others are centred in it; a
//            child's label sits before it.
//   kFields  one child per row: labels in a first column as wide as the
//            widest label, children in a second one; a child without a
//            label spans both.
// Along the direction of a column or row, kFill gives the room left over to
// the children that grow that way (none growing: as kStart); kStart, kCentre
// and kEnd pack the children at the start, in the middle or at the end.
#pragma once

#include <vector>

#include "platform/forms/FormTypes.h"

namespace kestrel::forms::win32 {

struct TSize {
  int w = 0;
  int h = 0;
};

struct TRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

struct TInsets {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Distances between the nodes, in pixels.
struct TSpacing {
  int gap_x = 6;        // between neighbours in a row; between a row label and its field
  int gap_y = 6;        // between neighbours in a column, between rows of fields
  int label_gap = 3;    // between a label and the control below it
  int field_line = 23;  // the height of a one-line field: labels are centred on it
};

struct TLayoutNode {
  // Filled in before Measure: what a control needs and whether it takes
  // more room when there is some; for a container, its layout and the
  // margins around its children (a frame and its title).
  TSize preferred;
  bool grow_x = false;
  bool grow_y = false;
  TSize label;  // the node's label; w == 0 for none
  bool container = false;
  TLayout layout = TLayout::kColumn;
  TAlign align = TAlign::kFill;
  TInsets insets;
  std::vector<TLayoutNode*> children;

  // Set by Measure: the size the node needs (for a container, with its
  // children), and for a container whether any child grows.
  TSize needed;
  // Set by Arrange, in the coordinates of the outermost node.
  TRect rect;
  TRect label_rect;
};

// Measures `node` and everything inside it; returns node.needed.
TSize Measure(TLayoutNode& node, const TSpacing& spacing);

// Places `node` (measured before) and everything inside it in `rect`.
void Arrange(TLayoutNode& node, const TRect& rect, const TSpacing& spacing);

}  // namespace kestrel::forms::win32
