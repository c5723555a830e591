#include "tree/tree_node.h"

#include "tree/node_arena.h"

namespace vard {

constinit TreeSection TreeSection::Null;
constinit TreeValue TreeValue::Null;

// ---- TreeValue ----

TreeValue::TreeValue(std::string_view name) : TreeNode(Kind::kValue, name) {}

TreeValue::~TreeValue() {
  if (IsFolded()) TreeItem::FreePayload(FoldedType(), FoldedLength(), &folded_);
}

std::unique_ptr<NamedObject> TreeValue::CloneValue() const {
  std::unique_ptr<TreeValue> copy(new TreeValue(*this));
  if (IsFolded()) {
    const ItemView item = FoldedView();
    copy->Fold(item.Type(), item.payload_, item.AsString());
  } else {
    copy->CloneChildrenFrom(*this);
  }
  return copy;
}

void TreeValue::Fold(ItemType type, const ItemPayload& number, std::string_view text) {
  BeginFold();
  subclass_byte_ = static_cast<uint8_t>(type);
  if (type == kString) {
    int32_t length = 0;
    TreeItem::AssignText(text, &length, &folded_);
    if (static_cast<size_t>(length) >= kInlineText) subclass_byte_ |= kFoldedTextOnHeap;
  } else {
    folded_ = number;
  }
}

ItemView TreeValue::FoldedView() const {
  if (const NamedObject* node = LoadFolded()) return static_cast<const TreeItem*>(node)->View();
  return ItemView(FoldedType(), FoldedLength(), folded_);
}

TreeItem* TreeValue::FoldedItem() const {
  if (NamedObject* node = LoadFolded()) return static_cast<TreeItem*>(node);
  return static_cast<TreeItem*>(
      PublishFolded(TreeItem::FromPayload(FoldedType(), FoldedLength(), folded_)));
}

void TreeValue::Unfold() {
  if (LoadFolded() == nullptr) {
    PublishFolded(TreeItem::FromPayload(FoldedType(), FoldedLength(), folded_));
  }
  TreeItem::FreePayload(FoldedType(), FoldedLength(), &folded_);
  subclass_byte_ = static_cast<uint8_t>(FoldedType());
  EndFold();
}

ItemView TreeValue::ViewItemAt(int i, const char** index) const {
  *index = nullptr;
  if (IsFolded()) return i == 1 ? FoldedView() : TreeItem::Null.View();
  const TreeItem* item = GetItemAt(i);
  *index = item->GetName();
  return item->View();
}

TreeItem* TreeValue::GetItemAt(int i) const {
  NamedObject* child = At(i);
  if (child == nullptr || child->kind() != Kind::kItem) return &TreeItem::Null;
  return static_cast<TreeItem*>(child);
}

int TreeValue::FindItemOfType(ItemType t) const {
  if (IsFolded()) return FoldedType() == t && t != kNone ? 1 : 0;
  for (int i = 1; i <= Count(); ++i) {
    if (GetItemAt(i)->Type() == t && t != kNone) return i;
  }
  return 0;
}

int32_t TreeValue::GetInt() const {
  if (IsFolded()) return FoldedView().AsInt();
  return GetItemAt(FindItemOfType(kInt))->AsInt();
}

const char* TreeValue::GetString() const {
  if (IsFolded()) return FoldedView().AsString();
  return GetItemAt(FindItemOfType(kString))->AsString();
}

int TreeValue::SetInt(int32_t v) {
  if (IsReadOnly()) return 0;
  if (IsFolded()) Unfold();
  if (int i = FindItemOfType(kInt)) {
    GetItemAt(i)->SetFromInt(v);
    return 1;
  }
  return Add(TreeItem::MakeInt(v)) ? 1 : 0;
}

int TreeValue::SetString(std::string_view text) {
  if (IsReadOnly()) return 0;
  if (IsFolded()) Unfold();
  if (int i = FindItemOfType(kString)) return GetItemAt(i)->SetText(text);
  return Add(TreeItem::MakeString(text)) ? 1 : 0;
}

// ---- TreeSection ----

TreeSection::TreeSection(std::string_view name, bool file_backed) : TreeNode(Kind::kSection, name) {
  subclass_byte_ = file_backed ? 1 : 0;
}

std::unique_ptr<NamedObject> TreeSection::CloneSection() const {
  std::unique_ptr<TreeSection> copy(new TreeSection(*this));
  copy->CloneChildrenFrom(*this);
  return copy;
}

TreeSection* TreeSection::GetSection(std::string_view name) {
  NamedObject* child = Find(name);
  return child && child->kind() == Kind::kSection ? static_cast<TreeSection*>(child) : &Null;
}

const TreeSection* TreeSection::GetSection(std::string_view name) const {
  return const_cast<TreeSection*>(this)->GetSection(name);
}

TreeSection* TreeSection::GetSectionAt(int i) {
  NamedObject* child = At(i);
  return child && child->kind() == Kind::kSection ? static_cast<TreeSection*>(child) : &Null;
}

const TreeSection* TreeSection::GetSectionAt(int i) const {
  return const_cast<TreeSection*>(this)->GetSectionAt(i);
}

TreeValue* TreeSection::GetValue(std::string_view name) {
  NamedObject* child = Find(name);
  return child && child->kind() == Kind::kValue ? static_cast<TreeValue*>(child) : &TreeValue::Null;
}

const TreeValue* TreeSection::GetValue(std::string_view name) const {
  return const_cast<TreeSection*>(this)->GetValue(name);
}

TreeValue* TreeSection::GetValueAt(int i) {
  NamedObject* child = At(i);
  return child && child->kind() == Kind::kValue ? static_cast<TreeValue*>(child) : &TreeValue::Null;
}

const TreeValue* TreeSection::GetValueAt(int i) const {
  return const_cast<TreeSection*>(this)->GetValueAt(i);
}

template <typename Node, NamedObject::Kind kKind>
Node* TreeSection::OpenChild(NameKey key, NodeArena* arena) {
  if (IsReadOnly() || key.name.empty()) return nullptr;
  if (int i = LowestSlotNamed(key)) {
    NamedObject* child = At(i);
    return child->kind() == kKind ? static_cast<Node*>(child) : nullptr;
  }
  std::unique_ptr<Node> node = NodeArena::New<Node>(arena, std::string_view());
  Node* added = node.get();
  NameUnnamed(added, key);
  return AddAbsent(std::move(node), key, arena) ? added : nullptr;
}

TreeSection* TreeSection::OpenSection(std::string_view name) {
  return OpenChild<TreeSection, Kind::kSection>(NameKey{CutAtZero(name)}, nullptr);
}

TreeSection* TreeSection::OpenSectionIn(NodeArena* arena, std::string_view name) {
  return OpenChild<TreeSection, Kind::kSection>(NameKey{name}, arena);
}

TreeSection* TreeSection::AddSection(std::string_view name) {
  return OpenSection(name) ? this : nullptr;
}

TreeValue* TreeSection::OpenValue(std::string_view name) {
  return OpenChild<TreeValue, Kind::kValue>(NameKey{CutAtZero(name)}, nullptr);
}

TreeValue* TreeSection::OpenValueIn(NodeArena* arena, std::string_view name) {
  return OpenChild<TreeValue, Kind::kValue>(NameKey{name}, arena);
}

namespace {

// Adds `item` to `value` (a named item whose name is taken is dropped). Null when there is no
// value or no item (the block could not be allocated).
TreeValue* AddItemTo(TreeValue* value, std::unique_ptr<TreeItem> item) {
  if (value == nullptr || item == nullptr) return nullptr;
  value->Add(std::move(item));
  return value;
}

}  // namespace

TreeValue* TreeSection::AddInt(std::string_view name, int32_t v, std::string_view index) {
  TreeValue* value = OpenValue(name);
  return value ? AddItemTo(value, TreeItem::MakeInt(v, index)) : nullptr;
}

TreeValue* TreeSection::AddFloat(std::string_view name, float v, std::string_view index) {
  TreeValue* value = OpenValue(name);
  return value ? AddItemTo(value, TreeItem::MakeFloat(v, index)) : nullptr;
}

TreeValue* TreeSection::AddDouble(std::string_view name, double v, std::string_view index) {
  TreeValue* value = OpenValue(name);
  return value ? AddItemTo(value, TreeItem::MakeDouble(v, index)) : nullptr;
}

TreeValue* TreeSection::AddInt64(std::string_view name, int64_t v, std::string_view index) {
  TreeValue* value = OpenValue(name);
  return value ? AddItemTo(value, TreeItem::MakeInt64(v, index)) : nullptr;
}

TreeValue* TreeSection::AddString(std::string_view name, std::string_view text,
                                  std::string_view index) {
  TreeValue* value = OpenValue(name);
  return value ? AddItemTo(value, TreeItem::MakeString(text, index)) : nullptr;
}

TreeValue* TreeSection::AddBytes(std::string_view name, const void* data, int32_t length,
                                 std::string_view index) {
  TreeValue* value = OpenValue(name);
  return value ? AddItemTo(value, TreeItem::MakeBytes(data, length, index)) : nullptr;
}

int TreeSection::SetInt(std::string_view name, int32_t v) {
  TreeValue* value = OpenValue(name);
  return value ? value->SetInt(v) : 0;
}

}  // namespace vard
