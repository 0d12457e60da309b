#include "tests/kit/forms/Operator.h"

#include <gtest/gtest.h>

#include <exception>

#include "platform/forms/Application.h"

namespace kestrel::forms::testing {

std::vector<std::string> TOperator::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& m : messages_) texts.push_back(m.text);
  return texts;
}

void TOperator::Reset() {
  EXPECT_TRUE(scripts_.empty()) << scripts_.size() << " form script(s) never ran";
  scripts_.clear();
  messages_.clear();
}

void TOperator::RunScript(TFormDriver& form) {
  if (scripts_.empty()) {
    ADD_FAILURE() << "no script for the form " << form.FormName();
  } else {
    TScript script = std::move(scripts_.front());
    scripts_.pop_front();
    script(form);
  }
  if (form.Open()) {
    ADD_FAILURE() << "the script left the form " << form.FormName() << " open";
    form.CloseBox();
  }
}

void TOperator::SeeMessage(TMsgKind kind, std::string caption, std::string text) {
  messages_.push_back({kind, std::move(caption), std::move(text)});
}

void TOperator::SeeShow(const std::string& window, bool off_thread) {
  std::lock_guard lock(shows_mutex_);
  if (!window.empty()) ++shows_[window];
  off_thread_ = off_thread_ || off_thread;
}

bool TOperator::StartBackend() {
  InstallBackend(nullptr);
  try {
    CurrentBackend().Start();
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

int TUi::Shows(const std::string& window) {
  TOperator& op = Operator();
  std::lock_guard lock(op.shows_mutex_);
  return op.shows_[window];
}

bool TUi::ShownOffTestThread() {
  TOperator& op = Operator();
  std::lock_guard lock(op.shows_mutex_);
  return op.off_thread_;
}

}  // namespace kestrel::forms::testing
