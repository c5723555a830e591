#include "tree/text_tree_stream.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/fault_env.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

const char kExample[] =
    "(int)Version=3\n"
    "{ Colors:\n"
    "    (string)Background=#C0C0C0\n"
    "    (int)Count=2\n"
    "    (float)Ratio=1.500000\n"
    "    (int)Limit[1]=10\n"
    "    (int)Limit[2]=20\n"
    "    [ Key:\n"
    "    A\n"
    "    FF\n"
    "    ] Key;\n"
    "    { Empty:\n"
    "    } Empty;\n"
    "} Colors;\n";

struct Problem {
  int line;
  LoadProblem kind;
  std::string text;
};

class Recorder : public LoadObserver {
 public:
  void OnProblem(int line, LoadProblem kind, std::string_view text) override {
    problems.push_back(Problem{line, kind, std::string(text)});
  }
  std::vector<Problem> problems;
};

class TextTreeStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "/treeXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Loads `content` into a fresh root.
  std::unique_ptr<TreeSection> Load(const std::string& content, Recorder* recorder = nullptr) {
    auto root = std::make_unique<TreeSection>(Write("in.cfg", content), true);
    EXPECT_EQ(root->LoadFile(recorder), 1);
    return root;
  }

  // What the writer makes of `root`.
  std::string Saved(TreeSection& root) {
    root.SetName(Path("out.cfg"));
    EXPECT_EQ(root.SaveFile(), 1);
    return Read(Path("out.cfg"));
  }

  std::string dir_;
};

TEST_F(TextTreeStreamTest, ExampleLoadsIntoItsTreeAndIsWrittenBackLineForLine) {
  auto root = Load(kExample);
  EXPECT_EQ(root->GetValue("version")->GetInt(), 3);
  const TreeSection* colors = root->GetSection("COLORS");
  ASSERT_FALSE(colors->IsNull());
  EXPECT_STREQ(colors->GetValue("Background")->GetString(), "#C0C0C0");
  EXPECT_EQ(colors->GetValue("Count")->GetInt(), 2);
  EXPECT_EQ(colors->GetValue("Ratio")->GetItemAt(1)->AsFloat(), 1.5f);
  const TreeValue* limit = colors->GetValue("Limit");
  ASSERT_EQ(limit->Count(), 2);
  EXPECT_STREQ(limit->GetItemAt(1)->GetName(), "1");
  EXPECT_EQ(limit->GetItemAt(1)->AsInt(), 10);
  EXPECT_STREQ(limit->GetItemAt(2)->GetName(), "2");
  EXPECT_EQ(limit->GetItemAt(2)->AsInt(), 20);
  const TreeItem* key = colors->GetValue("Key")->GetItemAt(1);
  ASSERT_EQ(key->ByteLength(), 2);
  EXPECT_EQ(key->AsBytes()[0], 0x0A);
  EXPECT_EQ(key->AsBytes()[1], 0xFF);
  EXPECT_FALSE(colors->GetSection("Empty")->IsNull());
  EXPECT_EQ(colors->Count(), 6);

  EXPECT_EQ(Saved(*root), kExample);
}

TEST_F(TextTreeStreamTest, CrLfFilesLoadTheSameAndAreWrittenWithLf) {
  std::string crlf;
  for (char c : std::string(kExample)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  auto root = Load(crlf);
  EXPECT_STREQ(root->GetSection("Colors")->GetValue("Background")->GetString(), "#C0C0C0");
  EXPECT_EQ(Saved(*root), kExample);
}

TEST_F(TextTreeStreamTest, WriterPutsValuesFirstAndSkipsHoles) {
  TreeSection root(Path("out.cfg"), true);
  TreeSection* a = root.OpenSection("A");
  a->OpenSection("Sub")->AddInt("x", 1);
  a->AddString("late", "v");
  a->AddString("gone", "v");
  a->Remove("gone");
  root.AddDouble("d", 0.0001);
  root.AddDouble("big", 1e20);
  root.AddInt64("l", -9000000000LL, "i");
  root.AddString("empty", "");
  root.AddFloat("f", -2.25f);
  root.OpenValue("noitems");
  EXPECT_EQ(Saved(root),
            "(double)d=0.0001\n"
            "(double)big=1E+20\n"
            "(int64)l[i]=-9000000000\n"
            "(string)empty=\n"
            "(float)f=-2.250000\n"
            "{ A:\n"
            "    (string)late=v\n"
            "    { Sub:\n"
            "        (int)x=1\n"
            "    } Sub;\n"
            "} A;\n");
}

TEST_F(TextTreeStreamTest, EmptyTreeAndEmptyFile) {
  TreeSection root(Path("empty.cfg"), true);
  EXPECT_EQ(Saved(root), "");
  auto loaded = Load("");
  EXPECT_EQ(loaded->Count(), 0);
  TreeSection missing(Path("does-not-exist"), true);
  EXPECT_EQ(missing.LoadFile(), 0);
  // A path naming a directory is no configuration, not an empty one.
  TreeSection directory(dir_, true);
  EXPECT_EQ(directory.LoadFile(), 0);
  // A file that opens but cannot be read (this one fails its first read with EIO) is no empty
  // configuration either.
  TreeSection unreadable("/proc/self/mem", true);
  EXPECT_EQ(unreadable.LoadFile(), 0);
  EXPECT_EQ(errno, EIO);
  TreeSection not_a_root("x");
  EXPECT_EQ(not_a_root.LoadFile(), 0);
  EXPECT_EQ(not_a_root.SaveFile(), 0);
}

TEST_F(TextTreeStreamTest, LoadAddsToWhatTheTreeHolds) {
  TreeSection root(Write("in.cfg", "(int)A=1\n{ S:\n(int)B=2\n} S;\n"), true);
  root.OpenSection("S")->AddInt("Old", 9);
  root.AddInt("A", 0);
  ASSERT_EQ(root.LoadFile(), 1);
  EXPECT_EQ(root.GetValue("A")->Count(), 2);
  EXPECT_EQ(root.GetValue("A")->GetInt(), 0);
  EXPECT_EQ(root.GetSection("S")->GetValue("Old")->GetInt(), 9);
  EXPECT_EQ(root.GetSection("S")->GetValue("B")->GetInt(), 2);
}

// Loaded nodes live in the top section's arena: they must survive removal, renaming and
// cloning as heap nodes do, and a clone must outlive the tree it was taken from (the sanitizer
// build catches a node freed twice or read after its arena went).
TEST_F(TextTreeStreamTest, LoadedNodesBehaveAsAnyNodeAndClonesOutliveTheirTree) {
  TreeSection other("other");
  {
    auto root = Load(kExample);
    TreeSection* colors = root->GetSection("COLORS");
    ASSERT_EQ(colors->GetValue("Background")->SetName("Backdrop"), 1);
    EXPECT_STREQ(colors->GetValue("backdrop")->GetString(), "#C0C0C0");
    ASSERT_NE(other.Add(colors->Clone()), 0);
    EXPECT_NE(colors->Remove("Limit"), 0);
    EXPECT_NE(root->Remove("COLORS"), 0);
    EXPECT_EQ(root->AddSection("COLORS"), root.get());

    TreeSection* inner = root->OpenSection("Inner");
    ASSERT_EQ(
        inner->Load(*TextTreeStream::ReadingText("(int)A=1\n(string)B=a text of 20+ bytes\n")), 0);
    EXPECT_STREQ(inner->GetValue("B")->GetString(), "a text of 20+ bytes");
    EXPECT_NE(root->Remove("Inner"), 0);
  }
  const TreeSection* copy = other.GetSection("colors");
  EXPECT_STREQ(copy->GetValue("Backdrop")->GetString(), "#C0C0C0");
  EXPECT_EQ(copy->GetValue("Limit")->GetItemAt(2)->AsInt(), 20);
}

// A loaded value keeps its one unnamed item in place and makes the item's node only when asked
// for it: the node must then be the item for every later call, through changes of the value's
// list, of the item and of its name, and for threads racing to ask first.
TEST_F(TextTreeStreamTest, AnItemKeptInPlaceBehavesAsItsNode) {
  const std::string text =
      "(string)A=short\n(string)B=a text of twenty bytes or more\n(int)C=5\n(float)F=2.500000\n";
  auto root = Load(text);
  TreeValue* a = root->GetValue("A");
  TreeValue* b = root->GetValue("B");
  TreeValue* c = root->GetValue("C");
  TreeValue* f = root->GetValue("F");

  const std::unique_ptr<NamedObject> copy = b->Clone();
  EXPECT_STREQ(static_cast<TreeValue*>(copy.get())->GetString(), "a text of twenty bytes or more");

  std::vector<TreeItem*> seen(4, nullptr);
  std::vector<std::thread> threads;
  for (auto& item : seen) threads.emplace_back([&item, a] { item = a->GetItemAt(1); });
  for (auto& thread : threads) thread.join();
  TreeItem* first = seen[0];
  for (TreeItem* item : seen) EXPECT_EQ(item, first);
  EXPECT_EQ(a->At(1), first);
  ASSERT_NE(root->AddInt("A", 7), nullptr);
  EXPECT_EQ(a->GetItemAt(1), first);
  EXPECT_EQ(a->Count(), 2);

  ASSERT_EQ(b->GetItemAt(1)->SetText("changed"), 1);
  EXPECT_STREQ(b->GetString(), "changed");
  ASSERT_EQ(c->GetItemAt(1)->SetName("k"), 1);
  EXPECT_EQ(c->IndexOf("K"), 1);
  EXPECT_EQ(f->RemoveAt(1), 1);
  EXPECT_EQ(f->GetItemAt(1), &TreeItem::Null);
  EXPECT_EQ(f->Count(), 1);
  EXPECT_EQ(Saved(*root), "(string)A=short\n(int)A=7\n(string)B=changed\n(int)C[k]=5\n");

  auto again = Load(text);
  EXPECT_EQ(Saved(*again), text);
}

TEST_F(TextTreeStreamTest, ValueLineConversions) {
  auto root = Load(
      "(int)oct=010\n"
      "(int)hex=0x10\n"
      "(int)bad=abc\n"
      "(INT)caps=5\n"
      "(Int64)big=-9223372036854775807\n"
      "(double)d=1.5E-7\n"
      "(float)f=2.5\n"
      "(int)neg=-42\n"
      "(int)trail=12abc\n"
      "(bogus)x=1\n"
      "(string)blanks= a b \n"
      "(string)none=\n"
      "(string)eq=a=b;c[d]\n"
      "   \t(int)indented=7\n");
  EXPECT_EQ(root->GetValue("oct")->GetInt(), 8);
  EXPECT_EQ(root->GetValue("hex")->GetInt(), 16);
  EXPECT_TRUE(root->GetValue("bad")->IsNull());
  EXPECT_EQ(root->GetValue("caps")->GetInt(), 5);
  EXPECT_EQ(root->GetValue("big")->GetItemAt(1)->AsInt64(), -9223372036854775807LL);
  EXPECT_EQ(root->GetValue("d")->GetItemAt(1)->AsDouble(), 1.5e-7);
  EXPECT_EQ(root->GetValue("f")->GetItemAt(1)->AsFloat(), 2.5f);
  EXPECT_EQ(root->GetValue("neg")->GetInt(), -42);
  EXPECT_EQ(root->GetValue("trail")->GetInt(), 12);
  EXPECT_TRUE(root->GetValue("x")->IsNull());
  EXPECT_STREQ(root->GetValue("blanks")->GetString(), " a b ");
  EXPECT_TRUE(root->GetValue("none")->IsNull());
  EXPECT_STREQ(root->GetValue("eq")->GetString(), "a=b;c[d]");
  EXPECT_EQ(root->GetValue("indented")->GetInt(), 7);
}

TEST_F(TextTreeStreamTest, IndexedItemsRepeatsAndMerges) {
  auto root = Load(
      "(int)P[1]=1\n"
      "(int)P[1]=2\n"
      "(int)P=3\n"
      "(int)Q=1\n"
      "(int)q=2\n"
      "{ S:\n(int)a=1\n} S;\n"
      "{ s:\n(int)b=2\n} s;\n"
      "(int)S=5\n");
  const TreeValue* p = root->GetValue("P");
  ASSERT_EQ(p->Count(), 2);
  EXPECT_STREQ(p->GetItemAt(1)->GetName(), "1");
  EXPECT_EQ(p->GetItemAt(1)->AsInt(), 1);
  EXPECT_EQ(p->GetItemAt(2)->GetName(), nullptr);
  EXPECT_EQ(p->GetItemAt(2)->AsInt(), 3);
  EXPECT_EQ(root->GetValue("Q")->Count(), 2);
  EXPECT_EQ(root->GetValue("Q")->GetInt(), 1);
  const TreeSection* s = root->GetSection("S");
  EXPECT_EQ(s->GetValue("a")->GetInt(), 1);
  EXPECT_EQ(s->GetValue("b")->GetInt(), 2);
  EXPECT_TRUE(root->GetValue("S")->IsNull());
  EXPECT_EQ(root->Count(), 3);
}

TEST_F(TextTreeStreamTest, SectionNestingFollowsOnlyMatchingCloses) {
  auto root = Load(
      "{Tight:\n"  // no blank after the brace: not an open line
      "(int)inTight=1\n"
      "} Tight;\n"  // closes nothing
      "{ Outer:\n"
      "  { Inner:\n"
      "  (int)x=1\n"
      "  } Other;\n"  // names another section: ignored
      "  (int)y=2\n"
      "  } INNER;\n"  // other letter case closes Inner
      "(int)z=3\n"
      "} outer;\n"
      "(int)top=4\n");
  EXPECT_EQ(root->GetValue("inTight")->GetInt(), 1);
  EXPECT_TRUE(root->GetSection("Tight")->IsNull());
  const TreeSection* inner = root->GetSection("Outer")->GetSection("Inner");
  EXPECT_EQ(inner->GetValue("x")->GetInt(), 1);
  EXPECT_EQ(inner->GetValue("y")->GetInt(), 2);
  EXPECT_EQ(root->GetSection("Outer")->GetValue("z")->GetInt(), 3);
  EXPECT_EQ(root->GetValue("top")->GetInt(), 4);
}

TEST_F(TextTreeStreamTest, DamagedFileLoadsWhatParses) {
  Recorder recorder;
  auto root = Load(
      "garbage line\n"                 // 1
      "(int)ok=1\n"                    // 2
      "(int)=5\n"                      // 3
      "(int\n"                         // 4
      "} Nothing;\n"                   // 5
      "] Nothing;\n"                   // 6
      "; a comment\n"                  // 7
      "\n"                             // 8
      "{ MAIN:\n"                      // 9
      "  (string)log=/var/log/x\n"     // 10
      "  \x01\x02 binary junk\n"       // 11
      "  (int)flag=1\n"                // 12
      "  { SERVERS:\n"                 // 13
      "    (string)host=db\n"          // 14
      "  (string)unterminated=yes\n",  // 15: the file ends inside two sections
      &recorder);
  EXPECT_EQ(root->GetValue("ok")->GetInt(), 1);
  const TreeSection* main = root->GetSection("MAIN");
  EXPECT_STREQ(main->GetValue("log")->GetString(), "/var/log/x");
  EXPECT_EQ(main->GetValue("flag")->GetInt(), 1);
  EXPECT_STREQ(main->GetSection("SERVERS")->GetValue("host")->GetString(), "db");
  EXPECT_STREQ(main->GetSection("SERVERS")->GetValue("unterminated")->GetString(), "yes");

  std::vector<std::pair<int, LoadProblem>> seen;
  for (const Problem& p : recorder.problems) seen.emplace_back(p.line, p.kind);
  const std::vector<std::pair<int, LoadProblem>> expected = {
      {1, LoadProblem::kUnrecognised},    {3, LoadProblem::kMalformed},
      {4, LoadProblem::kMalformed},       {5, LoadProblem::kUnmatchedClose},
      {6, LoadProblem::kUnmatchedClose},  {11, LoadProblem::kUnrecognised},
      {9, LoadProblem::kUnclosedSection}, {13, LoadProblem::kUnclosedSection},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(recorder.problems[6].text, "MAIN");
}

TEST_F(TextTreeStreamTest, ObserverHearsOfEveryValueThatDoesNotLoadAsItLooks) {
  Recorder recorder;
  Load(
      "(string)empty=\n"  // 1
      "(int)n=x\n"        // 2
      "(color)c=red\n"    // 3
      "(int)P[1]=1\n"     // 4
      "(int)P[1]=2\n"     // 5
      "{ S:\n} S;\n"      // 6, 7
      "(int)s=1\n"        // 8
      "(int)V=1\n"        // 9
      "{ V:\n"            // 10
      "(int)inside=1\n"   // 11
      "} V;\n",           // 12
      &recorder);
  std::vector<std::pair<int, LoadProblem>> seen;
  for (const Problem& p : recorder.problems) seen.emplace_back(p.line, p.kind);
  const std::vector<std::pair<int, LoadProblem>> expected = {
      {1, LoadProblem::kEmptyValue},          {2, LoadProblem::kBadNumber},
      {3, LoadProblem::kUnknownType},         {5, LoadProblem::kDuplicateItem},
      {8, LoadProblem::kValueClashesSection}, {10, LoadProblem::kSectionClashesValue},
  };
  EXPECT_EQ(seen, expected);
}

// A hand-edited file may open a section under the name of a value. That section is skipped with
// its contents, and everything after it still loads at the right depth.
TEST_F(TextTreeStreamTest, SectionClashingWithValueIsSkippedAndTheRestLoads) {
  auto root = Load(
      "{ A:\n"
      "    (int)V=1\n"
      "    { v:\n"
      "        (int)lost=1\n"
      "        { Deeper:\n"
      "        } Deeper;\n"
      "    } v;\n"
      "    (int)after=2\n"
      "} A;\n"
      "(int)top=3\n"
      "{ B:\n"
      "} B;\n");
  const TreeSection* a = root->GetSection("A");
  EXPECT_EQ(a->GetValue("V")->GetInt(), 1);
  EXPECT_EQ(a->GetValue("V")->Count(), 1);
  EXPECT_TRUE(a->GetValue("lost")->IsNull());
  EXPECT_EQ(a->GetValue("after")->GetInt(), 2);
  EXPECT_EQ(a->Count(), 2);
  EXPECT_EQ(root->GetValue("top")->GetInt(), 3);
  EXPECT_FALSE(root->GetSection("B")->IsNull());
}

TEST_F(TextTreeStreamTest, ByteBlocks) {
  auto root = Load(
      "[ K:\n"
      "A\n"
      "ff\n"
      "] K;\n"
      "[ Odd:\n"
      "  1\n"
      "  zz\n"  // not hexadecimal: counted, its byte stays 0
      "  0x2\n"
      "] odd;\n"
      "[ None:\n"
      "] None;\n"
      "(int)after=1\n");
  const TreeItem* k = root->GetValue("K")->GetItemAt(1);
  ASSERT_EQ(k->ByteLength(), 2);
  EXPECT_EQ(k->AsBytes()[0], 0x0A);
  EXPECT_EQ(k->AsBytes()[1], 0xFF);
  const TreeItem* odd = root->GetValue("Odd")->GetItemAt(1);
  ASSERT_EQ(odd->ByteLength(), 3);
  EXPECT_EQ(odd->AsBytes()[0], 1);
  EXPECT_EQ(odd->AsBytes()[1], 2);
  EXPECT_EQ(odd->AsBytes()[2], 0);
  EXPECT_TRUE(root->GetValue("None")->IsNull());
  EXPECT_EQ(root->GetValue("after")->GetInt(), 1);
}

// The writer closes an indexed block with the bare name; reading it back must not swallow the
// lines after it.
TEST_F(TextTreeStreamTest, IndexedByteBlocksReadBackWithoutSwallowingFollowingLines) {
  TreeSection root(Path("out.cfg"), true);
  root.AddBytes("K", "\x01\xAB", 2, "1");
  root.AddInt("after", 5);
  const std::string saved = Saved(root);
  EXPECT_EQ(saved, "[ K[1]:\n1\nAB\n] K;\n(int)after=5\n");
  auto reloaded = Load(saved + "(int)last=6\n");
  EXPECT_EQ(reloaded->GetValue("K")->GetItemAt(1)->ByteLength(), 2);
  EXPECT_EQ(reloaded->GetValue("K")->GetItemAt(1)->AsBytes()[1], 0xAB);
  EXPECT_EQ(reloaded->GetValue("last")->GetInt(), 6);
  auto full_close = Load("[ K[1]:\n7\n] K[1];\n(int)last=6\n");
  EXPECT_EQ(full_close->GetValue("K")->GetItemAt(1)->AsBytes()[0], 7);
  EXPECT_EQ(full_close->GetValue("last")->GetInt(), 6);
}

TEST_F(TextTreeStreamTest, UnclosedByteBlockRunsToTheEndOfTheFile) {
  Recorder recorder;
  auto root = Load("[ K:\n1\n{ S:\n(int)x=1\n", &recorder);
  EXPECT_EQ(root->GetValue("K")->GetItemAt(1)->ByteLength(), 3);
  EXPECT_TRUE(root->GetSection("S")->IsNull());
  EXPECT_TRUE(root->GetValue("x")->IsNull());
  ASSERT_FALSE(recorder.problems.empty());
  EXPECT_EQ(recorder.problems[0].kind, LoadProblem::kUnclosedArray);
  EXPECT_EQ(recorder.problems[0].line, 1);
}

// Names over 255, type words over 255 and texts over 511 characters make the line be ignored
// whole; the limits themselves load.
TEST_F(TextTreeStreamTest, OverLongFieldsIgnoreTheLine) {
  const std::string name255(255, 'n'), name256(256, 'n');
  const std::string text511(511, 't'), text512(512, 't');
  const std::string type256 = "int" + std::string(253, ' ');
  Recorder recorder;
  auto root = Load("(string)" + name255 + "=ok\n" +      // 1
                       "(string)" + name256 + "=no\n" +  // 2
                       "(string)a=" + text511 + "\n" +   // 3
                       "(string)b=" + text512 + "\n" +   // 4
                       "(" + type256 + ")c=1\n" +        // 5
                       "{ " + name256 + ":\n" +          // 6
                       "(int)d=1\n" +                    // 7
                       "} " + name256 + ";\n" +          // 8
                       "[ " + name256 + ":\n",           // 9
                   &recorder);
  EXPECT_STREQ(root->GetValue(name255)->GetString(), "ok");
  EXPECT_EQ(std::string(root->GetValue("a")->GetString()), text511);
  EXPECT_TRUE(root->GetValue("b")->IsNull());
  EXPECT_TRUE(root->GetValue("c")->IsNull());
  EXPECT_EQ(root->GetValue("d")->GetInt(), 1) << "the long section's contents join the parent";
  EXPECT_EQ(root->Count(), 3);
  std::vector<std::pair<int, LoadProblem>> seen;
  for (const Problem& p : recorder.problems) seen.emplace_back(p.line, p.kind);
  const std::vector<std::pair<int, LoadProblem>> expected = {
      {2, LoadProblem::kNameTooLong},    {4, LoadProblem::kTextTooLong},
      {5, LoadProblem::kTypeTooLong},    {6, LoadProblem::kNameTooLong},
      {8, LoadProblem::kUnmatchedClose}, {9, LoadProblem::kNameTooLong},
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(TextTreeStreamTest, LongLinesAreReadInPiecesOf1022) {
  // 1022 characters before the line end: the piece is the line without its end.
  const std::string filler(1022 - 10, 'x');
  std::string second_piece = "(int)tail=1";
  Recorder recorder;
  auto root = Load("(string)a=" + filler + second_piece + "\n" + "{ S:" + std::string(1100, ' ') +
                       "\n" + "(int)c=3\n" + "} S;\n",
                   &recorder);
  EXPECT_TRUE(root->GetValue("a")->IsNull()) << "the first piece's text is over 511";
  EXPECT_EQ(root->GetValue("tail")->GetInt(), 1) << "the second piece happens to parse";
  EXPECT_EQ(root->GetSection("S")->GetValue("c")->GetInt(), 3);
  ASSERT_EQ(recorder.problems.size(), 2u);
  EXPECT_EQ(recorder.problems[0].line, 1);
  EXPECT_EQ(recorder.problems[0].kind, LoadProblem::kLineTooLong);
  EXPECT_EQ(recorder.problems[1].line, 2);
  EXPECT_EQ(recorder.problems[1].kind, LoadProblem::kLineTooLong);
}

// 1021 characters before the line end fit one piece whichever the line end: CR LF files from the
// other platform load exactly like LF files, even where the block length counts lines.
TEST_F(TextTreeStreamTest, LineOf1021CharactersIsWholeWithEitherLineEnd) {
  for (const std::string eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol.size());
    Recorder recorder;
    auto root = Load("[ K:" + eol + ";" + std::string(1020, 'x') + eol + "A" + eol + "] K;" + eol +
                         "(int)after=1" + eol,
                     &recorder);
    EXPECT_EQ(root->GetValue("K")->GetItemAt(1)->ByteLength(), 2);
    EXPECT_EQ(root->GetValue("after")->GetInt(), 1);
    for (const Problem& p : recorder.problems) EXPECT_NE(p.kind, LoadProblem::kLineTooLong);
  }
}

// The writer refuses what the reader would read back differently; the save then fails and the
// old file stays as it was.
TEST_F(TextTreeStreamTest, SaveRefusesWhatCannotBeReadBack) {
  const std::string path = Write("cfg", "(int)old=1\n");
  struct Case {
    const char* what;
    void (*build)(TreeSection&);
  };
  const Case cases[] = {
      {"long section name", [](TreeSection& r) { r.OpenSection(std::string(256, 's')); }},
      {"colon in section", [](TreeSection& r) { r.OpenSection("a:b"); }},
      {"semicolon in section", [](TreeSection& r) { r.OpenSection("a;b"); }},
      {"leading blank section", [](TreeSection& r) { r.OpenSection(" a"); }},
      {"long value name", [](TreeSection& r) { r.AddInt(std::string(256, 'v'), 1); }},
      {"name and index too long",
       [](TreeSection& r) { r.AddInt(std::string(250, 'v'), 1, "12345"); }},
      {"equals in value name", [](TreeSection& r) { r.AddInt("a=b", 1); }},
      {"index in value name", [](TreeSection& r) { r.AddInt("a[b]", 1); }},
      {"bracket in value name with index", [](TreeSection& r) { r.AddInt("a[b", 1, "1"); }},
      {"bracket in index", [](TreeSection& r) { r.AddInt("a", 1, "x]"); }},
      {"line break in text", [](TreeSection& r) { r.AddString("a", "x\n(int)admin=1"); }},
      {"carriage return in text", [](TreeSection& r) { r.AddString("a", "x\r"); }},
      {"long text", [](TreeSection& r) { r.AddString("a", std::string(512, 't')); }},
      {"line break in name", [](TreeSection& r) { r.AddInt("a\nb", 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TreeSection root(path, true);
    root.AddInt("fine", 1);
    c.build(root);
    errno = 0;
    EXPECT_EQ(root.SaveFile(), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(Read(path), "(int)old=1\n");
  }
  TreeSection limits(path, true);
  limits.OpenSection(std::string(255, 's'));
  limits.AddInt(std::string(252, 'v'), 1, "1");
  limits.AddString("t", std::string(511, 't'));
  EXPECT_EQ(limits.SaveFile(), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                          std::filesystem::directory_iterator()),
            1)
      << "no temporary file is left behind";
}

// Brackets that a hand-edited file leaves in names (no index follows) do not stop later saves.
TEST_F(TextTreeStreamTest, LoadedNamesWithStrayBracketsSaveAndLoadTheSame) {
  const std::string file =
      "(int)a]b=1\n"
      "(int)a]b[2]=2\n"
      "(string)P[x=y\n"
      "[ K]:\n"
      "A\n"
      "] K];\n";
  auto root = Load(file);
  EXPECT_EQ(root->GetValue("a]b")->Count(), 2);
  EXPECT_STREQ(root->GetValue("P[x")->GetString(), "y");
  EXPECT_EQ(Saved(*root), file);
}

// A disk that fills up mid-save: the save reports 0 and the old file is untouched.
TEST_F(TextTreeStreamTest, SaveFailingMidWayKeepsTheOldFile) {
  auto root = Load(kExample);
  for (int i = 0; i < 2000; ++i) root->OpenSection("user" + std::to_string(i))->AddInt("x", i);
  int ok = 0;
  int error = 0;
  {
    ScopedFaultEnv faults;
    faults.env().FailNth(FileCall::kWrite, 2, ENOSPC);
    ok = root->SaveFile();
    error = errno;
  }
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(error, ENOSPC);
  EXPECT_EQ(Read(Path("in.cfg")), kExample);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                          std::filesystem::directory_iterator()),
            1);
  root->SetName(Path("no/such/dir.cfg"));
  EXPECT_EQ(root->SaveFile(), 0);
  EXPECT_EQ(errno, ENOENT);
}

// A load that cannot read the whole file fails, so that no later save writes a tree missing the
// rest of it; a directory is no configuration.
TEST_F(TextTreeStreamTest, LoadFailsWhenTheFileCannotBeReadToItsEnd) {
  std::string big;
  for (int i = 0; big.size() < (3u << 20); ++i) big += "(int)v" + std::to_string(i) + "=1\n";
  const std::string path = Write("big.cfg", big);
  for (const int nth : {1, 2}) {
    TreeSection root(path, true);
    int ok = 0;
    int error = 0;
    {
      ScopedFaultEnv faults;
      faults.env().FailNth(FileCall::kRead, nth, EIO);
      ok = root.LoadFile();
      error = errno;
    }
    EXPECT_EQ(ok, 0) << nth;
    EXPECT_EQ(error, EIO) << nth;
  }
  TreeSection whole(path, true);
  EXPECT_EQ(whole.LoadFile(), 1);
  TreeSection directory(dir_, true);
  EXPECT_EQ(directory.LoadFile(), 0);
  EXPECT_EQ(errno, EISDIR);
}

TEST_F(TextTreeStreamTest, SavingUnderAnotherNameWritesTheSameTree) {
  auto root = Load(kExample);
  root->SetName(Path("copy.cfg"));
  EXPECT_EQ(root->SaveFile(), 1);
  EXPECT_EQ(Read(Path("copy.cfg")), kExample);
  EXPECT_EQ(Read(Path("in.cfg")), kExample);
}

TEST_F(TextTreeStreamTest, DeepNestingIsBounded) {
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "{ s:\n";
  deep += "(int)x=1\n";
  for (int i = 0; i < 3000; ++i) deep += "} s;\n";
  deep += "(int)after=2\n";
  Recorder recorder;
  auto root = Load(deep, &recorder);
  EXPECT_EQ(root->GetValue("after")->GetInt(), 2);
  int depth = 0;
  for (const TreeSection* s = root.get(); !s->IsNull(); s = s->GetSection("s")) ++depth;
  EXPECT_EQ(depth, 1001);
  // Sections deeper than the writer's indentation allows load, but are named as unwritable.
  ASSERT_FALSE(recorder.problems.empty());
  EXPECT_EQ(recorder.problems[0].kind, LoadProblem::kLineNotWritable);
  EXPECT_EQ(recorder.problems[0].line, 256);
  EXPECT_TRUE(std::any_of(recorder.problems.begin(), recorder.problems.end(),
                          [](const Problem& p) { return p.kind == LoadProblem::kNestedTooDeep; }));
}

// A save that succeeds writes a file that loads to the same tree; an entry the writer could not
// write back makes the save fail, names the entry, and is reported at its line when loaded.
TEST_F(TextTreeStreamTest, RoundTripIsALaw) {
  const std::string name(255, 'n'), text(511, 't');
  struct Case {
    std::string file;
    int line;  // of the unwritable entry
    LoadProblem problem;
    std::string refusal;  // a part of the save's refusal
  };
  std::string deep_text, deep_int;
  for (int i = 0; i < 62; ++i) deep_text += "{ s:\n";
  deep_text += "(string)" + name + "=" + text + "\n";
  for (int i = 0; i < 254; ++i) deep_int += "{ s:\n";
  deep_int += "(int)v=1\n";
  const Case cases[] = {
      {deep_text, 63, LoadProblem::kLineNotWritable, "longer than 1021 characters"},
      {deep_int, 255, LoadProblem::kLineNotWritable, "\"s/s/"},
      {"{ A:\n(int)a\rb=1\n} A;\n", 2, LoadProblem::kNameNotWritable,
       "the entry \"A/a\\x0Db\" cannot be written back to the file: the name holds"},
      {"{ a;b\n", 1, LoadProblem::kNameNotWritable, "\"a;b\""},
      {"[ k=v:\n1\n] k=v;\n", 1, LoadProblem::kNameNotWritable, "\"k=v\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    Recorder recorder;
    auto root = Load(c.file, &recorder);
    ASSERT_FALSE(recorder.problems.empty());
    EXPECT_EQ(recorder.problems[0].line, c.line);
    EXPECT_EQ(recorder.problems[0].kind, c.problem);
    std::string refusal;
    errno = 0;
    EXPECT_EQ(root->SaveFile(&refusal), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
    EXPECT_EQ(Read(Path("in.cfg")), c.file);
  }
  // The deepest maximal value that fits is written and reads back whole.
  std::string fits;
  for (int i = 0; i < 61; ++i) fits += "{ s:\n";
  fits += "(string)" + name + "=" + text + "\n";
  auto root = Load(fits);
  std::string saved;
  TextTreeStream writer(&saved);
  ASSERT_EQ(root->Save(writer), 1);
  ASSERT_EQ(writer.Close(), 1);
  TreeSection again("again");
  again.Load(*TextTreeStream::ReadingText(saved));
  const TreeSection* s = &again;
  for (int i = 0; i < 61; ++i) s = s->GetSection("s");
  EXPECT_EQ(s->GetValue(name)->GetString(), text);
}

// ---- The stream's own operations ----

TEST_F(TextTreeStreamTest, ParseLineCodesAndEntryName) {
  TextTreeStream stream(Write("f", "{ S:\n(int)P[7]=3\n[ K:\nA\n] K;\n} S;\n;c\n\n  \n"), false);
  ASSERT_TRUE(stream.IsOpen());
  EXPECT_EQ(stream.GetCapabilities(), 15);
  std::vector<int> codes;
  while (stream.ReadLine()) {
    codes.push_back(stream.ParseLine());
    if (codes.back() == kLineInt) {
      EXPECT_STREQ(stream.GetEntryName(), "P[7]");
      const char* index = nullptr;
      EXPECT_STREQ(stream.GetEntryName(&index), "P");
      EXPECT_STREQ(index, "7");
      EXPECT_EQ(stream.GetEntryInt(), 3);
      EXPECT_STREQ(stream.GetLine(), "(int)P[7]=3\n");
    }
  }
  EXPECT_EQ(codes, (std::vector<int>{1, 6, 3, 11, 4, 2, 0, 0, 11}));
  EXPECT_EQ(stream.ReadLine(), 0);
}

TEST_F(TextTreeStreamTest, EntryViewsSplitAndReadAsTheCopiesDo) {
  struct Case {
    std::string_view line, name, index, text;
  };
  const Case cases[] = {
      {"(int)P[7]=3\n", "P", "7", "3"},      {"(string)n[i]j[k]=a b\r\n", "n", "i", "a b"},
      {"(string)a]b[c=x", "a]b[c", "", "x"}, {"(string)n[]=t", "n", "", "t"},
      {"(int)z=0x1F", "z", "", "0x1F"},      {"{ S[1]:", "S", "1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::unique_ptr<TextTreeStream> stream = TextTreeStream::ReadingText(c.line);
    ASSERT_EQ(stream->ReadLine(), 1);
    ASSERT_NE(stream->ParseLine(), kLineNothing);
    std::string_view index_view;
    EXPECT_EQ(stream->GetEntryNameView(&index_view), c.name);
    EXPECT_EQ(index_view, c.index);
    EXPECT_EQ(stream->GetEntryStringView(), c.text);
    const char* index = nullptr;
    EXPECT_EQ(std::string_view(stream->GetEntryName(&index)), c.name);
    EXPECT_EQ(std::string_view(index ? index : ""), c.index);
    EXPECT_EQ(std::string_view(stream->GetEntryString()), c.text);
  }
}

TEST_F(TextTreeStreamTest, WriterRefusesMisuse) {
  TextTreeStream stream(Path("w"), true);
  ASSERT_TRUE(stream.IsOpen());
  EXPECT_EQ(stream.WriteInt("", 1, {}), 0);
  EXPECT_EQ(stream.Close(), 0) << "a refused write keeps the target from being replaced";
  EXPECT_FALSE(std::filesystem::exists(Path("w")));

  TextTreeStream arrays(Path("w2"), true);
  EXPECT_EQ(arrays.BeginArray("K", {}), 1);
  EXPECT_EQ(arrays.BeginArray("L", {}), 0);
  TextTreeStream closes(Path("w3"), true);
  EXPECT_EQ(closes.EndSection(), 0);
  TextTreeStream ends(Path("w4"), true);
  EXPECT_EQ(ends.EndArray(), 0);
  TextTreeStream bytes(Path("w5"), true);
  EXPECT_EQ(bytes.WriteBytes(nullptr, 1), 0);

  TextTreeStream reader(Write("r", ""), false);
  EXPECT_EQ(reader.WriteInt("a", 1, {}), 0);
  TextTreeStream absent(Path("none"), false);
  EXPECT_FALSE(absent.IsOpen());
  EXPECT_EQ(absent.ReadLine(), 0);
  EXPECT_EQ(absent.Rewind(), 0);
}

const char kRandomAccess[] =
    "(int)top=1\n"
    "{ MAIN:\n"
    "    (int)Disable=0\n"
    "    (string)log=/var/log/v.log\n"
    "    { SERVERS:\n"
    "        (string)www=users\n"
    "    } SERVERS;\n"
    "    (double)ratio=0.5\n"
    "} MAIN;\n"
    "{ ACCOUNTS:\n"
    "    { users:\n"
    "        { alice:\n"
    "            (string)Password=secret\n"
    "            (int64)big=123456789012\n"
    "            (float)f=1.250000\n"
    "            [ Key:\n"
    "            1\n"
    "            2\n"
    "            3\n"
    "            ] Key;\n"
    "        } alice;\n"
    "    } users;\n"
    "} ACCOUNTS;\n";

TEST_F(TextTreeStreamTest, RandomAccessFindsSectionsAndValues) {
  TextTreeStream s(Write("r", kRandomAccess), false);
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(s.FindPath("/accounts//USERS/alice/"), 1);
  std::unique_ptr<char[]> text;
  EXPECT_EQ(s.ReadString("password", &text), 1);
  EXPECT_STREQ(text.get(), "secret");
  unsigned char bytes[2] = {};
  EXPECT_EQ(s.ReadBytes("key", bytes, 2), 3) << "the count may exceed the buffer";
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 2);
  // Values before the current position are found again after going back to the start.
  EXPECT_EQ(s.BackToSectionStart(), 1);
  int64_t big = 0;
  EXPECT_EQ(s.ReadInt64("BIG", &big), 1);
  EXPECT_EQ(big, 123456789012LL);
  float f = 0;
  EXPECT_EQ(s.ReadFloat("f", &f), 1);
  EXPECT_EQ(f, 1.25f);
  // Not in this section: back at the start of its contents, still inside it.
  int32_t i = 0;
  EXPECT_EQ(s.ReadInt("top", &i), 0);
  EXPECT_EQ(s.ReadString("Password", &text), 1);

  EXPECT_EQ(s.FindPath("MAIN"), 1);
  EXPECT_EQ(s.ReadInt("disable", &i), 1);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(s.ReadString("www", &text), 0) << "values of subsections are not in this section";
  double d = 0;
  EXPECT_EQ(s.ReadDouble("ratio", &d), 1);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(s.ReadDouble("log", &d), 0) << "the type must match";
  EXPECT_EQ(s.FindValue("log", 0), 1);
  EXPECT_STREQ(s.GetEntryString(), "/var/log/v.log");

  EXPECT_EQ(s.FindPath("MAIN/none"), 0);
  EXPECT_EQ(s.FindPath("nothing"), 0);
  EXPECT_EQ(s.ReadInt("top", &i), 1) << "a failed search at the top rewinds";
  EXPECT_EQ(i, 1);
}

TEST_F(TextTreeStreamTest, RandomAccessWalksSections) {
  TextTreeStream s(Write("r", kRandomAccess), false);
  EXPECT_EQ(s.FindNextSection(), 1);
  EXPECT_STREQ(s.GetEntryName(), "MAIN");
  EXPECT_EQ(s.FindNextSection(), 1);
  EXPECT_STREQ(s.GetEntryName(), "SERVERS");
  EXPECT_EQ(s.SkipSection(), 1);
  EXPECT_EQ(s.FindSection("SERVERS"), 0) << "MAIN has no further SERVERS";
  EXPECT_EQ(s.FindSection("servers"), 1) << "the failed search went back to MAIN's start";
  EXPECT_EQ(s.SkipSection(), 1);
  EXPECT_EQ(s.SkipSection(), 1) << "leaves MAIN";
  EXPECT_EQ(s.FindSection("users"), 0) << "users is a grandchild of the top";
  EXPECT_EQ(s.FindSection("ACCOUNTS"), 1);
  EXPECT_EQ(s.FindSection(""), 0) << "an empty name is no wildcard: back at ACCOUNTS' start";
  EXPECT_EQ(s.FindNextSection(), 1);
  EXPECT_STREQ(s.GetEntryName(), "users");
  EXPECT_EQ(s.FindNextSection(), 1);
  EXPECT_STREQ(s.GetEntryName(), "alice");
  EXPECT_EQ(s.FindNextSection(), 0);
  EXPECT_EQ(s.SkipSection(), 1);
  EXPECT_EQ(s.SkipSection(), 1);
  EXPECT_EQ(s.SkipSection(), 1);
  EXPECT_EQ(s.SkipSection(), 0) << "nothing to leave at the top: rewinds";
  EXPECT_EQ(s.BackToSectionStart(), 0);
  EXPECT_EQ(s.FindSection("MAIN"), 1);
  EXPECT_EQ(s.Rewind(), 1);
  EXPECT_EQ(s.FindSection("ACCOUNTS"), 1);
}

}  // namespace
}  // namespace vard
