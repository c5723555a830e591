// Loading and saving a section through a TreeStream, and the file-level LoadFile / SaveFile.
#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tree/node_arena.h"
#include "tree/text_tree_stream.h"
#include "tree/tree_node.h"
#include "tree/tree_stream.h"

namespace vard {
namespace {

std::string_view NameOf(const NamedObject& object) {
  const char* name = object.GetName();
  return name ? std::string_view(name) : std::string_view();
}

int SaveValue(const TreeValue& value, TreeStream& stream) {
  const std::string_view name = NameOf(value);
  if (name.empty()) return 1;
  int ok = 1;
  for (int i = 1; i <= value.Count(); ++i) {
    const char* index_name = nullptr;
    const ItemView item = value.ViewItemAt(i, &index_name);
    const std::string_view index = index_name ? std::string_view(index_name) : std::string_view();
    switch (item.Type()) {
      case kNone:
        break;
      case kBytes: {
        int written = stream.BeginArray(name, index);
        if (written && item.ByteLength() > 0) {
          written = stream.WriteBytes(item.AsBytes(), item.ByteLength());
        }
        if (!stream.EndArray()) written = 0;
        ok &= written;
        break;
      }
      case kInt:
        ok &= stream.WriteInt(name, item.AsInt(), index);
        break;
      case kFloat:
        ok &= stream.WriteFloat(name, item.AsFloat(), index);
        break;
      case kString:
        ok &= stream.WriteString(name, item.AsString(), index);
        break;
      case kDouble:
        ok &= stream.WriteDouble(name, item.AsDouble(), index);
        break;
      case kInt64:
        ok &= stream.WriteInt64(name, item.AsInt64(), index);
        break;
    }
  }
  return ok;
}

// The number of a typed line other than a string's, as its item's payload.
ItemPayload NumberOf(const TreeStream& stream, int code) {
  ItemPayload number{.i64 = 0};
  switch (code) {
    case kLineInt:
      number.i32 = stream.GetEntryInt();
      break;
    case kLineFloat:
      number.f = stream.GetEntryFloat();
      break;
    case kLineDouble:
      number.d = stream.GetEntryDouble();
      break;
    case kLineInt64:
      number.i64 = stream.GetEntryInt64();
      break;
    default:
      break;
  }
  return number;
}

// Deeper sections are skipped with their contents: trees are deleted and saved recursively,
// and no configuration nests more than a few levels.
constexpr size_t kMaxLoadDepth = 1000;

// One level of the reader: the section being filled (null while skipping a section and its
// contents) and where its open line stood.
struct LoadFrame {
  TreeSection* section;
  int open_line;
  std::string name;  // for the report when the file ends inside it
};

// Tells the observer of an entry just loaded that the writer could not write back: every later
// save of the tree would fail on it, so the checker points the administrator at its line.
LoadProblem UnwritableProblem(WriteProblem problem) {
  return problem == WriteProblem::kLineTooLong ? LoadProblem::kLineNotWritable
                                               : LoadProblem::kNameNotWritable;
}

void ReportUnwritable(const TreeStream& stream, int code, std::string_view name,
                      std::string_view index) {
  const WriteProblem problem = stream.WriteBackProblem(code, name, index);
  if (problem != WriteProblem::kNone) stream.Report(UnwritableProblem(problem), name);
}

}  // namespace

int TreeSection::Save(TreeStream& stream) const {
  int ok = 1;
  for (int i = 1; i <= Count(); ++i) {
    const TreeValue* value = GetValueAt(i);
    if (!value->IsNull()) ok &= SaveValue(*value, stream);
  }
  for (int i = 1; i <= Count(); ++i) {
    const TreeSection* section = GetSectionAt(i);
    // A nameless section cannot be written, like a nameless value; nothing can look it up either.
    if (section->IsNull() || section->GetName() == nullptr) continue;
    if (!stream.BeginSection(section->GetName())) {
      ok = 0;
      continue;
    }
    ok &= section->Save(stream);
    ok &= stream.EndSection();
  }
  return ok;
}

int TreeSection::Load(TreeStream& stream) {
  // Iterative rather than recursive so that a hand-made file nesting sections thousands deep
  // cannot exhaust the stack.
  std::vector<LoadFrame> frames;
  frames.push_back(LoadFrame{this, 0, {}});
  const bool observed = stream.observer() != nullptr;
  NodeArena* const arena = TreeArena();
  while (stream.ReadLine()) {
    TreeSection* current = frames.back().section;
    const int code = stream.ParseLine();
    if (current == nullptr && code != kLineSectionOpen && code != kLineSectionClose) continue;
    switch (code) {
      case kLineSectionOpen: {
        const std::string_view name = stream.GetEntryNameView();
        TreeSection* child = nullptr;
        if (current != nullptr) {
          if (frames.size() > kMaxLoadDepth) {
            stream.Report(LoadProblem::kNestedTooDeep, name);
          } else if ((child = current->OpenSectionIn(arena, name)) == nullptr) {
            // The name belongs to a value of this section. Reading the contents into the parent
            // would let this section's close line end the parent early and lose the rest of the
            // file; skipping the section keeps the nesting of everything after it.
            stream.Report(LoadProblem::kSectionClashesValue, name);
          } else if (observed) {
            ReportUnwritable(stream, code, name, {});
          }
        }
        frames.push_back(
            LoadFrame{child, stream.LineNumber(), observed ? std::string(name) : std::string()});
        break;
      }
      case kLineSectionClose:
        if (frames.size() == 1) return 1;
        frames.pop_back();
        break;
      case kLineArrayOpen: {
        const char* index = nullptr;
        const std::string name = stream.GetEntryName(&index);
        const int open_line = stream.LineNumber();
        const WriteProblem unwritable =
            observed ? stream.WriteBackProblem(code, name, {}) : WriteProblem::kNone;
        const int count = stream.CountArrayLines();
        if (count > 0) {
          // Lines in the block that are not hexadecimal leave their byte zero.
          std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[count]());
          if (!bytes) break;  // the block's lines are then read as ordinary lines
          stream.ReadArrayBytes(bytes.get(), count);
          // The index of a block is not kept, so blocks load as unnamed items in file order.
          if (!current->AddBytes(name, bytes.get(), count)) {
            stream.Report(LoadProblem::kValueClashesSection, name);
          } else if (unwritable != WriteProblem::kNone) {
            // Reported at the block's open line; the block has been read to its close.
            stream.Report(UnwritableProblem(unwritable), name, open_line);
          }
        } else {
          while (stream.ReadLine() && stream.ParseLine() != kLineArrayClose) {
          }
        }
        break;
      }
      case kLineInt:
      case kLineFloat:
      case kLineString:
      case kLineDouble:
      case kLineInt64: {
        std::string_view item_name;
        const std::string_view name = stream.GetEntryNameView(&item_name);
        const bool duplicate =
            observed && !item_name.empty() && current->GetValue(name)->IndexOf(item_name);
        if (duplicate) {
          std::string_view line = stream.GetLine();
          while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
          stream.Report(LoadProblem::kDuplicateItem, line);
        }
        TreeValue* added = current->OpenValueIn(arena, name);
        if (added != nullptr) {
          // The line codes of the typed lines are their items' types.
          const auto type = static_cast<ItemType>(code);
          const ItemPayload number = NumberOf(stream, code);
          const std::string_view text =
              code == kLineString ? stream.GetEntryStringView() : std::string_view();
          if (item_name.empty() && added->Count() == 0) {
            added->Fold(type, number, text);
          } else {
            // A named item whose name the value already holds is dropped, as AddInt and its kin
            // do.
            added->Add(TreeItem::MakeLoaded(type, number, text, item_name, arena));
          }
        }
        if (added == nullptr) {
          stream.Report(LoadProblem::kValueClashesSection, name);
        } else if (observed && !duplicate) {
          ReportUnwritable(stream, code, name, item_name);
        }
        break;
      }
      default:
        break;
    }
  }
  for (size_t i = 1; i < frames.size(); ++i) {
    stream.Report(LoadProblem::kUnclosedSection, frames[i].name, frames[i].open_line);
  }
  return 0;
}

int TreeSection::LoadFile(LoadObserver* observer) {
  if (!IsFileBacked() || GetName() == nullptr) return 0;
  TextTreeStream stream(GetName(), false);
  if (!stream.IsOpen()) return 0;
  stream.SetObserver(observer);
  Load(stream);
  // A tree missing the unread rest of its file would be saved over the whole file by the next
  // change: a failed read is a failed load. On a shared volume a read fails this way (ESTALE)
  // when another server replaced the file.
  if (const int error = stream.InputError()) {
    errno = error;
    return 0;
  }
  return 1;
}

int TreeSection::SaveFile(std::string* refusal) const {
  if (refusal != nullptr) refusal->clear();
  if (!IsFileBacked() || GetName() == nullptr) {
    errno = EINVAL;
    return 0;
  }
  TextTreeStream stream(GetName(), true);
  if (!stream.IsOpen()) return 0;
  Save(stream);
  const int ok = stream.Close();
  if (!ok && refusal != nullptr) {
    const int error = errno;
    *refusal = stream.RefusalText();
    errno = error;
  }
  return ok;
}

}  // namespace vard
