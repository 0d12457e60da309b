#include "tests/forms/Operator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

std::string ScreenshotPath(const std::string& name) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "kestrel-dialog-shots";
  if (const char* set = std::getenv("KESTREL_SCREENSHOT_DIR"); set != nullptr && *set != '\0') dir = set;
  std::filesystem::create_directories(dir);
  const auto path = dir / (name + ".png");
  std::filesystem::remove(path);
  return path.string();
}

bool IsPngFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char magic[4] = {};
  file.read(magic, sizeof magic);
  return std::string(magic, sizeof magic) == "\x89PNG";
}

}  // namespace kestrel::forms::testing
