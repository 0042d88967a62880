// The process manager's eight views over fixture /proc trees and the live system: columns, rows,
// status lines, the way between the views and back, the selection kept by position, "Kill
// Process" (its question, a refusal, a real child ended) and "Bring To Front" (no desktop, no
// window, a window).
#include "antivirus/tools/process_manager_dialog.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/message_box.h"
#include "ui/testing/recording_host.h"

extern char** environ;

namespace kolvar::tools {
namespace {

namespace fs = std::filesystem;
using namespace process_commands;

ToolFrameTexts Texts() { return {u"Proc Manager", u"Kolvar AV", u"Options"}; }

class FixtureTree {
 public:
  FixtureTree() {
    root_ = fs::temp_directory_path() /
            ("kolvar-procman-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_ / "proc");
  }
  ~FixtureTree() { fs::remove_all(root_); }
  std::string root() const { return root_.string(); }
  void Add(uint32_t pid, const std::string& comm, const std::string& exe,
           const std::vector<uint32_t>& threads, const std::string& maps) const {
    const fs::path folder = root_ / "proc" / std::to_string(pid);
    for (uint32_t tid : threads) {
      fs::create_directories(folder / "task" / std::to_string(tid));
      std::ofstream(folder / "task" / std::to_string(tid) / "stat")
          << tid << " (" << comm << ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 -2 1 0 0 0 0\n";
    }
    std::ofstream(folder / "stat")
        << pid << " (" << comm << ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 " << threads.size()
        << " 0 0 0 0\n";
    std::ofstream(folder / "maps") << maps;
    if (!exe.empty()) fs::create_symlink(exe, folder / "exe");
  }
  void Remove(uint32_t pid) const { fs::remove_all(root_ / "proc" / std::to_string(pid)); }

 private:
  fs::path root_;
  static inline int counter_ = 0;
};

const char kMaps[] =
    "00400000-00402000 r-xp 00000000 08:01 100 /opt/zeta/zeta\n"
    "00600000-00700000 rw-p 00000000 00:00 0 [heap]\n"
    "7f000000-7f010000 r--p 00000000 08:01 200 /lib/libc.so.6\n"
    "7f010000-7f020000 rw-p 00000000 00:00 0 \n";

struct Desktop {
  bool can_activate = true;
  std::vector<uint64_t> activated;
};

ProcessManagerServices FixtureServices(const FixtureTree& tree, Desktop* desktop,
                                       std::vector<platform::TopWindow> windows = {}) {
  ProcessManagerServices services;
  services.sources.reader = platform::ProcessFactsReader(tree.root());
  services.sources.windows = [windows] { return windows; };
  services.can_activate_windows = [desktop] { return desktop->can_activate; };
  services.activate_window = [desktop](uint64_t window) {
    desktop->activated.push_back(window);
    return true;
  };
  services.own_pid = 30;
  return services;
}

class ProcessManagerTest : public ::testing::Test {
 protected:
  ProcessManagerTest() {
    tree_.Add(30, "kvantivirus", "/opt/kolvar/KVAntivirus", {30}, "");
    tree_.Add(20, "zeta", "/opt/zeta/zeta", {20, 21, 22}, kMaps);
    tree_.Add(10, "alpha", "", {10}, "");
  }

  int RowOf(ProcessManagerDialog& dialog, const std::u16string& pid) {
    for (int row = 0; row < dialog.list().size(); ++row) {
      if (dialog.list().Cell(row, 1) == pid) return row;
    }
    return -1;
  }

  std::vector<std::u16string> Column(ProcessManagerDialog& dialog, size_t column) {
    std::vector<std::u16string> cells;
    for (int row = 0; row < dialog.list().size(); ++row) {
      cells.push_back(dialog.list().Cell(row, column));
    }
    return cells;
  }

  FixtureTree tree_;
  Desktop desktop_;
  ui::testing::RecordingHost host_;
};

TEST_F(ProcessManagerTest, ViewsShowTheirColumnsRowsAndStatus) {
  ProcessManagerDialog dialog(Texts(), FixtureServices(tree_, &desktop_));
  host_.Show(dialog);
  ui::ListModel& list = dialog.list();
  ASSERT_EQ(list.columns().size(), 3u);
  EXPECT_EQ(list.columns()[2].title, u"Full Path");
  EXPECT_EQ(list.columns()[2].width, 350);
  EXPECT_EQ(Column(dialog, 0), (std::vector<std::u16string>{u"alpha", u"KVAntivirus", u"zeta"}));
  EXPECT_EQ(Column(dialog, 2),
            (std::vector<std::u16string>{u"alpha", u"/opt/kolvar/KVAntivirus", u"/opt/zeta/zeta"}))
      << "a path that cannot be read shows the name";
  EXPECT_EQ(dialog.status_text(), u" 3 process(es) running");
  EXPECT_EQ(list.selected(), 0);

  // The process page of the chosen row.
  dialog.OnRowActivated(kProcessListControl, 2);
  EXPECT_EQ(dialog.view(), kProcessPageView);
  const std::vector<std::u16string> labels = Column(dialog, 0);
  EXPECT_EQ(labels, (std::vector<std::u16string>{u"Process Name:", u"PID (Hex):", u"PID (Dec):",
                                                 u"Full Path:", u"Active Threads:",
                                                 u"Loaded Modules:", u"Total Heaps:"}));
  EXPECT_EQ(Column(dialog, 1), (std::vector<std::u16string>{u"zeta", u"0x00000014", u"20",
                                                            u"/opt/zeta/zeta", u"3", u"2", u"2"}));

  dialog.OnCommand(kLoadedModules);
  ASSERT_EQ(dialog.list().size(), 2);
  EXPECT_EQ(dialog.list().columns().size(), 7u);
  EXPECT_EQ(dialog.status_text(), u" 2 module(s) loaded");
  int zeta_row = dialog.list().Cell(0, 0) == u"zeta" ? 0 : 1;
  EXPECT_EQ(dialog.list().Cell(zeta_row, 3), u"00400000");
  EXPECT_EQ(dialog.list().Cell(zeta_row, 4), u"8192");
  dialog.OnRowActivated(kProcessListControl, zeta_row);
  EXPECT_EQ(dialog.view(), kModulePageView);
  EXPECT_EQ(dialog.list().Cell(0, 1), u"zeta");
  EXPECT_EQ(dialog.list().Cell(6, 0), u"Base Address:");
  EXPECT_EQ(dialog.list().Cell(6, 1), u"0x00400000");
  dialog.OnCommand(kDone);
  EXPECT_EQ(dialog.view(), kModuleListView);
  EXPECT_EQ(dialog.list().selected(), zeta_row);

  dialog.OnCommand(kActiveThreads);
  EXPECT_EQ(Column(dialog, 0), (std::vector<std::u16string>{u"20", u"21", u"22"}));
  EXPECT_EQ(dialog.list().Cell(0, 4), u"-2");
  EXPECT_EQ(dialog.status_text(), u" 3 thread(s) active");
  dialog.OnRowActivated(kProcessListControl, 1);
  EXPECT_EQ(dialog.list().Cell(0, 1), u"0x00000015");
  dialog.OnBack();  // as "Done"
  EXPECT_EQ(dialog.view(), kThreadListView);

  dialog.OnCommand(kMemoryHeaps);
  EXPECT_EQ(Column(dialog, 0), (std::vector<std::u16string>{u"00600000", u"7F010000"}));
  EXPECT_EQ(Column(dialog, 1), (std::vector<std::u16string>{u"HF32_DEFAULT", u""}));
  EXPECT_EQ(dialog.status_text(), u" 2 heap(s) created");

  dialog.OnCommand(kSummary);
  EXPECT_EQ(Column(dialog, 1), (std::vector<std::u16string>{u"3", u"5", u"2", u"2"}));
  dialog.OnCommand(kDone);
  EXPECT_EQ(dialog.view(), kProcessListView);
  EXPECT_EQ(dialog.list().selected(), 2) << "back on the row the user came from";
  dialog.OnBack();
  EXPECT_TRUE(dialog.ended());
}

TEST_F(ProcessManagerTest, RefreshDropsEndedProcessesAndKeepsThePosition) {
  ProcessManagerDialog dialog(Texts(), FixtureServices(tree_, &desktop_));
  host_.Show(dialog);
  dialog.list().Select(2);
  tree_.Remove(10);
  dialog.OnCommand(kRefresh);
  EXPECT_EQ(Column(dialog, 0), (std::vector<std::u16string>{u"KVAntivirus", u"zeta"}));
  EXPECT_EQ(dialog.list().selected(), 1) << "clamped to the last row";
  EXPECT_EQ(dialog.status_text(), u" 2 process(es) running");
  // The page of a process that ends goes back to the list on the next refresh.
  dialog.OnRowActivated(kProcessListControl, 1);
  tree_.Remove(20);
  dialog.OnCommand(kRefresh);
  EXPECT_EQ(dialog.view(), kProcessListView);
}

TEST_F(ProcessManagerTest, KillAsksAndRefusesTheProgramItself) {
  ProcessManagerDialog dialog(Texts(), FixtureServices(tree_, &desktop_));
  host_.Show(dialog);
  dialog.list().Select(RowOf(dialog, u"30"));
  host_.AnswerBoxes({platform::kIdCancel});
  dialog.OnCommand(kKillProcess);
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(host_.boxes()[0].text, u"Are you sure you want to terminate KVAntivirus ?");
  EXPECT_EQ(host_.boxes()[0].style, platform::kMbOkCancel | platform::kMbIconQuestion);
  EXPECT_EQ(host_.boxes()[0].caption, u"Kolvar AV");
  host_.ClearBoxes();
  host_.AnswerBoxes({platform::kIdOk});
  dialog.OnCommand(kKillProcess);
  ASSERT_EQ(host_.boxes().size(), 2u);
  EXPECT_EQ(host_.boxes()[1].text, u"Can't kill process KVAntivirus.");
  EXPECT_EQ(host_.boxes()[1].style, platform::kMbOk | platform::kMbIconError);
}

TEST_F(ProcessManagerTest, BringToFrontNeedsADesktopAndAWindow) {
  ProcessManagerDialog dialog(Texts(), FixtureServices(tree_, &desktop_, {{0x51, 20}, {0x52, 20}}));
  host_.Show(dialog);
  dialog.list().Select(RowOf(dialog, u"20"));
  dialog.OnCommand(kBringToFront);
  EXPECT_EQ(desktop_.activated, (std::vector<uint64_t>{0x52}));
  EXPECT_TRUE(host_.boxes().empty());
  dialog.list().Select(RowOf(dialog, u"10"));
  dialog.OnCommand(kBringToFront);
  ASSERT_EQ(host_.box_texts(), (std::vector<std::u16string>{u"Process alpha has no window."}));
  desktop_.can_activate = false;
  dialog.list().Select(RowOf(dialog, u"20"));
  dialog.OnCommand(kBringToFront);
  ASSERT_EQ(host_.boxes().size(), 2u);
  EXPECT_EQ(host_.boxes()[1].text,
            u"This desktop does not let a program bring the window of zeta to the front.");
  // The program's own row does nothing.
  dialog.list().Select(RowOf(dialog, u"30"));
  dialog.OnCommand(kBringToFront);
  EXPECT_EQ(host_.boxes().size(), 2u);
}

TEST(ProcessManagerLiveTest, KillProcessEndsAChild) {
  char program[] = "/bin/sleep";
  char seconds[] = "300";
  char* argv[] = {program, seconds, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, program, nullptr, nullptr, argv, environ), 0);
  ProcessManagerServices services;
  services.sources.windows = {};
  ui::testing::RecordingHost host;
  ProcessManagerDialog dialog(Texts(), std::move(services));
  host.Show(dialog);
  const std::u16string pid = [&] {
    const std::string text = std::to_string(child);
    return std::u16string(text.begin(), text.end());
  }();
  int row = -1;
  for (int tries = 0; tries < 500 && row < 0; ++tries) {
    for (int r = 0; r < dialog.list().size(); ++r) {
      if (dialog.list().Cell(r, 1) == pid && dialog.list().Cell(r, 0) == u"sleep") row = r;
    }
    if (row < 0) {
      usleep(10000);
      dialog.OnCommand(kRefresh);
    }
  }
  ASSERT_GE(row, 0);
  dialog.list().Select(row);
  host.AnswerBoxes({platform::kIdOk});
  dialog.OnCommand(kKillProcess);
  EXPECT_EQ(host.boxes().size(), 1u) << "the question only";
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  dialog.OnCommand(kRefresh);
  for (int r = 0; r < dialog.list().size(); ++r) EXPECT_NE(dialog.list().Cell(r, 1), pid);
}

}  // namespace
}  // namespace kolvar::tools
