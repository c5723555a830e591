// Costs of the value tree on a configuration the size of a large site: one authority of 100 000
// or 1 000 000 users (the six values of a user record), 100 NT accounts and 100 bindings. Every
// CGI request loads the whole file and every change saves it, so load and save must stay well
// under a second; the filter looks a user up by name, ignoring case, on every request. The load
// reports the tree's heap bytes per byte of the file, since every process holds its own tree.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "schema/names.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

constexpr char kAuthority[] = "Staff";

std::string UserName(int i) { return "user" + std::to_string(i) + "name"; }

std::unique_ptr<TreeSection> MakeConfig(const std::string& path, int users) {
  auto root = std::make_unique<TreeSection>(path, true);
  TreeSection* main = root->OpenSection(kMain);
  main->SetInt(kDisable, 0);
  main->AddString(kLog, "/var/log/vardomar/auth.log");
  TreeSection* servers = main->OpenSection(kServers);
  TreeSection* accounts = root->OpenSection(kNtAccounts);
  for (int i = 0; i < 100; ++i) {
    servers->AddString("www" + std::to_string(i) + ".example.com|8080", kAuthority);
    accounts->OpenSection("webaccount" + std::to_string(i))->AddString(kPassword, "Secr3t!pw");
  }
  TreeSection* authority = root->OpenSection(kAccounts)->OpenSection(kAuthority);
  authority->SetInt(kExpirationRequired, 1);
  for (int i = 0; i < users; ++i) {
    TreeSection* user = authority->OpenSection(UserName(i));
    user->AddString(kPassword, "pw" + std::to_string(i * 7919));
    user->SetInt(kDoNotMap, 0);
    user->AddString(kMapTo, "webaccount" + std::to_string(i % 100));
    user->AddString(kExpireDate, "12/31/2030");
    user->SetInt(kNoExpiration, 0);
    user->SetInt(kDisabled, i % 50 == 0);
  }
  return root;
}

// A scratch directory holding a generated configuration of `users` users, removed at exit.
class Workspace {
 public:
  explicit Workspace(int users) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/treebenchXXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    std::unique_ptr<TreeSection> root = MakeConfig(Config(), users);
    ok_ = !dir_.empty() && root->SaveFile() == 1;
  }
  ~Workspace() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  bool ok() const { return ok_; }
  std::string Config() const { return dir_ + "/vardomar.cfg"; }
  std::string Copy() const { return dir_ + "/copy.cfg"; }

 private:
  std::string dir_;
  bool ok_ = false;
};

// One workspace per size, made when a benchmark of that size first runs (the largest file is a
// quarter of a gigabyte).
Workspace& Files(int users) {
  static std::map<int, std::unique_ptr<Workspace>>* workspaces =
      new std::map<int, std::unique_ptr<Workspace>>();
  std::unique_ptr<Workspace>& workspace = (*workspaces)[users];
  if (!workspace) workspace = std::make_unique<Workspace>(users);
  return *workspace;
}

// The heap's blocks in use, large ones (which the allocator maps on their own) included.
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void BM_LoadFile(benchmark::State& state) {
  const Workspace& files = Files(static_cast<int>(state.range(0)));
  if (!files.ok()) return state.SkipWithError("cannot write the configuration");
  const double file_bytes = static_cast<double>(std::filesystem::file_size(files.Config()));
  for (auto _ : state) {
    const size_t before = HeapInUse();
    auto root = std::make_unique<TreeSection>(files.Config(), true);
    if (root->LoadFile() != 1) return state.SkipWithError("load failed");
    benchmark::DoNotOptimize(root.get());
    state.PauseTiming();
    state.counters["tree_bytes_per_file_byte"] =
        static_cast<double>(HeapInUse() - before) / file_bytes;
    root.reset();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = file_bytes / 1e6;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file_bytes));
}
BENCHMARK(BM_LoadFile)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_SaveFile(benchmark::State& state) {
  const Workspace& files = Files(static_cast<int>(state.range(0)));
  if (!files.ok()) return state.SkipWithError("cannot write the configuration");
  TreeSection root(files.Config(), true);
  root.LoadFile();
  root.SetName(files.Copy());
  for (auto _ : state) {
    if (root.SaveFile() != 1) return state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveFile)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(3);

// The filter's step: the user's section by the name as typed, in other letter case. `spread`
// names, spread evenly over the authority, are looked up in random order: 100 is the working set
// of a busy site (the users logging on now, whose nodes stay cached); all users measures the
// lookup when every step misses the caches.
void LookUp(benchmark::State& state, int spread) {
  const int users = static_cast<int>(state.range(0));
  std::unique_ptr<TreeSection> root = MakeConfig("unused.cfg", users);
  const TreeSection* authority = root->GetSection("accounts")->GetSection("STAFF");
  std::vector<std::string> names;
  const int count = std::min(spread, users);
  for (int i = 0; i < count; ++i) {
    std::string name = UserName(static_cast<int>(static_cast<int64_t>(i) * users / count));
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    names.push_back(std::move(name));
  }
  std::shuffle(names.begin(), names.end(), std::mt19937(1));
  size_t next = 0;
  for (auto _ : state) {
    const TreeSection* user = authority->GetSection(names[next]);
    benchmark::DoNotOptimize(user);
    if (++next == names.size()) next = 0;
  }
  for (const std::string& name : names) {
    if (authority->GetSection(name)->IsNull()) return state.SkipWithError("user not found");
  }
}

void BM_GetSectionIgnoringCase(benchmark::State& state) { LookUp(state, 100); }
BENCHMARK(BM_GetSectionIgnoringCase)->Arg(100)->Arg(100000);

void BM_GetSectionColdCache(benchmark::State& state) { LookUp(state, 1 << 30); }
BENCHMARK(BM_GetSectionColdCache)->Arg(100)->Arg(100000);

}  // namespace
}  // namespace vard

BENCHMARK_MAIN();
