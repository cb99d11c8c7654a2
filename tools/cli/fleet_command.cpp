// `movar fleet add|remove|list`: the store's fleet, which the site services on it share.
#include <cstdio>
#include <ctime>
#include <optional>

#include "arguments.h"
#include "command.h"
#include "commands.h"
#include "collect/target.h"
#include "report.h"
#include "store/fleet.h"

namespace movar::cli {

namespace {

class FleetCommand final : public Command {
 public:
  std::vector<Use> uses() const override {
    return {{"fleet add", TargetUse::None, StoreUse::Writes},
            {"fleet remove", TargetUse::None, StoreUse::Writes},
            {"fleet list", TargetUse::None, StoreUse::Reads}};
  }

  void define(const Definition& d) override {
    CLI::App* group = d.app.add_subcommand("fleet", "the terminals the site services on a --store share");
    group->require_subcommand(1);
    add_ = group->add_subcommand("add", "add a terminal to the fleet, or bring its entry up to date");
    add_->add_option("name", name_, "what the site calls it")->required();
    add_->add_option("--ip", ip_, "its IPv4 address on the LAN")->type_name("IP");
    add_->add_option("--com", com_, "its serial port (1-9), on --host")->type_name("N")->check(CLI::Range(1, 9));
    add_->add_option("--addr", machine_, "its machine address on the serial line (0-255)")
        ->type_name("N")
        ->check(CLI::Range(0, 255));
    add_->add_option("--host", host_, "the host whose serial port it is on (default: this one)")->type_name("HOST");
    add_->add_option("--capacity", capacity_, "records its memory holds")->type_name("N")->check(CLI::Range(1, 100'000'000));
    add_->add_option("--clock", clock_, "set its clock daily, or never")->check(CLI::IsMember({"never", "daily"}));
    d.addSharedOptions(*add_, {uses()[0]});
    remove_ = group->add_subcommand("remove", "take a terminal out of the fleet (its records stay)");
    remove_->add_option("terminal", name_, "its name, or its address as the store names it")->required();
    d.addSharedOptions(*remove_, {uses()[1]});
    list_ = group->add_subcommand("list", "the fleet: each terminal, and which collector holds or last collected it");
    d.addSharedOptions(*list_, {uses()[2]});
  }

  std::optional<Use> typed(const CLI::App* leaf) const override {
    if (leaf == add_) return uses()[0];
    if (leaf == remove_) return uses()[1];
    if (leaf == list_) return uses()[2];
    return std::nullopt;
  }

  int run(const CLI::App* leaf, const Common& common) override {
    if (leaf == add_) return add(common);
    if (leaf == remove_) {
      const auto s = openStoreFor(common, StoreUse::Writes);
      if (!store::removeTerminal(*s, name_)) throw UsageError("no terminal \"" + name_ + "\" in the fleet");
      if (!common.json) std::printf("fleet: %s removed\n", name_.c_str());
      return 0;
    }
    return list(common);
  }

 private:
  int add(const Common& common) {
    if (ip_.empty() == !com_) throw UsageError("give --ip IP, or --com N (and --addr)");
    if (!com_ && (machine_ || !host_.empty())) throw UsageError("--addr and --host go with --com");
    store::FleetTerminal t;
    t.name = name_;
    if (com_) {
      t.terminal = collect::Target{collect::Target::Kind::Serial, machine_.value_or(1), *com_, ""}.storeName();
      t.host = host_.empty() ? store::thisHost() : host_;
    } else {
      if (collect::Target::fromStoreName(ip_).kind != collect::Target::Kind::Tcp) {
        throw UsageError("\"" + ip_ + "\" is not an IPv4 address");
      }
      t.terminal = ip_;
    }
    t.capacity = capacity_;
    t.clock = clock_;
    const auto s = openStoreFor(common, StoreUse::Writes);
    if (!store::addTerminals(*s, {t}).empty()) {
      throw std::runtime_error(t.terminal + " is in the fleet on another host; one store holds one serial terminal "
                               "of a name (`movar fleet remove " + t.terminal + "` first if it has moved)");
    }
    if (!common.json) std::printf("fleet: %s (%s) added\n", t.name.c_str(), t.terminal.c_str());
    return 0;
  }

  int list(const Common& common) {
    const auto s = openStoreFor(common, StoreUse::Reads);
    const std::vector<store::FleetTerminal> fleet = store::fleet(*s);
    if (fleet.empty() && !common.json) std::printf("no terminal in the fleet yet\n");
    for (const store::FleetTerminal& t : fleet) {
      if (common.json) {
        printJson({{"terminal", t.terminal},
                   {"name", t.name},
                   {"capacity", t.capacity ? Json(*t.capacity) : Json(nullptr)},
                   {"clock", t.clock},
                   {"host", t.host.empty() ? Json(nullptr) : Json(t.host)},
                   {"held_by", t.holder.empty() ? Json(nullptr) : Json(t.holder)},
                   {"last_collector", t.lastHolder.empty() ? Json(nullptr) : Json(t.lastHolder)}});
        continue;
      }
      std::string line = t.name + ": " + t.terminal;
      if (!t.host.empty()) line += " on " + t.host;
      if (t.capacity) line += ", " + std::to_string(*t.capacity) + " records";
      if (t.clock != "never") line += ", clock " + t.clock;
      line += !t.holder.empty() ? ", held by " + t.holder
              : !t.lastHolder.empty() ? ", last collected by " + t.lastHolder
                                      : ", not collected yet";
      std::printf("%s\n", line.c_str());
    }
    return 0;
  }

  CLI::App* add_ = nullptr;
  CLI::App* remove_ = nullptr;
  CLI::App* list_ = nullptr;
  std::string name_, ip_, host_, clock_ = "never";
  std::optional<int> com_, machine_;
  std::optional<std::int64_t> capacity_;
};

}  // namespace

std::unique_ptr<Command> fleetCommand() { return std::make_unique<FleetCommand>(); }

}  // namespace movar::cli
