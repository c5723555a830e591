#include "platform/registry_text.h"

#include <gtest/gtest.h>

namespace vard {
namespace {

constexpr char kKey[] = "Software\\Trevalo soft\\Vardomar (Text)";

TEST(RegistryTextTest, ReadsHandWrittenFileIgnoringCaseAndNoise) {
  const RegistryText store(
      "# settings\r\n"
      "\"Orphan\"=\"above every key\"\n"
      "[hklm\\SOFTWARE\\\\Trevalo soft\\Vardomar (Text)\\]\r\n"
      "  \"Configuration File\" = \"C:\\cfg\\x41\\\\ \\\"q\\\"\"  \n"
      "\"Zero\"=\n"
      "\"Empty\"=\"\"\n"
      "garbage line\n"
      "\"Broken\"=\"no end\n"
      "\"Trailing\"=\"x\" y\n"
      "\"NulByte\"=\"a\\x00b\"\n"
      "[HKEY_CURRENT_USER\\Software\\Trevalo soft\\Vardomar (Text)]\n"
      "\"Configuration File\"=\"other hive\"\n");
  EXPECT_TRUE(store.HasKey(kKey));
  EXPECT_TRUE(store.HasKey("software\\TREVALO SOFT"));  // a parent exists through its child
  EXPECT_TRUE(store.HasKey(""));
  EXPECT_FALSE(store.HasKey("Software\\Trevalo"));  // a prefix is not a parent
  EXPECT_FALSE(store.HasKey("Software\\Trevalo soft\\Vardomar (Text)\\Sub"));

  const auto cfg = store.FindValue(kKey, "configuration FILE");
  ASSERT_TRUE(cfg);
  // Unknown escapes keep their backslash so hand-typed Windows paths survive.
  EXPECT_EQ(cfg->data, "C:\\cfgA\\ \"q\"");
  const auto zero = store.FindValue(kKey, "Zero");
  ASSERT_TRUE(zero);
  EXPECT_TRUE(zero->zero_bytes);
  const auto empty = store.FindValue(kKey, "Empty");
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->zero_bytes);
  EXPECT_EQ(empty->data, "");
  for (const char* name : {"Orphan", "Broken", "Trailing", "NulByte", "Missing"}) {
    EXPECT_FALSE(store.FindValue(kKey, name)) << name;
  }
}

TEST(RegistryTextTest, UpdatesKeepEverythingElseAndRoundTrip) {
  RegistryText store(
      "# kept comment\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "\"Name\"=\"old\"\n"
      "not a value line\n"
      "[HKEY_LOCAL_MACHINE\\B]\n"
      "\"Other\"=\"b\"\n");
  store.SetString("a", "NAME", "new \"text\"\\\n");
  store.SetString("A", "Second", "");
  store.SetString("C\\D", "Deep", "d");
  EXPECT_EQ(store.ToText(),
            "# kept comment\n"
            "[HKEY_LOCAL_MACHINE\\A]\n"
            "\"Name\"=\"new \\\"text\\\"\\\\\\x0A\"\n"
            "\"Second\"=\"\"\n"
            "not a value line\n"
            "[HKEY_LOCAL_MACHINE\\B]\n"
            "\"Other\"=\"b\"\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\C\\D]\n"
            "\"Deep\"=\"d\"\n");
  const RegistryText reread(store.ToText());
  EXPECT_EQ(reread.FindValue("A", "name")->data, "new \"text\"\\\n");
  EXPECT_EQ(reread.FindValue("C\\D", "deep")->data, "d");
  EXPECT_TRUE(reread.HasKey("C"));
}

TEST(RegistryTextTest, RepeatedEntriesResolveToTheLastOne) {
  RegistryText store(
      "[HKLM\\K]\n\"V\"=\"first\"\n"
      "[HKLM\\K]\n\"v\"=\"second\"\n");
  EXPECT_EQ(store.FindValue("K", "V")->data, "second");
  store.SetString("K", "V", "third");
  EXPECT_EQ(store.FindValue("K", "V")->data, "third");
  store.AddKey("k");  // already there: nothing added
  EXPECT_EQ(store.ToText(), "[HKLM\\K]\n\"V\"=\"first\"\n[HKLM\\K]\n\"v\"=\"third\"\n");
}

// Updates keep the lines they do not touch byte for byte, CRs included, however often they run;
// a key path no header line can hold is refused.
TEST(RegistryTextTest, UpdatesKeepLineEndsAndRefuseLineBreaksInKeyPaths) {
  const std::string file = "# crlf\r\n[HKLM\\K]\r\n\"V\"=\"v\"\r\n# stray\r\r\n";
  std::string text = file;
  for (int i = 0; i < 3; ++i) {
    RegistryText store(text);
    EXPECT_TRUE(store.SetString("K", "W", "w"));
    text = store.ToText();
  }
  EXPECT_EQ(text, "# crlf\r\n[HKLM\\K]\r\n\"V\"=\"v\"\r\n\"W\"=\"w\"\n# stray\r\r\n");
  EXPECT_EQ(RegistryText(text).FindValue("K", "V")->data, "v");
  RegistryText store(file);
  EXPECT_FALSE(store.AddKey("A\nB"));
  EXPECT_FALSE(store.SetString("A\r", "V", "x"));
  EXPECT_EQ(store.ToText(), file);
}

}  // namespace
}  // namespace vard
