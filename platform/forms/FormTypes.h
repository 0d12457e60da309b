// The small vocabulary shared by the forms layer, its backends and the
// dialogs: modal results, how a container arranges its children, message
// box kinds, and the one error the layer raises.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace kestrel::forms {

// How a modal form ended. mrNone while it is showing.
enum class TModalResult : std::uint8_t { mrNone = 0, mrOk, mrCancel };

// How a container places its children, in the order they were created.
enum class TLayout : std::uint8_t {
  kColumn,  // top to bottom
  kRow,     // left to right
  kFields,  // one child per row: its label on the left, the child on the right;
            // a child without a label spans the row
};

// Where a container packs its children along its direction.
enum class TAlign : std::uint8_t {
  kFill,    // the children share the whole length
  kStart,   // packed at the start (left of a row, top of a column)
  kCentre,  // packed in the middle
  kEnd,     // packed at the end (right of a row, bottom of a column)
};

enum class TMsgKind : std::uint8_t {
  kPlain,        // no icon
  kInformation,  // information icon
  kError,        // error icon
};

// Where a modal form appears.
enum class TFormPosition : std::uint8_t {
  kOwnerCentre,     // centred over its owner form; without one as kMainFormCentre
  kMainFormCentre,  // centred over the application's active window, else the screen
};

enum class TControlKind : std::uint8_t {
  kPanel,     // an invisible container
  kGroupBox,  // a framed container with a title
  kLabel,
  kButton,
  kCheckBox,
  kComboBox,  // a drop-down list that accepts no typed text
  kEdit,      // a one-line text field
  kMaskEdit,  // a time field "99:99:99" (see TMaskEdit)
  kMemo,      // a multi-line text field with both scroll bars
  kListView,  // a report list with one column, grid lines and whole-row selection
};

// The forms layer cannot do what was asked: no backend could be loaded, no
// display, or the backend refused (the message says which and why).
class EFormsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::forms
