// The configuration format's round trip as a law: a file loads into a tree; when the tree saves,
// the saved text loads into the same tree and saves to the same text; when it does not, the
// loader named an unwritable entry and the writer named the entry it refused. No file system:
// the streams read and write texts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "tree/text_tree_stream.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

class UnwritableSeen : public LoadObserver {
 public:
  void OnProblem(int, LoadProblem problem, std::string_view) override {
    if (problem == LoadProblem::kNameNotWritable || problem == LoadProblem::kLineNotWritable) {
      seen = true;
    }
  }
  bool seen = false;
};

bool Load(std::string_view text, TreeSection* root, LoadObserver* observer) {
  const std::unique_ptr<TextTreeStream> stream = TextTreeStream::ReadingText(text);
  if (!stream) return false;
  stream->SetObserver(observer);
  root->Load(*stream);
  return true;
}

// 1 and the text when the tree saves; 0 and the writer's refusal otherwise.
int Save(const TreeSection& root, std::string* text, std::string* refusal) {
  TextTreeStream stream(text);
  root.Save(stream);
  const int ok = stream.Close();
  *refusal = stream.RefusalText();
  return ok;
}

bool SameItem(const TreeItem& a, const TreeItem& b) {
  const char* an = a.GetName();
  const char* bn = b.GetName();
  if (a.Type() != b.Type() || std::string_view(an ? an : "") != std::string_view(bn ? bn : "")) {
    return false;
  }
  switch (a.Type()) {
    case kInt:
      return a.AsInt() == b.AsInt();
    case kInt64:
      return a.AsInt64() == b.AsInt64();
    case kString:
      return std::strcmp(a.AsString(), b.AsString()) == 0;
    case kBytes:
      return a.ByteLength() == b.ByteLength() &&
             std::memcmp(a.AsBytes(), b.AsBytes(), a.ByteLength()) == 0;
    default:
      // Floats and doubles are written in "%f" and "%G": the law holds for the value written,
      // which the second save compares as text.
      return true;
  }
}

bool IsKind(const TreeSection& s, int i, bool value) {
  return value ? !s.GetValueAt(i)->IsNull() : !s.GetSectionAt(i)->IsNull();
}

// Values in slot order, then sections in slot order: the writer's order, which a round trip
// may change between the two kinds.
bool SameTree(const TreeSection& a, const TreeSection& b) {
  for (const bool values : {true, false}) {
    int i = 0, j = 0;
    for (;;) {
      do ++i;
      while (i <= a.Count() && !IsKind(a, i, values));
      do ++j;
      while (j <= b.Count() && !IsKind(b, j, values));
      if (i > a.Count() || j > b.Count()) {
        if (i <= a.Count() || j <= b.Count()) return false;
        break;
      }
      if (std::strcmp(a.At(i)->GetName(), b.At(j)->GetName()) != 0) return false;
      if (values) {
        const TreeValue& va = *a.GetValueAt(i);
        const TreeValue& vb = *b.GetValueAt(j);
        if (va.Count() != vb.Count()) return false;
        for (int k = 1; k <= va.Count(); ++k) {
          if (!SameItem(*va.GetItemAt(k), *vb.GetItemAt(k))) return false;
        }
      } else if (!SameTree(*a.GetSectionAt(i), *b.GetSectionAt(j))) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace
}  // namespace vard

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  TreeSection first("first");
  UnwritableSeen unwritable;
  if (!Load(file, &first, &unwritable)) return 0;
  std::string saved, refusal;
  if (!Save(first, &saved, &refusal)) {
    FUZZ_CHECK(unwritable.seen, "a save fails only for an entry the loader named unwritable");
    FUZZ_CHECK(!refusal.empty(), "a refused save names the entry");
    return 0;
  }
  FUZZ_CHECK(!unwritable.seen, "an entry named unwritable fails the save");
  TreeSection second("second");
  UnwritableSeen again;
  FUZZ_CHECK(Load(saved, &second, &again), "the saved text loads");
  FUZZ_CHECK(!again.seen, "a saved text holds no unwritable entry");
  FUZZ_CHECK(SameTree(first, second), "a saved tree loads back the same");
  std::string resaved;
  FUZZ_CHECK(Save(second, &resaved, &refusal) == 1, "a loaded saved tree saves");
  FUZZ_CHECK(resaved == saved, "the second save writes the same text");
  return 0;
}
