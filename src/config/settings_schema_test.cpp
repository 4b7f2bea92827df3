#include "config/settings_schema.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/test_support.h"

namespace epd::config {
namespace {

// epd settings show lists the general keys from the schema: each once, each with the default the
// export falls back on; the field keys are no general keys.
TEST(SettingsSchema, EveryGeneralKeyIsListedOnceWithItsDefaults) {
  std::set<std::string> seen;
  for (const SettingKey* key : kGeneralKeys) {
    EXPECT_FALSE(key->section.empty()) << key->name;
    EXPECT_TRUE(seen.insert(std::string(key->section) + "/" + std::string(key->name)).second) << key->name;
    EXPECT_TRUE(DefaultsOf(*key).has_value()) << key->name;
  }
  for (const SettingKey* key : {&keys::kName, &keys::kLength, &keys::kType}) EXPECT_FALSE(DefaultsOf(*key));
  // Where the parameters dialog falls back on another value than the export, both are told.
  EXPECT_EQ(DefaultsOf(keys::kDosCoding)->export_side, "0");
  EXPECT_EQ(DefaultsOf(keys::kDosCoding)->dialog, "1");
  EXPECT_EQ(DefaultsOf(keys::kLevel)->dialog, "7");
  EXPECT_FALSE(DefaultsOf(keys::kSeller)->dialog);
}

// A field key is read in the section of the field it is asked for; a general key in its own.
TEST(SettingsSchema, ReadingsFallBackOnTheirOwnDefaults) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.path() + "export_epd.ini",
                             "[EPD]\nbDOScoding=1\nlavel=x\n[SENDER]\nname=S\nlength=\n[MSGD]\nlength=12\n");
  const SettingsFile settings = SettingsFile::InDataDirectory(dir.path());
  EXPECT_TRUE(Read(settings, reads::initialize::kDosCoding));
  EXPECT_EQ(Read(settings, reads::output::kLevel), 5);
  EXPECT_EQ(Read(settings, reads::parameters::kLevel), "x");
  EXPECT_EQ(Read(settings, reads::initialize::kCharLength), 8);
  EXPECT_EQ(Read(settings, "SENDER", reads::mapping::kName), "S");
  EXPECT_EQ(Read(settings, "SENDER", reads::editors::kLength), "");  // present, though empty
  EXPECT_EQ(Read(settings, "SENDER", reads::mapping::kStringWidth), 10);
  EXPECT_EQ(Read(settings, "MSGD", reads::mapping::kStringWidth), 12);
  EXPECT_EQ(Read(settings, "MSGD", reads::editors::kType), kTypeNone);
}

}  // namespace
}  // namespace epd::config
