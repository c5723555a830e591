// Decisions per second of vardfilt.so through its HttpFilterProc export, for a user who is mapped
// successfully: with 10 and with 100 000 users in the authority, with the event log off and on,
// on one and on two server threads. The library is loaded once through the test host; each case
// saves its configuration, and the first request of the case reloads it before timing starts.
// BM_ConfigMemory reports the heap that the filter's form of a configuration holds per byte of
// its file, at 100 000 and 1 000 000 users, since every server process holds one; BM_Reload times
// the reload that every server process makes of every save, at the same sizes, with a backup
// directory named until the new configuration is in force (route 0) and until the text for its
// backup copy is kept too (route 2), and without one (route 1).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "filter/backup_name.h"
#include "filter/filter_config.h"
#include "platform/env.h"
#include "tests/filter_host.h"
#include "tests/filter_sandbox.h"
#include "tree/text_tree_stream.h"
#include "tree/tree_node.h"

namespace vard::test {
namespace {

// The sandbox, the loaded library and the configurations of every case.
class BenchEnvironment {
 public:
  BenchEnvironment() {
    if (!Config(10).SaveTo(sandbox_.config_path())) std::fprintf(stderr, "cannot save\n");
    std::string error;
    library_ = FilterLibrary::Load({}, &error);
    if (!library_) std::fprintf(stderr, "cannot load the filter: %s\n", error.c_str());
  }

  const FilterLibrary* library() const { return library_.get(); }

  // Makes the filter use `users` users and the log on or off. Returns whether a request is then
  // mapped as expected. A large file loads while requests decide with the configuration in force,
  // so each saved version carries a password of its own for "probe", which is tried until the
  // version is in force.
  bool Use(int users, bool log) {
    TestConfig& config = Config(users);
    config.Log(log ? sandbox_.log_path() : "");
    const std::string version = "v" + std::to_string(++versions_);
    config.User("Staff", {.name = "probe", .password = version, .map_to = "webstaff"});
    if (!config.SaveChangeTo(sandbox_.config_path())) return false;
    const ScriptedRequest probe =
        ScriptedRequest::For("server1", "80", "probe", version, "/default.htm");
    for (int tries = 0; library_->Authenticate(probe).user != "webstaff"; ++tries) {
      if (tries == 3000) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return library_->Authenticate(Request()).user == "webstaff";
  }

  static ScriptedRequest Request() {
    return ScriptedRequest::For("server1", "80", "alice", "secret", "/default.htm");
  }

 private:
  TestConfig& Config(int users) {
    std::unique_ptr<TestConfig>& config = configs_[users];
    if (!config) {
      config = std::make_unique<TestConfig>();
      config->Bind("server1", "Staff").Authority("Staff").NtAccount("webstaff", "ntpass");
      for (int i = 1; i < users; ++i) {
        config->User("Staff",
                     {.name = "user" + std::to_string(i), .password = "pw", .map_to = "webstaff"});
      }
      config->User("Staff", {.name = "alice", .password = "secret", .map_to = "webstaff"});
    }
    return *config;
  }

  FilterSandbox sandbox_;
  std::map<int, std::unique_ptr<TestConfig>> configs_;
  std::unique_ptr<FilterLibrary> library_;
  int versions_ = 0;
};

BenchEnvironment* g_environment = nullptr;

void BM_MappedUser(benchmark::State& state) {
  if (state.thread_index() == 0 &&
      !g_environment->Use(static_cast<int>(state.range(0)), state.range(1) != 0)) {
    state.SkipWithError("the filter did not map the user");
  }
  const FilterLibrary& library = *g_environment->library();
  HostRequest request(BenchEnvironment::Request());
  for (auto _ : state) {
    request.Reset();
    benchmark::DoNotOptimize(library.Authenticate(request));
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_MappedUser)
    ->ArgsProduct({{10, 100000}, {0, 1}})
    ->ArgNames({"users", "log"})
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();

// The heap in use, including the blocks large enough to be mapped on their own.
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// One authority of `users` users written as the user pages write them, each with a password, a
// mapped account among 100, an expiration date and the flags, saved in `sandbox`. Its size in
// bytes; 0 when it could not be saved.
double SaveUsers(FilterSandbox& sandbox, TestConfig& config, int users) {
  config.Log("/var/log/vardomar/auth.log").Authority("Staff", 1);
  for (int i = 0; i < 100; ++i) {
    config.Bind("www" + std::to_string(i) + ".example.com|8080", "Staff")
        .NtAccount("webaccount" + std::to_string(i), "Secr3t!pw");
  }
  for (int i = 0; i < users; ++i) {
    config.User("Staff", {.name = "user" + std::to_string(i) + "name",
                          .password = "pw" + std::to_string(i * 7919),
                          .map_to = "webaccount" + std::to_string(i % 100),
                          .expire_date = "12/31/2030",
                          .disabled = i % 50 == 0});
  }
  if (!config.SaveTo(sandbox.config_path())) return 0;
  return static_cast<double>(std::filesystem::file_size(sandbox.config_path()));
}

void BM_ConfigMemory(benchmark::State& state) {
  FilterSandbox sandbox;
  TestConfig config;
  const double file_bytes = SaveUsers(sandbox, config, static_cast<int>(state.range(0)));
  if (file_bytes == 0) return state.SkipWithError("cannot save");
  for (auto _ : state) {
    const size_t before = HeapInUse();
    std::unique_ptr<const FilterConfig> form = FilterConfig::FromTree(config.root());
    if (form == nullptr) return state.SkipWithError("no form");
    state.PauseTiming();
    state.counters["form_heap_per_file_byte"] =
        static_cast<double>(HeapInUse() - before) / file_bytes;
    state.counters["form_counted_per_file_byte"] =
        static_cast<double>(form->HeapBytes()) / file_bytes;
    form.reset();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = file_bytes / 1e6;
}
BENCHMARK(BM_ConfigMemory)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// One reload by each route, each out of line so that callgrind can count it alone
// (--toggle-collect='*ReloadKeepingText*' and so on). With a backup directory named, the form is
// read from the file's text read whole (route 0; the reload's new configuration is in force after
// it), and the text then kept for the next backup copy (route 2: the tree it loads as, saved into
// an unnamed file; route 2 times both). Without one, the form is read as the file is read
// (route 1).
[[gnu::noinline]] std::unique_ptr<std::string> ReloadKeepingText(const std::string& path) {
  auto text = std::make_unique<std::string>();
  if (Env::Default()->ReadFile(path.c_str(), text->max_size(), text.get()) == 0) return nullptr;
  const std::unique_ptr<TextTreeStream> stream = TextTreeStream::ReadingTextInPlace(*text);
  if (stream == nullptr || FilterConfig::FromStream(*stream) == nullptr) return nullptr;
  return text;
}

[[gnu::noinline]] bool ReloadFromText(const std::string& path) {
  TextTreeStream stream(path, false);
  return FilterConfig::FromStream(stream) != nullptr;
}

[[gnu::noinline]] bool KeepBackupText(std::string text, const std::string& dir) {
  return BackupText::Save(std::move(text), dir) != nullptr;
}

void BM_Reload(benchmark::State& state) {
  FilterSandbox sandbox;
  TestConfig config;
  if (SaveUsers(sandbox, config, static_cast<int>(state.range(0))) == 0) {
    return state.SkipWithError("cannot save");
  }
  const int64_t route = state.range(1);
  for (auto _ : state) {
    bool ok = false;
    if (route == 1) {
      ok = ReloadFromText(sandbox.config_path());
    } else {
      std::unique_ptr<std::string> text = ReloadKeepingText(sandbox.config_path());
      ok = text != nullptr;
      if (ok && route == 2) ok = KeepBackupText(std::move(*text), sandbox.dir());
    }
    if (!ok) return state.SkipWithError("no form");
  }
}
BENCHMARK(BM_Reload)->ArgsProduct({{100000, 1000000}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vard::test

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vard::test::BenchEnvironment environment;
  if (environment.library() == nullptr) return 1;
  vard::test::g_environment = &environment;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
