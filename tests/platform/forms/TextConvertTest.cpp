// The conversions of typed texts, the time mask and memo lines.
//
// Finding the backend: the plugin file, and the refusal without one.
#include "platform/forms/TextConvert.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "platform/forms/Application.h"
#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "platform/forms/PluginLoader.h"
#include "platform/forms/TimeMask.h"

namespace kestrel::forms {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

template <typename T>
using TTable = std::vector<std::pair<const char*, std::optional<T>>>;

TEST(StrToInt, ReadsSignedDecimalsWithBlanksAroundAndRefusesTheRestWithTheConversionMessage) {
  const TTable<std::int32_t> table = {
      {"42", 42}, {" -7 ", -7}, {"+0", 0}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"", {}}, {" ", {}}, {"-", {}}, {"1 2", {}}, {"12a", {}}, {"0x10", {}}, {"2147483648", {}},
      {"-2147483649", {}}, {"99999999999999999999", {}}};
  for (const auto& [text, value] : table) EXPECT_EQ(TryStrToInt(text), value) << '"' << text << '"';
  EXPECT_THAT([] { StrToInt("abc"); }, ThrowsMessage<EConvertError>(StrEq("'abc' is not a valid integer value")));
}

TEST(StrToTime, ReadsHoursMinutesAndOptionalSecondsAndRefusesWhatAMaskLetThrough) {
  const TTable<std::uint32_t> table = {
      {"00:01:00", 60'000}, {"1:00:00", 3'600'000}, {"23:59:59", 86'399'000}, {"12:30", 45'000'000},
      {" 1: 2: 3", 3'723'000}, {"::", {}}, {"", {}}, {"1:2:", {}}, {"24:00:00", {}}, {"00:60:00", {}},
      {"00:00:60", {}}, {"99:99:99", {}}, {"1", {}}, {"001:00:00", {}}, {"1:00:00x", {}}};
  for (const auto& [text, ms] : table) EXPECT_EQ(TryStrToTime(text), ms) << '"' << text << '"';
  EXPECT_THAT([] { StrToTime("::"); }, ThrowsMessage<EConvertError>(StrEq("'::' is not a valid time")));
}

TEST(StrToTime, UsesTheProcessTimeSeparator) {
  SetTimeSeparator('.');
  EXPECT_FALSE(TryStrToTime("01:00:00"));
  EXPECT_EQ(TryStrToTime("01.00.00"), 3'600'000u);
  SetTimeSeparator(':');
  EXPECT_EQ(TryStrToTime("01:00:00"), 3'600'000u);
}

TEST(TimeToText, ShowsTheTimeOfDayInWholeSeconds) {
  for (const auto& [ms, text] : std::vector<std::pair<std::uint32_t, const char*>>{
           {0, "00:00:00"}, {30'000, "00:00:30"}, {180'999, "00:03:00"}, {86'399'999, "23:59:59"},
           {25 * 3'600'000u, "01:00:00"}})
    EXPECT_EQ(TimeToText(ms), text) << ms;
}

TEST(TimeMask, FillsGroupsOfTwoDigits) {
  for (const auto& [typed, shown] : std::vector<std::pair<const char*, const char*>>{
           {"", "::"}, {"010203", "01:02:03"}, {"1:2", "1:2:"}, {"01:02:03", "01:02:03"},
           {"12345678", "12:34:56"}, {"a1b:c", "1::"}, {"::::5", "::"}})
    EXPECT_EQ(ApplyTimeMask(typed), shown) << typed;
}

TEST(SplitLines, CountsEmptyLinesButNotAFinalBreak) {
  for (const auto& [text, lines] : std::vector<std::pair<const char*, std::vector<std::string>>>{
           {"", {}}, {"a", {"a"}}, {"a\n", {"a"}}, {"a\r\n\r\nb", {"a", "", "b"}}, {"\n", {""}}, {"a\rb\n\n", {"a", "b", ""}}})
    EXPECT_EQ(SplitLines(text), lines) << '"' << text << '"';
}

TEST(PluginLoader, AMissingFileOrALibraryWithoutTheEntryPointIsRefusedWithTheReason) {
  std::string why;
  EXPECT_EQ(LoadPluginFile("/nonexistent/libKestrelFormsQt.so", why), nullptr);
  EXPECT_NE(why.find("/nonexistent/libKestrelFormsQt.so"), std::string::npos) << why;
  EXPECT_EQ(LoadPluginFile("libm.so.6", why), nullptr);
  EXPECT_EQ(why, "no entry point KestrelFormsBackend");
}

TEST(PluginLoader, EveryPlaceTriedIsNamedInTheError) {
  std::string error;
  TBackend* backend = LoadPluginBackend("/nonexistent/first.so", error);
  if (backend == nullptr) {
    EXPECT_NE(error.find("/nonexistent/first.so: "), std::string::npos) << error;
    EXPECT_NE(error.find(kPluginFileName), std::string::npos) << error;
  }
}

#ifdef KESTREL_FORMS_QT_PLUGIN
TEST(PluginLoader, TheQtPluginLoadsWithoutStartingQt) {
  std::string why;
  TBackend* backend = LoadPluginFile(KESTREL_FORMS_QT_PLUGIN, why);
  ASSERT_NE(backend, nullptr) << why;
  EXPECT_EQ(backend->Name(), "qt");
}
#endif

class TfmEmpty : public TForm {
 public:
  TfmEmpty() : TForm("TfmEmpty") {}
};

TEST(NullBackend, FormsAndMessagesFailWithTheReason) {
  auto none = MakeNullBackend("libKestrelFormsQt.so: cannot open shared object file");
  InstallBackend(none.get());
  EXPECT_THAT([] { TfmEmpty form; },
              ThrowsMessage<EFormsError>(StrEq(
                  "Kestrel forms: no user-interface backend (libKestrelFormsQt.so: cannot open shared object file)")))
      << "a form was made without a backend";
  EXPECT_THROW(ShowMessage("x"), EFormsError);
  InstallBackend(nullptr);
}

}  // namespace
}  // namespace kestrel::forms
