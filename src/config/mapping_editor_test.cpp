#include "config/mapping_editor.h"

#include <gtest/gtest.h>

#include <vector>

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

struct FakeRow {
  std::string name, length, type;
  bool length_enabled = false;
};

class FakeMappingView : public MappingEditorView {
 public:
  explicit FakeMappingView(int rows) : rows(rows) {}
  std::string NameText(int row) const override { return rows[row].name; }
  std::string LengthText(int row) const override { return rows[row].length; }
  std::string TypeText(int row) const override { return rows[row].type; }
  void SetRow(int row, std::string_view name, std::string_view length, std::string_view type) override {
    rows[row].name = name;
    rows[row].length = length;
    rows[row].type = type;
  }
  void SetLengthEnabled(int row, bool enabled) override { rows[row].length_enabled = enabled; }
  void Close() override { closed = true; }

  std::vector<FakeRow> rows;
  bool closed = false;
};

using testing_support::ErrorBoxes;

template <typename Form>
struct Editor {
  explicit Editor(const std::string& data_directory)
      : view(Form(data_directory, dummy).RowCount()), form(data_directory, view) {}
  FakeMappingView dummy{0};
  FakeMappingView view;
  Form form;
  int Row(std::string_view key) const {
    for (int r = 0; r < form.RowCount(); ++r)
      if (form.Rows()[r]->key == key) return r;
    return -1;
  }
  FakeRow& operator[](std::string_view key) { return view.rows[Row(key)]; }
};

TEST(MappingEditorTest, ShowsTheEditorsDefaultsForEveryRowWithoutASettingsFile) {
  TempDir dir;
  Editor<THeaderForm> header(dir.path());
  Editor<TBodyForm> body(dir.path());
  ASSERT_EQ(header.form.RowCount(), 36);
  ASSERT_EQ(body.form.RowCount(), 37);
  header.form.FormShow();
  body.form.FormShow();
  for (auto* view : {&header.view, &body.view}) {
    for (const FakeRow& row : view->rows) {
      EXPECT_EQ(row.name, "");
      EXPECT_EQ(row.length, "0");
      EXPECT_EQ(row.type, "нет"_cp);
      EXPECT_FALSE(row.length_enabled);
    }
  }
  EXPECT_EQ(header.form.Caption(), "Настройка каталога экспорта накладных"_cp);
  EXPECT_EQ(body.form.Caption(), "Настройка тела экспорта накладных"_cp);
}

TEST(MappingEditorTest, LoadsStoredMappingsWhateverTheLetterCaseOfTheirSections) {
  TempDir dir;
  WriteFile(dir.path() + "export_epd.ini",
            "[INVDT]\nname=DOCDATE\nlength=25\ntype=ftInteger\n"
            "[idmsg]\nname=ID\nlength=12\ntype=ftString\n"
            "[SumNvt]\nname=S\ntype=ftstring\n"
            "[GNVLS]\nname=G\nlength=1\ntype=\n");
  Editor<THeaderForm> header(dir.path());
  header.form.FormShow();
  EXPECT_EQ(header["INVDT"].name, "DOCDATE");
  EXPECT_EQ(header["INVDT"].length, "25");  // shown, although the box stays disabled
  EXPECT_FALSE(header["INVDT"].length_enabled);
  EXPECT_EQ(header["IDMSG"].type, "ftString");
  EXPECT_TRUE(header["IDMSG"].length_enabled);
  EXPECT_EQ(header["SUMNVT"].type, "ftstring");
  EXPECT_EQ(header["SUMNVT"].length, "0");
  EXPECT_FALSE(header["SUMNVT"].length_enabled);

  Editor<TBodyForm> body(dir.path());
  body.form.FormShow();
  EXPECT_EQ(body["IDMSG"].name, "ID");  // the line editor shows the header's message number mapping
  EXPECT_EQ(body["GNVLS"].type, "");
  EXPECT_FALSE(body["GNVLS"].length_enabled);
}

TEST(MappingEditorTest, TypeChangeEnablesTheLengthBoxExactlyForFtStringAndLeavesItsText) {
  struct Case {
    std::string type;
    bool enabled;
  } cases[] = {
      {"ftString", true},   {"ftstring", false}, {"FTSTRING", false}, {"ftString ", false},
      {"ftInteger", false}, {"", false},         {"нет"_cp, false},   {"ftStrin", false},
  };
  TempDir dir;
  Editor<THeaderForm> editor(dir.path());
  editor.form.FormShow();
  const int row = editor.Row("INVNUM");
  for (const Case& c : cases) {
    editor.view.rows[row].type = c.type;
    editor.view.rows[row].length = "7";
    editor.form.TypeChange(row);
    EXPECT_EQ(editor.view.rows[row].length_enabled, c.enabled) << c.type;
    EXPECT_EQ(editor.view.rows[row].length, "7") << c.type;
  }
}

TEST(MappingEditorTest, EachTypeChangeHandlerIsNamedAfterItsRowAndServesOnlyThatRow) {
  TempDir dir;
  Editor<TBodyForm> body(dir.path());
  body.form.FormShow();
  for (std::string_view key : {"CURREGPR", "CURSIGN"}) {
    const int row = body.Row(key);
    body.view.rows[row].type = "ftString";
    ASSERT_TRUE(body.form.RunTypeChangeHandler(body.form.TypeChangeHandler(row)));
    for (int r = 0; r < body.form.RowCount(); ++r) EXPECT_EQ(body.view.rows[r].length_enabled, r == row) << r;
    body.view.rows[row].type = "ftInteger";
    body.form.RunTypeChangeHandler(body.form.TypeChangeHandler(row));
    EXPECT_FALSE(body.view.rows[row].length_enabled);
  }
  EXPECT_EQ(body.form.TypeChangeHandler(body.Row("CURREGPR")), "CurRegPrTypeChange");
  EXPECT_EQ(body.form.RowOfName("REgPrLen"), body.Row("REGPR"));
  EXPECT_EQ(body.form.RowOfName("SerDlvDTType"), body.Row("SERDLVDT"));
  EXPECT_FALSE(body.form.RunTypeChangeHandler("InvDtTypeChange"));  // a header row

  Editor<THeaderForm> header(dir.path());
  EXPECT_EQ(header.form.RowOfName("InvDtNam"), 24);
  EXPECT_EQ(header.form.RowOfName("idMsgTypeChange"), 0);
  EXPECT_EQ(header.form.LengthControl(header.Row("CSUM0")), "Csum0Len");
  EXPECT_EQ(header.form.RowOfName("CSum0Len"), -1);  // stems keep their own spelling
}

TEST(MappingEditorTest, LineEditorRowsFollowItsOwnOrderNotTheScreenOrder) {
  TempDir dir;
  Editor<TBodyForm> body(dir.path());
  std::vector<std::string_view> keys;
  for (const CatalogueField* f : body.form.Rows()) keys.push_back(f->key);
  const std::vector<std::string_view> expected = {
      "IDMSG",    "MSGNUM",   "ITEMID",  "FIRMID",    "LANDID",    "LOCALCOD", "BARCOD",    "ALTCOD",
      "ITEMQTY",  "ITEMUNIT", "CATPRNV", "PRODPRNV",  "CATVAT",    "CATTOT",   "VAT",       "SERIES",
      "PRODDT",   "USEBEFOR", "REGPR",   "REGPRDT",   "SERDLVDT",  "SEROVRDT", "SERNUMID",  "SERORG",
      "GNVLS",    "GCHDN",    "IMPPRUP", "WHLPRUP",   "CLPRUP",    "CLPRICE",  "SUMRECNVT", "SUMRECTOT",
      "CURREGPR", "CURSIGN",  "IDWARE",  "WHLLNKCNT", "WHLLNKPRMS"};
  EXPECT_EQ(keys, expected);
}

TEST(MappingEditorTest, SaveWritesEveryRowInTheEditorsOrderAsTypedThenCloses) {
  TempDir dir;
  // An existing section keeps the letter case of its header; lines the editor does not know stay.
  WriteFile(dir.path() + "export_epd.ini", "[Other]\r\nx=1\r\n[idMsg]\r\ntype=ftInteger\r\n");
  Editor<TBodyForm> body(dir.path());
  body.form.FormShow();
  body["ITEMID"] = {"NAME", "abc", "ftString", true};
  body["GNVLS"].type = "";
  body["CURSIGN"] = {"", "", "ftstring", false};
  body.form.bSaveClick();
  EXPECT_TRUE(body.view.closed);

  // The loaded type goes back in place, the two new keys after it.
  std::string expected = "[Other]\r\nx=1\r\n[idMsg]\r\ntype=ftInteger\r\nname=\r\nlength=0\r\n";
  for (int r = 1; r < body.form.RowCount(); ++r) {
    const FakeRow& row = body.view.rows[r];
    expected += "[" + std::string(body.form.Rows()[r]->key) + "]\r\n";
    expected += "name=" + row.name + "\r\nlength=" + row.length + "\r\ntype=" + row.type + "\r\n";
  }
  EXPECT_EQ(ReadFile(dir.path() + "export_epd.ini"), expected);
  EXPECT_NE(expected.find("[ITEMID]\r\nname=NAME\r\nlength=abc\r\ntype=ftString\r\n"), std::string::npos);
  EXPECT_NE(expected.find("[GNVLS]\r\nname=\r\nlength=0\r\ntype=\r\n"), std::string::npos);
}

TEST(MappingEditorTest, TheTwoEditorsShareTheMessageNumberMappings) {
  TempDir dir;
  Editor<THeaderForm> header(dir.path());
  header.form.FormShow();
  header["IDMSG"] = {"IDMSG", "0", "нет"_cp, false};
  header["MSGNUM"] = {"NUM", "10", "ftString", true};
  header.form.bSaveClick();

  Editor<TBodyForm> body(dir.path());
  body.form.FormShow();
  EXPECT_EQ(body["IDMSG"].type, "нет"_cp);
  EXPECT_EQ(body["MSGNUM"].name, "NUM");
  EXPECT_TRUE(body["MSGNUM"].length_enabled);
  body["MSGNUM"] = {"LINENUM", "10", "ftInteger", false};
  body.form.bSaveClick();

  Editor<THeaderForm> again(dir.path());
  again.form.FormShow();
  EXPECT_EQ(again["MSGNUM"].name, "LINENUM");
  EXPECT_FALSE(again["MSGNUM"].length_enabled);
}

TEST(MappingEditorTest, CloseAndEscWriteNothing) {
  TempDir dir;
  for (int way = 0; way < 2; ++way) {
    Editor<THeaderForm> editor(dir.path());
    editor.form.FormShow();
    editor["INVDT"].name = "CHANGED";
    if (way == 0) {
      editor.form.bCloseClick();
    } else {
      EXPECT_FALSE(editor.form.FormKeyDown(13));
      EXPECT_FALSE(editor.view.closed);
      EXPECT_TRUE(editor.form.FormKeyDown(kVkEscape));
    }
    EXPECT_TRUE(editor.view.closed);
  }
  EXPECT_FALSE(platform::FileExists(dir.path() + "export_epd.ini"));
}

TEST(MappingEditorTest, ARefusedWriteStopsTheSaveAtThatKeyAndKeepsTheDialogOpen) {
  TempDir dir;
  const std::string path = dir.path() + "export_epd.ini";
  int writes = 0;
  platform::SetFaultHook([&](platform::FileOp op, std::string_view p, std::uint64_t, std::size_t) {
    return op == platform::FileOp::kRename && p.find("export_epd.ini") != std::string_view::npos && ++writes == 5;
  });
  ErrorBoxes boxes;
  Editor<THeaderForm> editor(dir.path());
  editor.form.FormShow();
  editor["MSGNUM"].name = "NUM";
  editor.form.bSaveClick();
  platform::SetFaultHook(nullptr);

  EXPECT_FALSE(editor.view.closed);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Unable to write to " + path);
  // IDMSG's three keys and MSGNUM's name went in; MSGNUM's length was refused, nothing after it.
  EXPECT_EQ(ReadFile(path), "[IDMSG]\r\nname=\r\nlength=0\r\ntype=нет\r\n[MSGNUM]\r\nname=NUM\r\n"_cp);

  // A data directory that does not exist.
  Editor<TBodyForm> body(dir.path() + "missing\\");
  body.form.FormShow();
  body.form.bSaveClick();
  EXPECT_FALSE(body.view.closed);
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_EQ(boxes.texts[1], "Unable to write to " + dir.path() + "missing\\export_epd.ini");
}

#ifndef _WIN32
// The settings file or its folder refusing writes for real (also to root): the first key's
// write is refused, the dialog stays open, and the file keeps every byte.
TEST(MappingEditorTest, ARealReadOnlySettingsFileOrFolderIsReportedAndKept) {
  for (bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
    TempDir dir;
    const std::string path = dir.path() + "export_epd.ini";
    const std::string before = "[IDMSG]\nname=IDMSG\nlength=10\ntype=ftInteger\n";
    WriteFile(path, before);
    ErrorBoxes boxes;
    Editor<TBodyForm> editor(dir.path());
    editor.form.FormShow();
    editor["ITEMID"].name = "ITEM";
    {
      testing_support::ReadOnly guard(folder ? dir.path() : path);
      if (guard.how().empty()) GTEST_SKIP() << "nothing here makes a file refuse writes; the fault hook test covers it";
      editor.form.bSaveClick();
    }
    EXPECT_FALSE(editor.view.closed);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Unable to write to " + path);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(platform::FileExists(path + ".~tmp"));
  }
}
#endif

}  // namespace
}  // namespace epd::config
