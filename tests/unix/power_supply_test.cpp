// Tests of the power-supply reader over trees laid out as the kernel's class is: the rules for
// battery and mains, and odd files that must neither hang it nor count.
#include "host/unix/power_supply.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace walkers {
namespace {

namespace fs = std::filesystem;

// Lays out `items` in a fresh directory and answers runsOnBattery over it. "BAT0/status=Full"
// writes a supply's file (the supply a directory listed through a symlink, as in /sys);
// "BAT0/status|fifo" makes a FIFO there, "|huge" a 1 GiB file starting "Discharging", and
// "BAT0/status@X" a symlink to X. An item without "/" is an entry of the class itself.
bool onBatteryWith(const std::vector<std::string>& items) {
  std::string root = (fs::temp_directory_path() / "walkers-power-XXXXXX").string();
  if (!::mkdtemp(root.data())) ADD_FAILURE() << "no temporary directory";
  const fs::path list = fs::path(root) / "class";
  fs::create_directory(list);
  for (const std::string& item : items) {
    const auto cut = item.find_first_of("=|@");
    const std::string name = item.substr(0, cut);
    const std::string value = item.substr(cut + 1);
    fs::path at = list / name;
    if (const auto slash = name.find('/'); slash != std::string::npos) {
      const fs::path supply = fs::path(root) / "devices" / name.substr(0, slash);
      fs::create_directories(supply);
      std::error_code listed;  // by an earlier item
      fs::create_directory_symlink(supply, list / name.substr(0, slash), listed);
      at = supply / name.substr(slash + 1);
    }
    if (item[cut] == '=') {
      std::ofstream(at) << value << '\n';
    } else if (item[cut] == '@') {
      fs::create_symlink(value, at);
    } else if (value == "fifo") {
      EXPECT_EQ(::mkfifo(at.c_str(), 0600), 0) << at;
    } else {
      std::ofstream(at) << "Discharging\n";
      fs::resize_file(at, std::uintmax_t{1} << 30);
    }
  }
  const bool answer = runsOnBattery(list.c_str());
  fs::remove_all(root);
  return answer;
}

TEST(PowerSupply, BatteryOnlyWhenNothingOutsideIsOnlineAndASystemBatteryDischarges) {
  const std::vector<std::string> discharging = {"BAT0/type=Battery", "BAT0/status=Discharging"};
  const auto with = [&](std::vector<std::string> more) {
    more.insert(more.end(), discharging.begin(), discharging.end());
    return more;
  };
  const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
      {discharging, true},
      {with({"AC/type=Mains", "AC/online=0", "BAT1/type=Battery", "BAT1/status=Full"}), true},
      {with({"AC/type=Mains", "AC/online=1"}), false},
      {with({"ucsi-source-psy-1/type=USB", "ucsi-source-psy-1/online=2"}), false},
      {{"BAT0/type=Battery", "BAT0/status=Not charging"}, false},
      {{"AC/type=Mains", "AC/online=0"}, false},
      {{}, false},
      {{"mouse/type=Battery", "mouse/scope=Device", "mouse/status=Discharging"}, false},
      // Odd files say nothing, and odd entries are passed over.
      {{"BAT0/type=Battery", "BAT0/status|fifo"}, false},
      {{"BAT0/type=Battery", "BAT0/status|huge"}, false},
      {{"BAT0/type=Battery", "X/status=Discharging", "BAT0/status@../X/status"}, false},
      {with({"AC/type=Mains", "AC/online|fifo"}), true},
      {with({"loop@loop", "pipe|fifo", "plain=Mains", "gone@nowhere"}), true},
  };
  for (const auto& [items, expected] : cases) {
    EXPECT_EQ(onBatteryWith(items), expected) << testing::PrintToString(items);
  }
  EXPECT_FALSE(runsOnBattery("/nonexistent/walkers/power_supply"));
}

}  // namespace
}  // namespace walkers
