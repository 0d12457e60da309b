// The port chooser: the two lists, moving ports across and the selections
// that follow a move.
#include "tests/ui/DialogTest.h"
#include "ui/mdm_aopt.h"

namespace kestrel::ui::testing {
namespace {

class PortChooserTest : public DialogTest {};

std::vector<std::string> Names(std::initializer_list<int> ports) {
  std::vector<std::string> names;
  for (int p : ports) names.push_back("COM" + std::to_string(p));
  return names;
}

TEST_F(PortChooserTest, TheListsSplitThePortsByTheirFlagsAndMovingWithoutASelectionDoesNothing) {
  TfmMdmAopt chooser;
  chooser.Ports[0] = chooser.Ports[2] = true;
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("lvUsedChannels"), Names({1, 3}));
    EXPECT_EQ(f.Items("lvAllChannels"), Names({2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(f.ItemIndex("lvAllChannels"), -1);
    EXPECT_EQ(f.ItemIndex("lvUsedChannels"), -1);
    EXPECT_TRUE(f.Click("btnAddChannel"));
    EXPECT_TRUE(f.Click("btnRemoveChannel"));
    EXPECT_EQ(f.Items("lvUsedChannels"), Names({1, 3}));
    f.Click("btnOK");
  });
  EXPECT_EQ(chooser.ShowModal(), mrOk) << "no nothing-changed rule here";
}

TEST_F(PortChooserTest, MovingRightSelectsTheItemBeforeOrTheNewFirst) {
  TfmMdmAopt chooser;
  Op().Expect([](TFormDriver& f) {
    f.Select("lvAllChannels", 0);  // COM1, the first
    f.Click("btnAddChannel");
    EXPECT_EQ(f.Items("lvUsedChannels"), Names({1}));
    EXPECT_EQ(f.ItemIndex("lvAllChannels"), 0) << "the new first item: COM2";
    f.Select("lvAllChannels", 4);  // COM6
    f.Select("lvUsedChannels", 0);
    f.Click("btnAddChannel");
    EXPECT_EQ(f.Items("lvAllChannels")[static_cast<std::size_t>(f.ItemIndex("lvAllChannels"))], "COM5");
    EXPECT_EQ(f.Items("lvUsedChannels")[static_cast<std::size_t>(f.ItemIndex("lvUsedChannels"))], "COM1")
        << "the right selection stays on its port";
    f.Click("btnOK");
  });
  EXPECT_EQ(chooser.ShowModal(), mrOk);
  TPortFlags expected{};
  expected[0] = expected[5] = true;
  EXPECT_EQ(chooser.Ports, expected);
}

TEST_F(PortChooserTest, MovingLeftIsTheMirrorImage) {
  TfmMdmAopt chooser;
  chooser.Ports[1] = chooser.Ports[4] = chooser.Ports[9] = true;
  Op().Expect([](TFormDriver& f) {
    f.Select("lvAllChannels", 2);  // COM4
    f.Select("lvUsedChannels", 1);  // COM5
    f.Click("btnRemoveChannel");
    EXPECT_EQ(f.Items("lvUsedChannels"), Names({2, 10}));
    EXPECT_EQ(f.ItemIndex("lvUsedChannels"), 0) << "the item before the moved one: COM2";
    EXPECT_EQ(f.Items("lvAllChannels")[static_cast<std::size_t>(f.ItemIndex("lvAllChannels"))], "COM4");
    f.Select("lvUsedChannels", 0);
    f.Click("btnRemoveChannel");
    EXPECT_EQ(f.ItemIndex("lvUsedChannels"), 0) << "the new first: COM10";
    f.Click("btnOK");
  });
  chooser.ShowModal();
  TPortFlags expected{};
  expected[9] = true;
  EXPECT_EQ(chooser.Ports, expected);
}

TEST_F(PortChooserTest, MovingTheLastRemainingPortEmptiesTheList) {
  TfmMdmAopt chooser;
  chooser.Ports.fill(true);
  chooser.Ports[15] = false;
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("lvAllChannels"), Names({16}));
    f.Select("lvAllChannels", 0);
    f.Click("btnAddChannel");
    EXPECT_TRUE(f.Items("lvAllChannels").empty());
    EXPECT_EQ(f.ItemIndex("lvAllChannels"), -1);
    EXPECT_EQ(f.Items("lvUsedChannels").size(), 16u);
    f.Click("btnOK");
  });
  chooser.ShowModal();
  EXPECT_TRUE(chooser.Ports[15]);
}

}  // namespace
}  // namespace kestrel::ui::testing
