// Finding the backend: the plugin file, and the refusal without one.
#include "platform/forms/PluginLoader.h"

#include <gtest/gtest.h>

#include "platform/forms/Application.h"
#include "platform/forms/Form.h"

namespace kestrel::forms {
namespace {

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
  try {
    TfmEmpty form;
    ADD_FAILURE() << "a form was made without a backend";
  } catch (const EFormsError& e) {
    EXPECT_STREQ(e.what(),
                 "Kestrel forms: no user-interface backend (libKestrelFormsQt.so: cannot open shared object file)");
  }
  EXPECT_THROW(ShowMessage("x"), EFormsError);
  InstallBackend(nullptr);
}

}  // namespace
}  // namespace kestrel::forms
