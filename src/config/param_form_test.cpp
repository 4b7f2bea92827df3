#include "config/param_form.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "config/host_folders.h"
#include "config/mapping_editor.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/test_support.h"
#ifndef _WIN32
#include "platform/test_read_only.h"
#endif
#include "platform/text.h"

namespace epd::config {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class FakeParamView : public TFormParamView {
 public:
  bool Checked(ParamCheck box) const override { return checks.at(box); }
  void SetChecked(ParamCheck box, bool checked) override { checks[box] = checked; }
  std::string Text(ParamText box) const override { return texts.at(box); }
  void SetText(ParamText box, std::string_view text) override { texts[box] = text; }
  std::optional<std::string> AskSaveFileName(std::string_view file_name) override {
    offered = file_name;
    return answer;
  }
  void ShowSupplierList(std::string_view list_file_name) override { supplier_list = list_file_name; }
  void Close() override { closed = true; }

  std::map<ParamCheck, bool> checks;
  std::map<ParamText, std::string> texts;
  std::optional<std::string> answer;
  std::string offered, supplier_list;
  bool closed = false;
};

using testing_support::ErrorBoxes;

// A dialog whose base and data directory are both `dir`: the settings file lies in it, and no
// folder of it is the host's.
SettingsPlaces InDirectory(const TempDir& dir) { return SettingsPlaces{dir.path(), dir.path()}; }

constexpr ParamCheck kAllChecks[] = {ParamCheck::CB_EnableExport, ParamCheck::chbAutoExport, ParamCheck::chbSnglFile,
                                     ParamCheck::chbManyFiles,    ParamCheck::chbSeller,     ParamCheck::chbChange};

TEST(ParamFormTest, ShowsThisDialogsOwnDefaultsWithoutASettingsFile) {
  TempDir dir;
  FakeParamView view;
  TFormParam form(InDirectory(dir), view);
  form.FormShow();
  for (ParamCheck box : kAllChecks) EXPECT_FALSE(view.Checked(box));
  EXPECT_EQ(view.Text(ParamText::Edit_Dir), "");
  EXPECT_EQ(view.Text(ParamText::edDos), "866");
  EXPECT_EQ(view.Text(ParamText::edLevel), "7");
  EXPECT_EQ(view.Text(ParamText::edCharLS), "");
  EXPECT_EQ(TFormParam::Caption(), "Настройка параметров "_cp);
}

TEST(ParamFormTest, LoadsTheStoredOptions) {
  struct Case {
    std::string ini;
    ParamText box;
    std::string shown;
  } cases[] = {
      {"[EPD]\nbDOScoding=0\n", ParamText::edDos, "1251"},
      {"[EPD]\nbDOScoding=1\n", ParamText::edDos, "866"},
      {"[EPD]\nbDOScoding=-1\n", ParamText::edDos, "866"},
      {"[EPD]\nbDOScoding=no\n", ParamText::edDos, "866"},  // not a number: this dialog's default
      {"[EPD]\nlavel=3\n", ParamText::edLevel, "3"},
      {"[EPD]\nlavel=\n", ParamText::edLevel, ""},
      {"[EPD]\ncharlength=abc\n", ParamText::edCharLS, "abc"},
      {"[epd]\nexport_dir=D:\\Out\n", ParamText::Edit_Dir, "D:\\Out"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir.path() + "export_epd.ini", c.ini);
    FakeParamView view;
    TFormParam(InDirectory(dir), view).FormShow();
    EXPECT_EQ(view.Text(c.box), c.shown) << c.ini;
  }
  TempDir dir;
  WriteFile(
      dir.path() + "export_epd.ini",
      "[EPD]\nbExportEPD=1\nsinglefile=1\nmanyfiles=2\nseller=1\nbAutoExportEPD=1\n[Settings]\nbchangecncode=1\n");
  FakeParamView view;
  TFormParam(InDirectory(dir), view).FormShow();
  for (ParamCheck box : kAllChecks) EXPECT_TRUE(view.Checked(box));
}

TEST(ParamFormTest, SaveWritesEveryKeyInItsOrderAsTypedThenTheCopyAndCloses) {
  TempDir dir;
  FakeParamView view;
  TFormParam form(InDirectory(dir), view);
  form.FormShow();
  view.checks[ParamCheck::CB_EnableExport] = true;
  view.checks[ParamCheck::chbManyFiles] = true;
  view.texts[ParamText::Edit_Dir] = "out\\";
  view.texts[ParamText::edLevel] = "3";
  view.texts[ParamText::edCharLS] = "x1";
  form.B_SaveClick();
  EXPECT_TRUE(view.closed);
  EXPECT_EQ(ReadFile(dir.path() + "export_epd.ini"),
            "[EPD]\r\nbExportEPD=1\r\nExport_Dir=out\\\r\nbDOScoding=1\r\nlavel=3\r\nsinglefile=0\r\n"
            "bAutoExportEPD=0\r\nmanyfiles=1\r\nseller=0\r\ncharlength=x1\r\n"
            "[Settings]\r\nbchangecncode=0\r\n");
  EXPECT_EQ(ReadFile(dir.path() + "export.ini"), "[EPD]\r\nbExportEPD=1\r\n");
}

TEST(ParamFormTest, DosCodingIsSavedOnExactlyForTheText866) {
  struct Case {
    std::string text;
    const char* stored;
  } cases[] = {{"866", "1"}, {"1251", "0"}, {"1250", "0"}, {"866 ", "0"}, {" 866", "0"}, {"", "0"}, {"8660", "0"}};
  for (const Case& c : cases) {
    TempDir dir;
    FakeParamView view;
    TFormParam form(InDirectory(dir), view);
    form.FormShow();
    view.texts[ParamText::edDos] = c.text;
    form.B_SaveClick();
    EXPECT_NE(ReadFile(dir.path() + "export_epd.ini").find(std::string("bDOScoding=") + c.stored + "\r\n"),
              std::string::npos)
        << "'" << c.text << "'";
  }
}

TEST(ParamFormTest, CancelAndEscLeaveBothFilesUntouched) {
  TempDir dir;
  const std::string before = "[EPD]\r\nbExportEPD=0\r\n";
  WriteFile(dir.path() + "export_epd.ini", before);
  for (int way = 0; way < 2; ++way) {
    FakeParamView view;
    TFormParam form(InDirectory(dir), view);
    form.FormShow();
    for (ParamCheck box : kAllChecks) view.checks[box] = true;
    view.texts[ParamText::edDos] = "1251";
    if (way == 0) {
      form.B_CancelClick();
    } else {
      EXPECT_FALSE(form.FormKeyDown(13));
      EXPECT_TRUE(form.FormKeyDown(kVkEscape));
    }
    EXPECT_TRUE(view.closed);
  }
  EXPECT_EQ(ReadFile(dir.path() + "export_epd.ini"), before);
  EXPECT_FALSE(platform::FileExists(dir.path() + "export.ini"));
}

TEST(ParamFormTest, ARefusedWriteStopsAtThatKeyAndKeepsTheDialogOpen) {
  TempDir dir;
  int writes = 0;
  platform::SetFaultHook([&](platform::FileOp op, std::string_view p, std::uint64_t, std::size_t) {
    return op == platform::FileOp::kRename && p.find("export_epd.ini") != std::string_view::npos && ++writes == 3;
  });
  ErrorBoxes boxes;
  FakeParamView view;
  TFormParam form(InDirectory(dir), view);
  form.FormShow();
  view.checks[ParamCheck::CB_EnableExport] = true;
  form.B_SaveClick();
  platform::SetFaultHook(nullptr);
  EXPECT_FALSE(view.closed);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Unable to write to " + dir.path() + "export_epd.ini");
  EXPECT_EQ(ReadFile(dir.path() + "export_epd.ini"), "[EPD]\r\nbExportEPD=1\r\n[Settings]\r\nbchangecncode=0\r\n");
  EXPECT_FALSE(platform::FileExists(dir.path() + "export.ini"));

  // export.ini refused after export_epd.ini was written: the same error, the dialog stays open.
  platform::SetFaultHook([&](platform::FileOp op, std::string_view p, std::uint64_t, std::size_t) {
    return op == platform::FileOp::kRename && p.find("export.ini") != std::string_view::npos;
  });
  form.B_SaveClick();
  platform::SetFaultHook(nullptr);
  EXPECT_FALSE(view.closed);
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_EQ(boxes.texts[1], "Unable to write to " + dir.path() + "export.ini");
}

#ifndef _WIN32
// The settings file or its folder refusing writes for real (also to root): the same message,
// the dialog stays open, the file keeps every byte and nothing is left beside it.
TEST(ParamFormTest, ARealReadOnlySettingsFileOrFolderIsReportedAndKept) {
  const struct {
    const char* name;
    bool file_exists;
    bool folder_read_only;
  } cases[] = {
      {"read-only file", true, false}, {"read-only folder", true, true}, {"read-only empty folder", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.path() + "export_epd.ini";
    const std::string before = "[EPD]\r\nbExportEPD=0\r\nExport_Dir=D:\\Out\r\n";
    if (c.file_exists) WriteFile(path, before);
    ErrorBoxes boxes;
    FakeParamView view;
    TFormParam form(InDirectory(dir), view);
    form.FormShow();
    view.checks[ParamCheck::CB_EnableExport] = true;
    {
      testing_support::ReadOnly guard(c.folder_read_only ? dir.path() : path);
      if (guard.how().empty()) GTEST_SKIP() << "nothing here makes a file refuse writes; the fault hook test covers it";
      form.B_SaveClick();
    }
    EXPECT_FALSE(view.closed);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Unable to write to " + path);
    if (c.file_exists) {
      EXPECT_EQ(ReadFile(path), before);
    } else {
      EXPECT_FALSE(platform::FileExists(path));
    }
    EXPECT_FALSE(platform::FileExists(path + ".~tmp"));
    EXPECT_FALSE(platform::FileExists(dir.path() + "export.ini"));
  }
}
#endif

// The host's own folder of invoice tables, however it is written, is refused before any key is
// written, and the dialog stays open for another choice.
TEST(ParamFormTest, TheHostsInvoiceFolderIsRefusedAsExportDirectory) {
  TempDir base;
  platform::MakeDirectory(base.path() + "DATA");
  platform::MakeDirectory(base.path() + "ORDERS");
  platform::MakeDirectory(base.path() + "ORDERS\\EPD");
  platform::MakeDirectory(base.path() + "OUT");
  const SettingsPlaces places{base.path(), base.path() + "DATA\\"};
  const std::string settings = places.data_directory + "export_epd.ini";
  const std::string before = "[EPD]\r\nExport_Dir=" + base.path() + "OUT\r\n";
  WriteFile(settings, before);
  for (const std::string& typed :
       {base.path() + "ORDERS\\EPD", base.path() + "ORDERS\\EPD\\", base.path() + "orders\\.\\epd"}) {
    SCOPED_TRACE(typed);
    ErrorBoxes boxes;
    FakeParamView view;
    TFormParam form(places, view);
    form.FormShow();
    view.checks[ParamCheck::CB_EnableExport] = true;
    view.texts[ParamText::Edit_Dir] = typed;
    form.B_SaveClick();
    EXPECT_FALSE(view.closed);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], *WhyNotAnExportDirectory(typed, base.path()));
    EXPECT_NE(boxes.texts[0].find("Папка экспорта "_cp + typed), std::string::npos) << boxes.texts[0];
    EXPECT_EQ(ReadFile(settings), before);
    EXPECT_FALSE(platform::FileExists(places.data_directory + "export.ini"));

    // Another folder is taken at once.
    view.texts[ParamText::Edit_Dir] = base.path() + "OUT\\";
    form.B_SaveClick();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(boxes.texts.size(), 1u);
    WriteFile(settings, before);
    platform::RemoveFile(places.data_directory + "export.ini");
  }
}

TEST(ParamFormTest, FolderChoiceTakesTheFolderOfTheConfirmedNameAndKeepsTheTextWhenCancelled) {
  TempDir dir;
  FakeParamView view;
  TFormParam form(InDirectory(dir), view);
  form.FormShow();
  view.answer = "D:\\Export\\Pharmacy\\Directory";
  form.B_BrowseClick();
  EXPECT_EQ(view.offered, "Directory");
  EXPECT_EQ(view.Text(ParamText::Edit_Dir), "D:\\Export\\Pharmacy");
  view.answer.reset();
  form.B_BrowseClick();
  EXPECT_EQ(view.Text(ParamText::Edit_Dir), "D:\\Export\\Pharmacy");
}

TEST(ParamFormTest, FolderOfFileName) {
  struct Case {
    const char* name;
    const char* folder;
  } cases[] = {
      {"C:\\Export\\Directory", "C:\\Export"},
      {"C:\\Directory", "C:\\"},
      {"C:\\a\\b\\c.dbf", "C:\\a\\b"},
      {"\\\\server\\share\\Directory", "\\\\server\\share"},
      {"\\Directory", "\\"},
      {"C:Directory", "C:"},
      {"Directory", ""},
      {"", ""},
      {"Z:/tmp/out/Directory", "Z:/tmp/out"},
  };
  for (const Case& c : cases) EXPECT_EQ(FolderOfFileName(c.name), c.folder) << c.name;
}

TEST(ParamFormTest, TheSupplierListButtonOpensTheListWithItsFileName) {
  TempDir dir;
  FakeParamView view;
  TFormParam form(InDirectory(dir), view);
  form.bChangeClick();
  EXPECT_EQ(view.supplier_list, "SelList.dbf");
  EXPECT_FALSE(view.closed);
}

}  // namespace
}  // namespace epd::config
