// An operator for tests: scripts that act on forms as a person would, on
// the system's forms backend: Qt offscreen on Linux (QtOperator.cpp), the
// Win32 one under Wine on Windows (Win32Operator.cpp). One set of scripts
// runs on both.
//
// A script is queued before the code under test shows a form; it runs when
// the next form appears, inside that form's modal loop, and should leave the
// form closed. A form opened from a script (a nested dialog) takes the next
// script in the queue while the outer script waits in its click. Message
// boxes are answered with OK by themselves and recorded.
//
// Texts are Windows-1251, as the forms layer has them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/forms/FormTypes.h"

namespace kestrel::forms::testing {

// Acts on one showing form. Control names are the forms layer's names.
class TFormDriver {
 public:
  virtual ~TFormDriver() = default;

  virtual std::string FormName() = 0;  // the form's class name
  virtual std::string Caption() = 0;
  virtual bool Open() = 0;  // still showing

  // Moves the focus to the control as a mouse press would. False when the
  // control cannot take it or the focused control kept it.
  virtual bool Focus(const std::string& control) = 0;
  // Presses Tab. False when the focused control kept the focus.
  virtual bool Tab() = 0;
  // Presses a button or check box with the mouse. False when it was
  // disabled or the focus could not leave the focused control (then nothing
  // is pressed).
  virtual bool Click(const std::string& control) = 0;
  // Focuses a field, selects all its text and types `text` over it ("\n" is
  // Enter in a memo). False when the focus did not get there.
  virtual bool Type(const std::string& control, const std::string& text) = 0;
  // Chooses item `index` of a drop-down list, or selects row `index` of a
  // list view, with the mouse.
  virtual bool Select(const std::string& control, int index) = 0;
  virtual void PressEnter() = 0;
  virtual void PressEscape() = 0;
  virtual void CloseBox() = 0;

  // What the operator sees.
  virtual std::string Text(const std::string& control) = 0;  // field text, or caption of a label, button, check box, group
  virtual std::vector<std::string> Items(const std::string& control) = 0;
  virtual int ItemIndex(const std::string& control) = 0;
  virtual bool Enabled(const std::string& control) = 0;
  virtual bool Checked(const std::string& control) = 0;
  virtual bool ReadOnly(const std::string& control) = 0;
  virtual std::string FocusedControl() = 0;  // "" when no named control has the focus

  // Saves a picture of the form with its caption as a PNG file. False when
  // the file cannot be written.
  virtual bool SaveImage(const std::string& path) = 0;
};

struct TMessageSeen {
  TMsgKind kind;
  std::string caption;
  std::string text;
};

using TScript = std::function<void(TFormDriver&)>;

class TOperator {
 public:
  virtual ~TOperator() = default;

  // Queues what to do with the next form that appears.
  void Expect(TScript script) { scripts_.push_back(std::move(script)); }
  // The message boxes answered so far, oldest first.
  const std::vector<TMessageSeen>& Messages() const { return messages_; }
  std::vector<std::string> MessageTexts() const;
  // Forgets scripts and messages; a script left unused fails the test.
  void Reset();

 protected:
  // For the implementations: runs the next script on `form`, or fails the
  // test when there is none; closes a form the script left open.
  void RunScript(TFormDriver& form);
  void SeeMessage(TMsgKind kind, std::string caption, std::string text);
  // A window named `window` was shown (counted unless the name is empty),
  // on another thread than the tests' when `off_thread`. Any thread.
  void SeeShow(const std::string& window, bool off_thread);
  // Installs the system's backend and starts it; false when it cannot run.
  static bool StartBackend();

 private:
  friend struct TUi;
  std::deque<TScript> scripts_;
  std::vector<TMessageSeen> messages_;
  std::mutex shows_mutex_;
  std::map<std::string, int> shows_;
  bool off_thread_ = false;
};

// The system's forms backend, installed into the forms layer for a test.
struct TUi {
  static TOperator& Operator();
  // Loads the backend's plugin and starts it; skips the test when the
  // plugin was not built or cannot run (no display).
  static void SetUp();
  static void TearDown();
  static bool Available();

  // ---- Windows shown without a modal loop (the monitor) ----
  // A driver for each visible top-level window named `window` (a form's
  // class name). A driver's Open() turns false once its window was hidden
  // or destroyed, and true again when that same window is shown again.
  static std::vector<std::unique_ptr<TFormDriver>> Windows(const std::string& window);
  // How many times windows named `window` were shown so far (any thread),
  // and whether one was shown off the thread that runs the tests.
  static int Shows(const std::string& window);
  static bool ShownOffTestThread();
  // Handles the toolkit's events on this thread for up to `wait_ms`, the
  // way its own loop does (Qt's; on Windows an ordinary message loop).
  static void ProcessEvents(std::uint32_t wait_ms);
};

// A test on the forms backend, set up and torn down around each test.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { TUi::SetUp(); }
  void TearDown() override { TUi::TearDown(); }
  static TOperator& Op() { return TUi::Operator(); }
};

}  // namespace kestrel::forms::testing
