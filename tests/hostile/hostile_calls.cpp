// movar-hostile GIVEN_DIR, run from GIVEN_DIR/sub: calls every export of the library with
// hostile arguments, one argument at a time while the others stay legal, and prints one line per
// call that does not give its failure result within the time limit. No terminal answers anywhere (COM ports lead
// nowhere, the IP address refuses), so a legal value runs its exchange up to the link and fails
// there. Exit status 0 when every call passed.
//
// The caller checks the file system afterwards: the record directory is this program's, and
// GIVEN_DIR (ending in '/') is the only other directory a call may write to.
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "counted_text.h"
#include "exports/export_rows.h"
#include "exports/movar.h"
#include "loopback_listen.h"

namespace {

constexpr int kThreads = 48;
// No terminal answers: the longest call is a download, its fixed pauses (3.3 s) and, beside its
// twins on the same record file, the conversion's retries.
constexpr double kLimitSeconds = 20;

struct Arg {
  std::int32_t number = 1;
  const char* text = nullptr;
};
using Args = std::vector<Arg>;

template <class P>
P pick(const Arg& a) {
  if constexpr (std::is_pointer_v<P>) {
    return a.text;
  } else {
    return a.number;
  }
}

std::string resultText(std::int32_t r) { return std::to_string(r); }
std::string resultText(const char* r) { return r == nullptr ? "(null)" : r; }

template <class R, class... P>
std::function<std::string(const Args&)> invoker(R (*entry)(P...)) {
  return [entry](const Args& args) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return resultText(entry(pick<P>(args[I])...));
    }(std::index_sequence_for<P...>{});
  };
}

enum class Kind { Port, Number, Ip, Directory, FileName, Text, CountedText };

struct Parameter {
  std::string name;
  Kind kind;
};

struct Export {
  std::string name;
  std::string failure;
  std::vector<Parameter> parameters;
  std::function<std::string(const Args&)> call;
};

// The texts that are counted strings (length at -4, reference count at -8).
bool isCounted(std::string_view exportName, std::string_view parameter) {
  return (exportName == "_COPYNAME" || exportName == "_LANSENDNAME") ? parameter == "name"
         : (exportName == "_SENDVOICE" || exportName == "_LANSENDVOICE") ? parameter == "text"
                                                                         : false;
}

// "(int32_t port, const char* ip)" -> {port, Port}, {ip, Ip}
std::vector<Parameter> parametersOf(const std::string& exportName, std::string_view list) {
  std::vector<Parameter> out;
  list = list.substr(1, list.size() - 2);
  while (!list.empty()) {
    const auto comma = list.find(',');
    std::string_view one = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    const bool text = one.find('*') != std::string_view::npos;
    const std::string name(one.substr(one.find_last_of(" *") + 1));
    Kind kind = Kind::Text;
    if (!text) {
      kind = name == "port" ? Kind::Port : Kind::Number;
    } else if (name == "ip" || name == "ipv4Text") {
      kind = Kind::Ip;
    } else if (name == "dir") {
      kind = Kind::Directory;
    } else if (isCounted(exportName, name)) {
      kind = Kind::CountedText;
    } else if (exportName.starts_with("_CONVER")) {
      kind = Kind::FileName;
    }
    out.push_back({name, kind});
  }
  return out;
}

const std::vector<Export>& allExports() {
#define MOVAR_HOSTILE_ROW(result, name, failure, parameters) \
  {"_" #name, resultText(failure), parametersOf("_" #name, #parameters), invoker(&_##name)},
  static const std::vector<Export> rows{MOVAR_EXPORT_ROWS(MOVAR_HOSTILE_ROW)};
#undef MOVAR_HOSTILE_ROW
  return rows;
}

using movar::testkit::Counted;

struct Value {
  std::string label;
  Arg arg;
};

struct Hostile {
  std::string given;  // the directory, with its separator
  std::string ip;     // refuses connections
  std::string tenKb = std::string(10 * 1024, 'A');
  std::string longDirectory;
  std::string withoutSeparator, fileAsDirectory, roundabout, absoluteName;
  Counted countedLegal{"AB", 2}, countedEmpty{"", 0}, countedLong{tenKb, 10 * 1024},
      countedNegative{"AB", -2};

  explicit Hostile(std::string dir) : given(std::move(dir)) {
    longDirectory = given + std::string(300 - given.size() - 1, 'd') + "/";
    withoutSeparator = given.substr(0, given.size() - 1);
    fileAsDirectory = given + "afile/";
    roundabout = given + "sub/../";
    absoluteName = given + "../movar";
  }

  Arg legal(Kind kind) const {
    switch (kind) {
      case Kind::Port: return {.number = 1};
      case Kind::Number: return {.number = 1};
      case Kind::Ip: return {.text = ip.c_str()};
      case Kind::Directory: return {.text = given.c_str()};
      case Kind::FileName: return {.text = "movar"};
      case Kind::Text: return {.text = "12"};
      case Kind::CountedText: return {.text = countedLegal.text()};
    }
    return {};
  }

  std::vector<Value> values(Kind kind) const {
    const std::vector<Value> texts{{"null", {}}, {"empty", {.text = ""}}, {"10KB", {.text = tenKb.c_str()}}};
    auto with = [&texts](std::vector<Value> more) {
      more.insert(more.begin(), texts.begin(), texts.end());
      return more;
    };
    switch (kind) {
      case Kind::Port:
        return {{"0", {.number = 0}},         {"-1", {.number = -1}},
                {"10", {.number = 10}},       {"255", {.number = 255}},
                {"1<<30", {.number = 1 << 30}}, {"INT_MIN", {.number = INT_MIN}},
                {"INT_MAX", {.number = INT_MAX}}};
      case Kind::Number:
        return {{"INT_MIN", {.number = INT_MIN}}, {"-1", {.number = -1}},
                {"0", {.number = 0}},             {"256", {.number = 256}},
                {"65536", {.number = 65536}},     {"INT_MAX", {.number = INT_MAX}}};
      case Kind::Ip:
        return with({{"1.2.3", {.text = "1.2.3"}},
                     {"999.1.1.1", {.text = "999.1.1.1"}},
                     {"abc", {.text = "abc"}},
                     {"127.0.0.1 x", {.text = "127.0.0.1 x"}}});
      case Kind::Directory:
        return with({{"../", {.text = "../"}},
                     {"given/sub/../", {.text = roundabout.c_str()}},
                     {"300 characters", {.text = longDirectory.c_str()}},
                     {"no separator", {.text = withoutSeparator.c_str()}},
                     {"a file", {.text = fileAsDirectory.c_str()}}});
      case Kind::FileName:
        return with({{"../movar", {.text = "../movar"}},
                     {"absolute, climbing", {.text = absoluteName.c_str()}},
                     {"c:movar", {.text = "c:movar"}}});
      case Kind::Text:
        return texts;
      case Kind::CountedText:
        return {{"null", {}},
                {"empty", {.text = countedEmpty.text()}},
                {"10KB", {.text = countedLong.text()}},
                {"negative length", {.text = countedNegative.text()}}};
    }
    return {};
  }
};

// Every COM port the values above name leads nowhere, whatever /dev/ttyS* this machine has.
void unmapPorts() {
  for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 255}) {
    ::setenv(("MOVAR_COM" + std::to_string(n)).c_str(), "/nonexistent/movar-hostile-port", 1);
  }
}

struct Call {
  const Export* target;
  std::string label;
  Args args;
  std::string result;
  double seconds = 0;
};

// Exports that need no terminal may succeed where the hostile value is still a legal one.
bool mayWorkOffline(const Export& e) { return e.name == "_COPYNAME"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::string_view(argv[1]).empty() || std::string_view(argv[1]).back() != '/') {
    std::fprintf(stderr, "usage: movar-hostile GIVEN_DIR/\n");
    return 2;
  }
  unmapPorts();
  const movar::sim::LoopbackSocket refusing = movar::sim::reserveRefusingLoopback();
  Hostile hostile(argv[1]);
  hostile.ip = refusing.ip;

  std::vector<Call> calls;
  for (const Export& e : allExports()) {
    Args legal;
    for (const Parameter& p : e.parameters) legal.push_back(hostile.legal(p.kind));
    for (std::size_t i = 0; i < e.parameters.size(); ++i) {
      for (const Value& v : hostile.values(e.parameters[i].kind)) {
        Args args = legal;
        args[i] = v.arg;
        calls.push_back({&e, e.name + " " + e.parameters[i].name + "=" + v.label, args, {}, 0});
      }
    }
  }
  // Most calls spend their time in the exchanges' fixed pauses: run them side by side, which
  // also puts every export next to the others and to itself.
  std::atomic<std::size_t> next{0};
  {
    std::vector<std::jthread> pool;
    for (int t = 0; t < kThreads; ++t) {
      pool.emplace_back([&] {
        for (std::size_t i; (i = next++) < calls.size();) {
          Call& c = calls[i];
          const auto start = std::chrono::steady_clock::now();
          c.result = c.target->call(c.args);
          c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
      });
    }
  }
  int failures = 0;
  const Call* slowest = &calls.front();
  for (const Call& c : calls) {
    if (c.seconds > slowest->seconds) slowest = &c;
    const bool refused = c.result == c.target->failure || (mayWorkOffline(*c.target) && c.result == "0");
    if (!refused || c.seconds > kLimitSeconds) {
      ++failures;
      std::printf("FAIL %s: result %s (failure %s) in %.3f s\n", c.label.c_str(), c.result.c_str(),
                  c.target->failure.c_str(), c.seconds);
    }
  }
  for (const Counted* counted : {&hostile.countedLegal, &hostile.countedEmpty, &hostile.countedLong,
                                 &hostile.countedNegative}) {
    if (counted->count() != 1) {
      ++failures;
      std::printf("FAIL a counted string's reference count is %d after the calls\n", counted->count());
    }
  }
  std::printf("calls %zu failures %d slowest %.3f s (%s)\n", calls.size(), failures, slowest->seconds,
              slowest->label.c_str());
  return failures == 0 ? 0 : 1;
}
